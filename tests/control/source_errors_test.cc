// A source that cannot be read for a reason other than its name says so to the operator,
// instead of calling the data source name invalid.
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

class SourceErrorTest : public HostedControlTest {
 protected:
  void SetUp() override { InstallDefaultHost(); }
};

TEST_F(SourceErrorTest, ADamagedFileIsNamedAsSuch) {
  const std::filesystem::path orders = OrdersDb(20), junk = folder_ / "junk.db";
  std::ofstream(junk) << std::string(4096, 'j');
  const std::pair<std::filesystem::path, std::string> cases[] = {
      {junk, "Connection Error|64|Tabulo: The file " + junk.string() + " is not a database"},
      {folder_ / "missing.db", "Error|0|The DSN Name is invalid"}};
  TabuloCtl& ctl = Browse(orders, "SELECT Id FROM Orders");
  for (const auto& [db, box] : cases) {
    SCOPED_TRACE(db);
    ctl.SetDSNname(db.string());
    ctl.Refresh();
    EXPECT_EQ(LastBox(), box);
    EXPECT_EQ(ctl.NumberRows(), 20);
  }
}

}  // namespace
}  // namespace tabulo::control::testing
