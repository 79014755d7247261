// Loading a result: which statements are run, how each failure of the data server reaches the
// operator, and that the grid keeps what it showed after a failure.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "fake_data_server.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using LoadingTest = DefaultHostTest;

TEST_F(LoadingTest, EachRefusedLoadShowsItsMessageAndTheGridKeepsThePreviousResult) {
  const std::filesystem::path orders = OrdersDb(20), missing = folder_ / "missing.db",
                              junk = folder_ / "junk.db";
  std::ofstream(junk) << std::string(4096, 'j');
  // A missing file is an invalid DSN, and nothing is created; a damaged one is named as such.
  const std::pair<std::filesystem::path, std::string> kCases[] = {
      {orders, "Error|0|The SQL Statement is invalid: \r\nno such table: Nowhere"},
      {missing, "Error|0|The DSN Name is invalid"},
      {junk, "Connection Error|64|Tabulo: The file " + junk.string() + " is not a database"}};
  TabuloCtl& ctl = Browse(orders, "SELECT Id, Customer FROM Orders ORDER BY Id");
  const std::vector<std::string> shown = RowText(ctl, 3);
  for (const auto& [db, text] : kCases) {
    SCOPED_TRACE(db.string());
    const size_t before = MessageCount();
    ctl.SetDSNname(db.string());
    ctl.SetRecordSource("SELECT Id FROM Nowhere");
    ctl.Refresh();
    ASSERT_EQ(MessageCount(), before + 1);
    EXPECT_EQ(LastBox(), text);
    // The previous result stays in the grid and in the record set.
    EXPECT_EQ(RowText(ctl, 3), shown);
    EXPECT_EQ(ctl.NumberRows(), 20);
    EXPECT_EQ(container_.MousePointer(), platform::kPointerDefault);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(LoadingTest, RefusedCredentialsOtherErrorsAndAnUnreadableMachineHaveTheirOwnTexts) {
  auto fake = InstallFakeHost(5);
  fake->machine_name_fails = true;
  TabuloCtl& ctl = Browse("any", "SELECT Id FROM T");
  ASSERT_EQ(ctl.NumberRows(), 5);
  EXPECT_EQ(ctl.sBar.Panels(2).text(), "Connected@UNKNOWN");  // the machine name unreadable

  fake->query_error = platform::ComError(host::kErrLoginFailed, "Login failed");
  ctl.Refresh();
  EXPECT_EQ(LastBox(), "Error|64|The username or password you have entered is invalid.");

  fake->query_error = platform::ComError(0x80040E21, "Multiple-step operation generated errors");
  ctl.Refresh();
  EXPECT_EQ(LastBox(), "Connection Error|64|Tabulo: Multiple-step operation generated errors");
  EXPECT_EQ(ctl.NumberRows(), 5);
  EXPECT_EQ(ctl.Grid.TextMatrix(5, 1), "5");
}

TEST_F(LoadingTest, OnlyStatementsStartingWithSelectAndABlankAreBrowsed) {
  std::filesystem::path path = OrdersDb(10);
  TabuloCtl& ctl = Browse(path, "   select Id FROM Orders");
  EXPECT_EQ(ctl.NumberRows(), 10);
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 1), "1");

  for (std::string sql : {"SELECT", "SELECT\nId FROM Orders", "SELECT\tId FROM Orders",
                          "UPDATE Orders SET Id = Id + 100", "EXEC ListOrders"}) {
    TabuloCtl& other = Configured(path, sql);
    other.UserModeSet();
    container_.SetAmbientUserMode(true);
    other.Refresh();
    EXPECT_EQ(other.CurrentRecordSet(), nullptr) << sql;
    EXPECT_EQ(other.ColumnCount(), 0) << sql;
  }
  EXPECT_TRUE(container_.message_boxes().empty());
  // The UPDATE was not run.
  ctl.Refresh();
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 1), "1");
}

TEST_F(LoadingTest, InsideTheHostNothingIsQueriedBeforeRunModeIsDeclared) {
  auto fake = InstallFakeHost(5);
  TabuloCtl& ctl = Configured("plant", "SELECT Id FROM Orders");
  ctl.SetDataTable("Orders");
  ctl.Refresh();
  EXPECT_EQ(fake->queries, 0);
  EXPECT_EQ(ctl.CurrentRecordSet(), nullptr);
  EXPECT_EQ(ctl.sBar.Panels(1).text(), "Browsing: Orders@plant");

  std::vector<platform::Variant> none;  // declared as a late-bound caller does
  ctl.InvokeByName("UserModeSet", platform::InvokeKind::Method, none);
  ctl.Refresh();
  EXPECT_EQ(fake->queries, 1);
  ASSERT_NE(ctl.CurrentRecordSet(), nullptr);
}

TEST_F(LoadingTest, DesignTimeLoadFindsTheTableAndBuildsColumnsWithoutRows) {
  TabuloCtl& ctl = NewControl();
  ctl.UserModeSet();
  ctl.SetDSNname(OrdersDb(10).string());
  ctl.SetRecordSource("SELECT Id, Customer FROM Orders WHERE Qty > 2");
  ctl.Refresh();
  EXPECT_EQ(ctl.DataTable(), "Orders");
  EXPECT_EQ(NotesOf("DataTable"), 0u);
  ASSERT_NE(ctl.CurrentRecordSet(), nullptr);
  EXPECT_EQ(ctl.NumberRows(), 8);
  EXPECT_EQ(ctl.ColumnCount(), 2);
  EXPECT_EQ(RowText(ctl, 0), (std::vector<std::string>{"", "Id", "Customer"}));
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(ctl.sBar.Panels(1).text(), "Browsing: Orders@" + ctl.DSNname());
}

TEST_F(LoadingTest, ScrollRangeIsCappedAtTenMillionRecords) {
  auto fake = InstallFakeHost(10000001);
  TabuloCtl& ctl = Browse("huge", "SELECT Id FROM Huge");
  EXPECT_EQ(ctl.NumberRows(), 10000001);
  EXPECT_EQ(ctl.ScrollBar.Max(), 10000000);
  // The last position of the bar shows the record after it: the last one, alone.
  ctl.ScrollBar.SetValue(10000000);
  EXPECT_EQ(RowText(ctl, 1), (std::vector<std::string>{"10000001", "10000001"}));
  EXPECT_EQ(ctl.Grid.TextMatrix(2, 0), "");

  fake->rows = 10000000;
  ctl.Refresh(true);
  EXPECT_EQ(ctl.ScrollBar.Max(), 10000000);
  EXPECT_EQ(ctl.Grid.TextMatrix(1, 0), "1");

  // As many records as grid rows (header included) still scroll; one fewer does not.
  fake->rows = ctl.Grid.Rows();
  ctl.Refresh(true);
  EXPECT_EQ(ctl.ScrollBar.Max(), ctl.Grid.Rows());
  fake->rows = ctl.Grid.Rows() - 1;
  ctl.Refresh(true);
  EXPECT_EQ(ctl.ScrollBar.Max(), ctl.ScrollBar.Min());
}

}  // namespace
}  // namespace tabulo::control::testing
