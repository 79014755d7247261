// Failures of a source that must not look like another: a damaged file, a failing or full
// disk, a file changed during an immutable read; and a WAL
// database that this user may only read, read without creating files beside it.
#include <sys/stat.h>

#include <climits>

#include "common/fault_vfs.h"
#include "host/sqlite/connection.h"
#include "orders_db.h"

namespace tabulo::host::testing {
namespace {

namespace fs = std::filesystem;
using test_support::FaultOp;
using test_support::FaultVfs;

class SourceFaultTest : public ServerTest {
 protected:
  void TearDown() override { FaultVfs::Shared().Disarm(); }
  // Orders in the test's plant.db, the test's connection closed.
  void MakeOrders(bool wal) {
    CreateOrders(*db_, 300, wal);
    db_.reset();
  }
  FaultVfs& vfs_ = FaultVfs::Shared();
};

TEST_F(SourceFaultTest, EachFailureIsReportedAsWhatItIs) {
  MakeOrders(false);
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* sql;
    uint32_t code;
    std::string part;
  } cases[] = {
      {"read fails", [&] { vfs_.Arm(FaultOp::kRead, 3, "plant.db"); }, "SELECT * FROM Orders",
       kErrDiskFault, "The disk failed while using " + db_path_.string()},
      {"database disk full", [&] { vfs_.Arm(FaultOp::kWrite, 1, "plant.db", SQLITE_FULL); },
       "UPDATE Orders SET Qty = 0 WHERE Id = 1", kErrDiskFull, "plant.db is full"},
      {"damaged page",
       [&] {
         std::fstream file(db_path_, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(4096 + 8);
         file << std::string(2000, '\xff');
       },
       "SELECT * FROM Orders", kErrSourceDamaged, "plant.db is damaged"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    const platform::ComError e = Raised([&] { Query(c.sql); });
    EXPECT_EQ(e.code(), c.code);
    EXPECT_NE(e.description().find(c.part), std::string::npos) << e.description();
    vfs_.Disarm();
  }
}

// A WAL database this user may only read (its file or its folder without write permission)
// is read as it stands: no -wal or -shm appears beside it, not even for a privileged user.
TEST_F(SourceFaultTest, ReadOnlyWalDatabaseIsReadWithoutFilesBesideIt) {
  MakeOrders(true);
  const fs::path wal = db_path_.string() + "-wal", shm = db_path_.string() + "-shm";
  ASSERT_FALSE(fs::exists(wal));
  EXPECT_FALSE(sqlite::ReadsImmutable(db_path_));  // writable: SQLite's own WAL reading
  for (const fs::path& locked : {db_path_, folder_.path()}) {
    SCOPED_TRACE(locked);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    EXPECT_TRUE(sqlite::ReadsImmutable(db_path_));
    EXPECT_EQ(Query("SELECT * FROM Orders WHERE Qty < 100")->RecordCount(), 99);
    EXPECT_FALSE(fs::exists(wal) || fs::exists(shm));
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
  }
  // Nothing guards an immutable read against a writer starting meanwhile: a file that changed
  // while it was read is refused, not shown half old and half new.
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0555), 0);
  vfs_.Arm(FaultOp::kRead, INT_MAX, "plant.db");
  Query("SELECT * FROM Orders");
  vfs_.Arm(FaultOp::kRead, vfs_.calls(), "plant.db", SQLITE_OK, [&] {  // the last read
    fs::last_write_time(db_path_, fs::last_write_time(db_path_) + std::chrono::hours(1));
  });
  const platform::ComError e = Raised([&] { Query("SELECT * FROM Orders"); });
  EXPECT_TRUE(vfs_.fired());
  EXPECT_EQ(e.code(), kErrSourceLocked);
  EXPECT_NE(e.description().find("was changed by another program"), std::string::npos);
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0755), 0);
  // A writer has it open: its -wal holds changes, which only SQLite's WAL reading sees.
  TestDb writer(db_path_);
  writer.Exec("PRAGMA wal_autocheckpoint=0; DELETE FROM Orders WHERE Id > 10");
  ASSERT_EQ(::chmod(db_path_.c_str(), 0444), 0);
  EXPECT_FALSE(sqlite::ReadsImmutable(db_path_));
  EXPECT_EQ(Query("SELECT * FROM Orders")->RecordCount(), 10);
  ASSERT_EQ(::chmod(db_path_.c_str(), 0644), 0);
}

}  // namespace
}  // namespace tabulo::host::testing
