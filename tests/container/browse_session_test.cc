// The interactive session of `tabulo browse` without a terminal: keys, clicks and the wheel
// on the 1000-row sample, with an operator answering from a script and time on a virtual
// clock.
#include "container/browse_session.h"

#include <gtest/gtest.h>

#include <deque>

#include "container/sample_db.h"
#include "host/test_folder.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {
namespace {

using host::testing::TestDb;
using host::testing::TestFolder;

// Answers boxes with OK, cancels signatures and chooses from a queue; keeps what it was
// asked, one line per question.
class ScriptedOperator : public Operator {
 public:
  int AnswerMessageBox(const std::string& text, int32_t, const std::string&) override {
    asked.push_back("box " + text);
    return platform::kIdOk;
  }
  std::optional<Signature> Sign(const SignatureRequest& request) override {
    asked.push_back("sign " + request.prompt);
    return std::nullopt;  // cancelled
  }
  int ChooseFromMenu(const std::vector<std::string>& captions) override {
    asked.push_back("menu " + captions.at(0));
    if (menu.empty()) return -1;
    const int choice = menu.front();
    menu.pop_front();
    return choice;
  }
  std::deque<int> menu;
  std::vector<std::string> asked;
};

// One cluster and the signer ann (password "secret").
constexpr char kHost[] = R"({"format": 1,
  "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                "servers": [{"name": "PLANT-01"}]}],
  "security": {"users": [{"name": "ann", "level": 10, "password_hash":
    "pbkdf2-sha256$1000$xTAcI2VuOglwAGZkm9YOFg==$4Wx9Tm+nhRfDdK0H5Wz+FX+WV4fYQMJtX9iUpr7zx74="}],
    "reason_categories": ["Correction"]}})";

class BrowseSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteSampleDatabase(folder_ / "sample.db", 1000); }

  // The control in run mode, 80 x 12 characters (10 grid lines), after its first load.
  BrowseSession& Open(const std::string& sql, bool allow_updates = false, bool sign = false) {
    BrowseRequest request;
    request.db = (folder_ / "sample.db").string();
    request.sql = sql;
    request.session.host_config = folder_.Write("host.json", kHost);
    browse_.reset();  // one session at a time: the host installation is the process's
    browse_ = std::make_unique<BrowseSession>(request, person_, clock_);
    control::TabuloCtl& ctl = browse_->control();
    ctl.SetDataTable("Orders");
    ctl.SetAllowUpdates(allow_updates);
    ctl.SetConfirmUpdates(allow_updates);
    ctl.ESignatureRequired = sign;
    ctl.ESignaturePrompt = "Sign it";
    browse_->Resize(80, 12);
    browse_->Start();
    clock_.Advance(250);
    browse_->Pump();
    return *browse_;
  }
  std::string Customer(int id) {
    return TestDb(folder_ / "sample.db")
        .Text("SELECT Customer FROM Orders WHERE Id = " + std::to_string(id));
  }

  TestFolder folder_;
  ScriptedOperator person_;
  platform::VirtualClock clock_;
  std::unique_ptr<BrowseSession> browse_;
};

constexpr char kOrders[] = "SELECT Id, Customer, Qty FROM Orders";

// Keys from the top of a fresh window: the record the scroll bar shows first, and the
// cursor's line (2 is the first data line, after the header and its rule) and cell.
TEST_F(BrowseSessionTest, KeysMoveTheCursorAndScrollThroughTheScrollBar) {
  using K = BrowseKey;
  struct Row {
    std::vector<K> keys;
    int32_t value, line, slot;
  } rows[] = {
      {{}, 0, 2, 1},
      {{K::Down, K::Down}, 0, 4, 1},
      {std::vector<K>(12, K::Down), 4, 10, 1},  // 8 moves to the last of 9 lines, 4 scrolls
      {{K::Down, K::Up, K::Up}, 0, 2, 1},
      {{K::PageDown}, 20, 2, 1},
      {{K::PageDown, K::PageUp}, 0, 2, 1},
      {{K::Right, K::Right, K::Right, K::Right}, 0, 2, 3},
      {{K::Right, K::Left, K::Left}, 0, 2, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.value) + " line " + std::to_string(row.line));
    BrowseSession& b = Open(kOrders);
    for (K key : row.keys) b.Press(key);
    EXPECT_EQ(b.control().ScrollBar.Value(), row.value);
    EXPECT_EQ(b.CursorLine(), row.line);
    EXPECT_EQ(b.CursorSlot(), row.slot);
  }
  BrowseSession& b = Open(kOrders);
  b.Wheel(2);
  b.Wheel(-1);
  EXPECT_EQ(b.control().ScrollBar.Value(), 3);
  b.Resize(40, 6);
  EXPECT_EQ(b.control().ScaleWidth(), 40 * 120);
  EXPECT_EQ(b.control().VisibleRows(), 4);
  EXPECT_TRUE(person_.asked.empty());
}

TEST_F(BrowseSessionTest, ClicksMapTheRenderingToGridCells) {
  BrowseSession& b = Open(kOrders, true);
  b.Click(1, 2);  // the rule under the header
  EXPECT_FALSE(b.Editing());
  b.Click(4, 2);
  EXPECT_TRUE(b.Editing());
  EXPECT_EQ(b.control().EditRow(), 3);
  EXPECT_EQ(b.control().EditCol(), 2);
  EXPECT_NE(b.Render().find("[O'Brien"), std::string::npos);
}

// The signature dialog goes to the operator with the prompt; a cancel writes nothing (the
// signed write is in the terminal test, tests/app/browse_test.py).
TEST_F(BrowseSessionTest, TheOperatorCancelsTheSignature) {
  BrowseSession& b = Open(kOrders, true, true);
  b.Click(2, 2);
  b.Type("Signed ");
  b.Press(BrowseKey::Enter);
  EXPECT_EQ(Customer(1), "Acme Corp");
  EXPECT_EQ(person_.asked, (std::vector<std::string>{"sign Sign it"}));
}

// The popup menu's Refresh shows what the database holds now; a menu closed without a
// choice leaves the display as it was. (F5 and a database error's box are in the terminal
// test, tests/app/browse_test.py.)
TEST_F(BrowseSessionTest, RefreshComesFromTheMenu) {
  BrowseSession& b = Open(kOrders);
  TestDb(folder_ / "sample.db").Exec("UPDATE Orders SET Customer = 'Menu' WHERE Id = 1");
  person_.menu = {-1, 0};
  b.Press(BrowseKey::Menu);
  EXPECT_EQ(b.Render().find("Menu"), std::string::npos);
  b.Press(BrowseKey::Menu);
  EXPECT_NE(b.Render().find("|Menu "), std::string::npos);
  EXPECT_EQ(person_.asked, (std::vector<std::string>{"menu Refresh", "menu Refresh"}));
}

}  // namespace
}  // namespace tabulo::container
