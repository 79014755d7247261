// The PostgreSQL client library and the ODBC driver manager are loaded by the first use of a
// server or data source of theirs, not before: reading an SQLite file maps neither. (Each test
// runs in a process of its own.)
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/servers/odbc/odbc_data_server.h"
#include "host/servers/pg/pg_data_server.h"
#include "orders_db.h"

namespace tabulo::host {
namespace {

using testing::Raised;

bool Mapped(const std::string& library) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find("/" + library) != std::string::npos;
}

class DriverLibraryTest : public testing::ServerTest {};

TEST_F(DriverLibraryTest, LoadedByTheirFirstUseOnly) {
  auto pg = pg::NewPgDataServer({});
  pg->SetServerType(1);
  odbc::OdbcServerOptions options;
  options.temp_folder = folder_ / "odbc";
  auto odbc = odbc::NewOdbcDataServer(options);
  db_->Exec("CREATE TABLE T(a)");
  EXPECT_EQ(Query("SELECT a FROM T")->State(), 1);
  EXPECT_FALSE(Mapped("libpq.so"));
  EXPECT_FALSE(Mapped("libodbc.so"));
  // Nothing listens on port 1, and no data source has this name: both fail, after loading.
  EXPECT_EQ(Raised([&] { pg->Query("127.0.0.1:1;DATABASE=none", "", "SELECT 1", "", ""); }).code(),
            kErrSourceUnusable);
  EXPECT_TRUE(Mapped("libpq.so"));
  EXPECT_FALSE(Mapped("libodbc.so"));
  EXPECT_EQ(Raised([&] { odbc->Query("no such source", "", "SELECT 1", "", ""); }).code(),
            kErrSourceUnusable);
  EXPECT_TRUE(Mapped("libodbc.so"));
}

}  // namespace
}  // namespace tabulo::host
