// Reading a result at the operator's displays: NULL told from an empty text, whole values,
// the block copied as tab-separated lines, column widths set and fitted (and saved), the last
// full window, and the page's events that carry them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "container/browse_fixture.h"
#include "container/control_file.h"
#include "container/serve_event.h"

namespace tabulo::container {
namespace {

class ReadingTest : public fixtures::BrowseFixture {
 protected:
  void SetUp() override {
    WriteSampleDatabase(db_, 1000);
    host::testing::TestDb(db_).Exec(
        "UPDATE Orders SET Customer = 'Tab\tand\nbreak' WHERE Id = 1;"
        "UPDATE Orders SET Customer = NULL WHERE Id = 2;"
        "UPDATE Orders SET Customer = '' WHERE Id = 3;");
  }
  // Lines 2.. show records 1...
  BrowseSession& Open(const std::string& sql = "SELECT Id, Customer, Qty FROM Orders") {
    BrowseRequest request;
    request.sql = sql;
    request.session.host_config = folder_.Write("host.json", fixtures::kLocalHost);
    return OpenSession(request, [](control::TabuloCtl& ctl) { ctl.SetDataTable("Orders"); });
  }
  std::vector<int> Records() {
    std::vector<int> shown;
    const platform::FlexGrid& grid = browse_->control().Grid;
    for (int32_t r : LayoutOf(grid).lines)
      if (r >= 1 && !grid.TextMatrix(r, 0).empty())
        shown.push_back(std::stoi(grid.TextMatrix(r, 0)));
    return shown;
  }
};

TEST_F(ReadingTest, ANullIsMarkedWhileScriptsStillReadAnEmptyText) {
  BrowseSession& b = Open();
  control::TabuloCtl& ctl = b.control();
  // Record 2's Customer is NULL, record 3's an empty text: the same "" to scripts.
  EXPECT_TRUE(b.IsNullAt(3, 2));
  EXPECT_FALSE(b.IsNullAt(4, 2));
  EXPECT_FALSE(b.IsNullAt(3, 1));
  EXPECT_FALSE(b.IsNullAt(-1, 2));
  EXPECT_FALSE(b.IsNullAt(1, 2));  // the rule under the header
  EXPECT_EQ(ctl.GetCellText(1, 1), "");
  EXPECT_EQ(ctl.GetCellText(2, 1), "");
  b.Press(BrowseKey::Down);
  b.Press(BrowseKey::Right);
  EXPECT_TRUE(b.CursorIsNull());
  EXPECT_EQ(b.CursorText(), "");
  // A text put into the cell is no longer a NULL; a refill marks it again.
  ctl.Grid.SetTextMatrix(2, 2, "typed");
  EXPECT_FALSE(b.IsNullAt(3, 2));
  b.Press(BrowseKey::Refresh);
  clock_.Advance(250);
  b.Pump();
  EXPECT_TRUE(b.IsNullAt(3, 2));
  // The window scrolled by one: the NULL is a line higher.
  b.ClickScrollBar(ScrollPart::DownArrow);
  EXPECT_TRUE(b.IsNullAt(2, 2));
  EXPECT_FALSE(b.IsNullAt(3, 2));
}

TEST_F(ReadingTest, TheCursorsCellOrTheMarkedBlockIsCopiedWithItsHeaderLine) {
  BrowseSession& b = Open();
  b.Press(BrowseKey::Right);  // record 1's Customer
  EXPECT_EQ(b.CursorText(), "Tab\tand\nbreak");
  EXPECT_EQ(b.CopyText(), "Tab\tand\nbreak");  // one value: as it is
  b.SetAnchor(true);
  EXPECT_EQ(b.CopyText(), "Customer\nTab and break\n");
  b.Press(BrowseKey::Down);
  b.Press(BrowseKey::Down);
  b.Press(BrowseKey::Left);
  EXPECT_EQ(b.CopyText(), "Id\tCustomer\n1\tTab and break\n2\t\n3\t\n");
  // Anchored below and right of the cursor: Customer and Qty of records 1 to 3.
  b.Press(BrowseKey::Right);
  b.Press(BrowseKey::Right);
  b.SetAnchor(true);
  b.Press(BrowseKey::Up);
  b.Press(BrowseKey::Up);
  b.Press(BrowseKey::Left);
  std::istringstream lines(b.CopyText());
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "Customer\tQty");
  int records = 0;
  while (std::getline(lines, line)) ++records;
  EXPECT_EQ(records, 3);
  // Scrolled away, the anchor no longer marks those records: the cursor's cell alone.
  b.ClickScrollBar(ScrollPart::DownArrow);
  EXPECT_EQ(b.CopyText().find('\n'), std::string::npos) << b.CopyText();
  b.SetAnchor(false);
  EXPECT_FALSE(b.HasAnchor());
}

TEST_F(ReadingTest, ColumnWidthsReachTheControlAndItsSavedFile) {
  BrowseSession& b = Open();
  platform::FlexGrid& grid = b.control().Grid;
  EXPECT_TRUE(b.SetColumnWidth(2, 3000));
  EXPECT_EQ(grid.ColWidth(2), 3000);
  // Never narrower than 8 pixels; a column not in the grid is refused.
  struct Row {
    int32_t col;
    double twips;
    bool taken;
    int32_t width;
  } rows[] = {{2, 119, true, 120}, {2, 120, true, 120}, {2, 121, true, 121},
              {3, 0, true, 120},   {4, 500, false, 0},  {-1, 500, false, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.col) + " " + std::to_string(r.twips));
    EXPECT_EQ(b.SetColumnWidth(r.col, r.twips), r.taken);
    if (r.taken) {
      EXPECT_EQ(grid.ColWidth(r.col), r.width);
    }
  }
  // The control's fit gives the same width from a narrow and from a wide start.
  b.SetColumnWidth(2, 150);
  EXPECT_TRUE(b.FitColumn(2));
  const int32_t fitted = grid.ColWidth(2);
  EXPECT_GT(fitted, 150);
  b.SetColumnWidth(2, 6000);
  b.FitColumn(2);
  EXPECT_EQ(grid.ColWidth(2), fitted);
  EXPECT_FALSE(b.FitColumn(9));
  // Saved: Customer's width in characters (120 twips each).
  b.SetColumnWidth(2, 3600);
  const std::string path = (folder_ / "saved.ctl").string();
  SaveControlFile(b.control(), path);
  std::stringstream saved;
  saved << std::ifstream(path).rdbuf();
  EXPECT_NE(saved.str().find("Width = Integer 30"), std::string::npos) << saved.str();
  EXPECT_TRUE(person_.asked.empty());
}

TEST_F(ReadingTest, CtrlEndShowsTheLastFullWindowAndEndTheLastRecordAlone) {
  BrowseSession& b = Open();
  const size_t full = Records().size();
  ASSERT_GE(full, 5u);
  b.Press(BrowseKey::End);
  EXPECT_EQ(Records(), std::vector<int>{1000});
  b.Press(BrowseKey::LastWindow);
  std::vector<int> shown = Records();
  ASSERT_EQ(shown.size(), full);
  EXPECT_EQ(shown.back(), 1000);
  EXPECT_EQ(b.Position(), "Row 1,000 of 1,000");
  // From the top, and from a window one record short of the end.
  b.Press(BrowseKey::Home);
  b.Press(BrowseKey::LastWindow);
  EXPECT_EQ(Records().back(), 1000);
  EXPECT_EQ(Records().size(), full);
  b.ClickScrollBar(ScrollPart::UpArrow);
  EXPECT_EQ(Records().back(), 999);
  b.Press(BrowseKey::LastWindow);
  EXPECT_EQ(Records().back(), 1000);
  EXPECT_EQ(Records().size(), full);
  // A result shorter than the window stays at its first record.
  BrowseSession& small = Open("SELECT Id, Customer FROM Orders WHERE Id <= 4");
  small.Press(BrowseKey::LastWindow);
  EXPECT_EQ(Records(), (std::vector<int>{1, 2, 3, 4}));
}

TEST(ReadingEvents, ColumnWidthsFitsAndTheLastWindowKeyAreRead) {
  const auto w = std::get<ServeEvent::ColumnWidth>(
      ParseServeEvent(R"({"widget":"grid","control":0,"action":"colwidth","col":2,"width":8000})",
                      1)
          .what);
  EXPECT_EQ(w.col, 2);
  EXPECT_EQ(w.width, 8000);
  EXPECT_EQ(std::get<ServeEvent::FitColumn>(
                ParseServeEvent(R"({"widget":"grid","control":0,"action":"fit","col":3})", 1).what)
                .col,
            3);
  EXPECT_EQ(std::get<ServeEvent::Key>(
                ParseServeEvent(R"({"widget":"keyboard","control":0,"key":"LastWindow"})", 1).what)
                .key,
            BrowseKey::LastWindow);
  for (const char* bad : {
           R"({"widget":"grid","control":0,"action":"colwidth","col":2,"width":0})",
           R"({"widget":"grid","control":0,"action":"colwidth","col":2,"width":8001})",
           R"({"widget":"grid","control":0,"action":"colwidth","col":-1,"width":50})",
           R"({"widget":"grid","control":0,"action":"colwidth","col":2})",
           R"({"widget":"grid","control":0,"action":"fit"})",
       }) {
    EXPECT_THROW(ParseServeEvent(bad, 1), BadEvent) << bad;
  }
  EXPECT_EQ(std::get<ServeEvent::ColumnWidth>(
                ParseServeEvent(
                    R"({"widget":"grid","control":0,"action":"colwidth","col":0,"width":1})", 1)
                    .what)
                .width,
            1);
}

}  // namespace
}  // namespace tabulo::container
