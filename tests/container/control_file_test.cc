// Control files saved and loaded, and the host's setup around a display: the periodic
// server check (only where a server has its own PostgreSQL connection) and the note a failed
// load adds about a missing database file.
#include "container/control_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "container/host_setup.h"
#include "control/hosted_control.h"
#include "control/persisted_properties.h"
#include "host/cluster/host_config.h"
#include "platform/automation/dispatch_object.h"
#include "platform/runtime/clock.h"
#include "platform/storage/property_bag_format.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using control::TabuloCtl;
using platform::ComError;

// The error a call raises, as "number: description".
std::string ErrorOf(const std::function<void()>& call) {
  const ComError e = host::testing::Raised(call);
  return std::to_string(e.number()) + ": " + e.description();
}

class ControlFileTest : public control::testing::HostedControlTest {
 protected:
  std::filesystem::path File(const std::string& name) const { return folder_ / name; }
};

TEST_F(ControlFileTest, FilesThatCannotBeReadAreRefusedBeforeTheControlIsTouched) {
  folder_.Write("truncated.tab", "TabuloPropertyBag 2\nRecordSource = String \"x\"\n");
  std::filesystem::create_directory(File("folder.tab"));
  TabuloCtl& ctl = BareControl();
  EXPECT_EQ(ErrorOf([&] { LoadControlFile(File("truncated.tab"), ctl); }),
            "321: " + File("truncated.tab").string() +
                ", line 2: unexpected end of text: missing the \"End\" line (truncated)");
  const std::string error = ErrorOf([&] { LoadControlFile(File("folder.tab"), ctl); });
  EXPECT_EQ(error.rfind("75: Path/File access error (" + File("folder.tab").string() + ": ", 0), 0u)
      << error;
  EXPECT_EQ(ctl.RecordSource(), "");
  EXPECT_EQ(ctl.Font(), nullptr);
  EXPECT_EQ(MessageCount(), 0u);
}

// An automation object that cannot be saved in a property bag.
struct Plain : platform::DispatchObject {
  Plain() : DispatchObject("Plain") {}
};

TEST_F(ControlFileTest, AFailedSaveNamesTheFileAndLeavesWhatWasThere) {
  folder_.Write("form.tab", "the old file\n");
  platform::PropertyBag unsaveable;
  unsaveable.Store("Mode", platform::Variant(int32_t{1}));
  unsaveable.Store("Odd", platform::Variant(std::shared_ptr<platform::Dispatch>(new Plain)));
  std::string raised = ErrorOf([&] { WriteControlFile(File("form.tab"), unsaveable); });
  EXPECT_EQ(raised.rfind("13: " + File("form.tab").string() + ": Type mismatch (key \"Odd\"", 0),
            0u)
      << raised;
  EXPECT_EQ(platform::ReadWholeFile(File("form.tab")).bytes, "the old file\n");
}

// A control file holds the password in clear: a file that holds one is its owner's only,
// however it was made before; a file without one keeps the mode it had (a new one the
// mode of a new file). The saved control is the same either way.
TEST_F(ControlFileTest, AFileThatHoldsAPasswordIsReadableByItsOwnerOnly) {
  struct Case {
    const char* password;  // nullptr: none stored
    int existing_mode;     // -1: no file yet
    int mode;
  };
  const Case kCases[] = {{nullptr, -1, 0644},   {"pw", -1, 0600},   {"pw", 0644, 0600},
                         {"pw", 0666, 0600},    {"pw", 0750, 0700}, {nullptr, 0640, 0640},
                         {nullptr, 0666, 0666}, {"pw", 0600, 0600}, {nullptr, 0600, 0600}};
  const mode_t umask_before = ::umask(022);
  int n = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.password ? "password, " : "no password, ") + "mode before " +
                 std::to_string(c.existing_mode));
    const std::filesystem::path path = File("form" + std::to_string(n++) + ".tab");
    if (c.existing_mode >= 0) {
      folder_.Write(path.filename().string(), "old\n");
      ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.existing_mode)), 0);
    }
    platform::PropertyBag bag;
    bag.Store("User", platform::Variant("op"));
    if (c.password) bag.Store("Password", platform::Variant(c.password));
    WriteControlFile(path, bag);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(c.mode));
    EXPECT_EQ(ReadControlFile(path).ReadProperty("Password", platform::Variant("")),
              platform::Variant(c.password ? c.password : ""));
  }
  ::umask(umask_before);
  // Through the control's own save handler.
  TabuloCtl& ctl = NewControl();
  ctl.Put("Password", "secret");
  SaveControlFile(ctl, File("saved.tab"));
  struct stat st {};
  ASSERT_EQ(::stat(File("saved.tab").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST(ClusterWatchTest, TicksFollowThePrimaryOnlyWhereServersHaveConnections) {
  for (bool with_connection : {true, false}) {
    SCOPED_TRACE(with_connection);
    HostInstallation host;
    host.config.clusters.push_back({"P", host::kClusterTypeDizuvAdar, "", "a", {}});
    for (const char* name : {"a", "b"}) {
      host::ServerConfig server;
      server.name = name;
      if (with_connection) server.postgresql["plant"] = {"h", 1, "", "", ""};
      host.config.clusters[0].servers.push_back(server);
    }
    host.registry = host::ClusterRegistry::Create(host.config, nullptr);
    platform::VirtualClock clock;
    platform::EventLoop loop(clock);
    std::string primary = "a";
    int probes = 0;
    WatchClusterServers(
        loop, host,
        [&](const host::HostConfig&, const host::ServerConfig& s) {
          ++probes;
          return s.name == primary ? host::ServerRole::kPrimary : host::ServerRole::kStandby;
        },
        1000);
    primary = "b";
    loop.RunFor(999);
    EXPECT_EQ(host.registry->ActiveServerName("P"), "a");
    loop.RunFor(1);
    EXPECT_EQ(host.registry->ActiveServerName("P"), with_connection ? "b" : "a");
    EXPECT_EQ(probes, with_connection ? 2 : 0);
  }
}

TEST(MissingDatabaseNote, NamesOnlyMissingFiles) {
  host::testing::TestFolder folder;
  folder.Write("odbcinst.ini", "");
  setenv("ODBCSYSINI", folder.path().c_str(), 1);
  setenv("ODBCINI", folder.Write("odbc.ini", "[plant-odbc]\nDriver=SQLite3\n").c_str(), 1);
  const host::HostConfig config = host::DefaultHostConfig("PLANT-01");
  const std::string missing = (folder / "missing.db").string();
  const struct {
    std::string db, note;
  } rows[] = {
      {"plant-odbc", ""},
      {folder.Write("present.db", ""), ""},
      {missing, "no database file at " + missing},
      {"plant-other", "no database file at plant-other"},
  };
  for (const auto& row : rows) EXPECT_EQ(MissingDatabaseNote(config, row.db), row.note) << row.db;
}

}  // namespace
}  // namespace tabulo::container
