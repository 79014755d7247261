// Reading a result in an operator's session: go to a record, find a text through the whole
// result, sort by a header and filter through the statement, export what is shown.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "container/browse_fixture.h"
#include "container/serve_session.h"
#include "platform/text/ui_language.h"

namespace tabulo::container {
namespace {

using host::testing::TestDb;

class BrowseViewTest : public fixtures::BrowseFixture {
 protected:
  void SetUp() override {
    platform::SetUserInterfaceLanguage(1033);
    WriteSampleDatabase(db_, 1000);
    TestDb(db_).Exec("UPDATE Orders SET Note = 'Needle Zz' WHERE Id = 777");
  }
  BrowseSession& Open(const std::string& sql) {
    BrowseRequest request;
    request.sql = sql;
    return OpenSession(request);
  }
};

constexpr char kNotes[] = "SELECT Id, Customer, Note FROM Orders";

TEST_F(BrowseViewTest, GoToPutsTheCursorOnTheRecordInAFullWindow) {
  BrowseSession& b = Open(kNotes);
  struct Row {
    int64_t record;
    int32_t line;  // 2: the first data line
  } rows[] = {{1, 2}, {2, 2}, {500, 2}, {992, 2}, {993, 3}, {1000, 10}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.record);
    EXPECT_TRUE(b.GoToRecord(row.record));
    EXPECT_EQ(b.Position(),
              "Row " + std::string(row.record == 1000 ? "1,000" : std::to_string(row.record)) +
                  " of 1,000");
    EXPECT_EQ(b.CursorLine(), row.line);
  }
  for (int64_t outside : {0, 1001}) {
    EXPECT_FALSE(b.GoToRecord(outside));
    EXPECT_EQ(b.Note(), "Record " + std::string(outside ? "1,001" : "0") +
                            " is not in the result: give 1 to 1,000.");
    EXPECT_EQ(b.Position(), "Row 1,000 of 1,000");
  }
}

TEST_F(BrowseViewTest, FindLooksBeyondTheWindowInSlicesAndMarksTheCell) {
  BrowseSession& b = Open(kNotes);
  b.Find("NEEDLE zz");
  EXPECT_TRUE(b.Finding());
  EXPECT_EQ(b.Note(), "Finding \"NEEDLE zz\": 0 of 1,000 records (Esc cancels)");
  b.Pump();
  EXPECT_FALSE(b.Finding());
  EXPECT_EQ(b.Note(), "Found \"NEEDLE zz\" in record 777.");
  EXPECT_EQ(b.Position(), "Row 777 of 1,000");
  EXPECT_EQ(b.CursorSlot(), 3);  // the Note column
  EXPECT_EQ(b.FoundLine(), b.CursorLine());
  EXPECT_EQ(b.FoundSlot(), b.CursorSlot());
  // Again, either way: the one match is the starting cell, found last, round the end.
  b.Find("");
  b.Pump();
  EXPECT_EQ(b.Note(), "Found \"NEEDLE zz\" in record 777 (from the top again).");
  b.Find("", false);
  b.Pump();
  EXPECT_EQ(b.Note(), "Found \"NEEDLE zz\" in record 777 (from the end again).");
  b.Press(BrowseKey::Home);
  EXPECT_EQ(b.FoundLine(), -1);  // no longer in view
  b.Find("no such text");
  b.Pump();
  EXPECT_EQ(b.Note(), "No cell holds \"no such text\".");
  EXPECT_EQ(b.Position(), "Row 1 of 1,000");
  b.Find("x");
  b.CancelFind();
  EXPECT_FALSE(b.Finding());
  EXPECT_EQ(b.Note(), "Find cancelled after 0 of 1,000 records.");
  b.Find("Needle");
  b.control().Refresh(false);  // a new record set: the search stops rather than read the old
  b.Pump();
  EXPECT_EQ(b.Note(), "Find stopped: the result was loaded again. Search again.");
}

// A longer result: the search goes a slice of 50,000 records per turn of the display, the
// note tells how far, and a cancel stops it there.
TEST_F(BrowseViewTest, ALongFindTellsHowFarItIsAndStopsWhenCancelled) {
  WriteSampleDatabase(db_, 120000);
  BrowseSession& b = Open(kNotes);
  b.Find("absent text");
  for (const char* done : {"50,000", "100,000"}) {
    b.Pump();
    EXPECT_TRUE(b.Finding());
    EXPECT_EQ(b.Note(), "Finding \"absent text\": " + std::string(done) +
                            " of 120,000 records (Esc cancels)");
  }
  b.CancelFind();
  EXPECT_FALSE(b.Finding());
  EXPECT_EQ(b.Note(), "Find cancelled after 100,000 of 120,000 records.");
  EXPECT_EQ(b.Position(), "Row 1 of 120,000");
  b.Press(BrowseKey::Down);  // the window still scrolls as the control's bar says
  b.Press(BrowseKey::PageDown);
  EXPECT_EQ(b.control().ScrollBar.Value(), b.control().LargeChange());
  EXPECT_EQ(b.control().Grid.TextMatrix(1, 0), std::to_string(b.control().LargeChange() + 1));
}

TEST_F(BrowseViewTest, HeaderClicksSortFiltersNarrowAndResetReturnsToTheOwnStatement) {
  constexpr char kOwn[] = "SELECT Id, Customer, Qty FROM Orders WHERE Id <= 600";
  BrowseSession& b = Open(kOwn);
  const platform::FlexGrid& grid = b.control().Grid;
  struct Row {
    const char* statement;
    const char* first_qty;
    const char* note;
  } rows[] = {
      {"SELECT Id, Customer, Qty FROM Orders WHERE Id <= 600 ORDER BY Qty ASC", "0",
       "sorted by Qty, ascending"},
      {"SELECT Id, Customer, Qty FROM Orders WHERE Id <= 600 ORDER BY Qty DESC", "499",
       "sorted by Qty, descending"},
      {kOwn, "0", ""},
  };
  for (const Row& row : rows) {
    b.SortByColumn(3);
    EXPECT_EQ(b.ShownStatement(), row.statement);
    EXPECT_EQ(grid.TextMatrix(1, 3), row.first_qty);
    EXPECT_EQ(b.ViewNote(), row.note);
    EXPECT_EQ(b.OwnStatement(), kOwn);
  }
  b.SortByColumn(3);
  b.AddFilter("Customer", FilterOp::kContains, "o'brien");
  EXPECT_EQ(b.ViewNote(), "sorted by Qty, ascending; filtered: Customer contains \"o'brien\"");
  EXPECT_EQ(b.control().NumberRows(),
            std::stoi(TestDb(db_).Text("SELECT count(*) FROM Orders WHERE Id <= 600 AND "
                                       "Customer = 'O''Brien & Sons'")));
  for (int32_t r = 1; r < 9; ++r) EXPECT_EQ(grid.TextMatrix(r, 2), "O'Brien & Sons");
  // What is shown goes out whole, with the exact count; the saved statement stays the own.
  std::ostringstream csv;
  const int64_t written = Export(b.ViewExport(RowFormat::Csv, ""), csv);
  EXPECT_EQ(written, b.control().NumberRows());
  EXPECT_NE(csv.str().find("\r\n" + grid.TextMatrix(1, 1) + ",O'Brien & Sons," +
                           grid.TextMatrix(1, 3) + "\r\n"),
            std::string::npos)
      << csv.str().substr(0, 200);
  b.WithOwnStatement([&] { EXPECT_EQ(b.control().RecordSource(), kOwn); });
  EXPECT_EQ(b.control().RecordSource(), b.ShownStatement());
  EXPECT_NE(b.ShownStatement(), kOwn);
  // A value not of the column's type is refused and shown; the view stays as it was.
  const std::string before = b.ShownStatement();
  b.AddFilter("Qty", FilterOp::kLess, "ten");
  EXPECT_EQ(b.ShownStatement(), before);
  ASSERT_EQ(person_.asked.size(), 1u);
  EXPECT_NE(person_.asked[0].find("the filter on Qty needs a value of its type"),
            std::string::npos);
  b.ResetView();
  EXPECT_EQ(b.ShownStatement(), kOwn);
  EXPECT_EQ(b.ViewNote(), "");
  EXPECT_EQ(b.control().NumberRows(), 600);
}

// The browser display: a sort posted as the page posts it, the download of the view with its
// count in the scene, and Save writing the control's own statement, not the sorted one.
TEST_F(BrowseViewTest, TheDisplayDownloadsTheViewAndSavesTheOwnStatement) {
  ServeRequest request;
  BrowseRequest control;
  control.db = db_.string();
  control.sql = "SELECT Id, Qty FROM Orders WHERE Id <= 30";
  request.controls.push_back(control);
  request.design = true;
  request.save_path = (folder_ / "saved.ctl").string();
  ServeSession display(request, clock_);
  std::atomic<bool> stop{false};
  std::thread ui([&] {
    display.Run([&] {
      clock_.Advance(50);
      return stop.load();
    });
  });
  web::UpdateCursor cursor;
  const auto scene_where = [&](const std::function<bool(const nlohmann::json&)>& holds) {
    for (int round = 0; round < 200; ++round) {
      std::optional<web::Update> u = display.NextUpdate(cursor, std::chrono::milliseconds(50));
      if (u && u->event == "scene" && holds(nlohmann::json::parse(u->data))) return true;
    }
    return false;
  };
  const auto view = [](const nlohmann::json& s) { return s["controls"][0]["view"]; };
  EXPECT_TRUE(scene_where([](const nlohmann::json& s) {
    return s["controls"][0]["status"]["position"] == "Row 1 of 30";
  }));
  for (int click = 0; click < 2; ++click)
    EXPECT_EQ(display.Post(R"({"widget":"view","control":0,"action":"sort","col":2})").status, 200);
  EXPECT_TRUE(scene_where([&](const nlohmann::json& s) {
    return view(s)["note"] == "sorted by Qty, descending" && view(s)["order"] == "descending";
  }));
  web::Download download = display.Export("0", "csv");
  ASSERT_EQ(download.status, 200);
  std::string body;
  download.body([&](std::string_view piece) {
    body += piece;
    return true;
  });
  const std::string top =
      TestDb(db_).Text("SELECT Qty FROM Orders WHERE Id <= 30 ORDER BY Qty DESC");
  const size_t first = body.find("\r\n") + 2, end = body.find("\r\n", first);
  EXPECT_EQ(body.substr(0, first), "Id,Qty\r\n");
  EXPECT_EQ(body.substr(body.rfind(',', end) + 1, end - body.rfind(',', end) - 1), top);
  EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 31);
  EXPECT_TRUE(scene_where([&](const nlohmann::json& s) {
    return view(s)["message"] == "Exported 30 records (CSV) to the download tabulo-view.csv.";
  }));
  EXPECT_EQ(display.Export("1", "csv").status, 400);
  EXPECT_EQ(display.Export("0", "xml").status, 400);
  const web::Reply saved = display.Post(R"({"widget":"design","control":0,"action":"save"})");
  EXPECT_NE(saved.body.find("saved"), std::string::npos) << saved.body;
  stop = true;
  ui.join();
  std::ifstream file(folder_ / "saved.ctl");
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("SELECT Id, Qty FROM Orders WHERE Id <= 30"), std::string::npos);
  EXPECT_EQ(text.find("ORDER BY"), std::string::npos);
}

}  // namespace
}  // namespace tabulo::container
