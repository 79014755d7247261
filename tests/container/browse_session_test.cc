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

// Answers from queues and keeps what it was asked, one line per question.
class ScriptedOperator : public Operator {
 public:
  int AnswerMessageBox(const std::string& text, int32_t, const std::string&) override {
    asked.push_back("box " + text);
    return Next(boxes, platform::kIdOk);
  }
  std::optional<Signature> Sign(const SignatureRequest& request) override {
    asked.push_back("sign " + request.prompt);
    return signatures.empty() ? std::nullopt : Next(signatures, std::optional<Signature>());
  }
  int ChooseFromMenu(const std::vector<std::string>& captions) override {
    asked.push_back("menu " + captions.at(0));
    return Next(menu, -1);
  }
  std::deque<int> boxes, menu;
  std::deque<std::optional<Signature>> signatures;
  std::vector<std::string> asked;

 private:
  template <typename T>
  static T Next(std::deque<T>& q, T otherwise) {
    if (q.empty()) return otherwise;
    T v = q.front();
    q.pop_front();
    return v;
  }
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
      {{K::End}, 1000, 2, 1},
      {{K::End, K::Home}, 0, 2, 1},
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

// Enter on the cursor cell (or a click) opens the editor; typing and Enter ask the operator,
// whose answer decides what the database holds. Enter on the same cell again reopens it.
TEST_F(BrowseSessionTest, EditsAreConfirmedOrRefusedByTheOperator) {
  struct Row {
    int answer, id;
    bool written;
  } rows[] = {{platform::kIdYes, 2, true}, {platform::kIdNo, 3, false}};
  for (const Row& row : rows) {
    const std::string before = Customer(row.id);
    BrowseSession& b = Open(kOrders, true);
    person_.boxes = {row.answer};
    for (int i = 1; i < row.id; ++i) b.Press(BrowseKey::Down);
    b.Press(BrowseKey::Right);
    b.Press(BrowseKey::Enter);
    ASSERT_TRUE(b.Editing());
    b.Type("Nobody");
    for (size_t i = 0; i < before.size(); ++i) b.Press(BrowseKey::Delete);
    b.Press(BrowseKey::Enter);
    EXPECT_FALSE(b.Editing());
    EXPECT_EQ(Customer(row.id), row.written ? "Nobody" : before);
    b.Press(BrowseKey::Enter);
    EXPECT_TRUE(b.Editing());
  }
  EXPECT_EQ(person_.asked.size(), 2u);
  EXPECT_EQ(person_.asked.at(0), "box Are you sure you want to Update database records?");
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

// The signature dialog goes to the operator with the prompt; a cancel writes nothing.
TEST_F(BrowseSessionTest, TheOperatorSignsOrCancels) {
  for (bool signs : {false, true}) {
    BrowseSession& b = Open(kOrders, true, true);
    if (signs) person_.signatures = {Signature{"ann", "secret", "Correction"}};
    b.Click(2, 2);
    b.Type("Signed ");
    b.Press(BrowseKey::Enter);
    EXPECT_EQ(Customer(1), signs ? "Signed Acme Corp" : "Acme Corp");
  }
  EXPECT_EQ(person_.asked, (std::vector<std::string>{"sign Sign it", "sign Sign it"}));
}

// The popup menu and F5 both show what the database holds now; an error is a box.
TEST_F(BrowseSessionTest, RefreshComesFromTheMenuOrTheKeyAndErrorsAreBoxes) {
  BrowseSession& b = Open(kOrders);
  TestDb db(folder_ / "sample.db");
  db.Exec("UPDATE Orders SET Customer = 'Menu' WHERE Id = 1");
  person_.menu = {-1, 0};
  b.Press(BrowseKey::Menu);
  EXPECT_EQ(b.Render().find("Menu"), std::string::npos);
  b.Press(BrowseKey::Menu);
  EXPECT_NE(b.Render().find("|Menu "), std::string::npos);
  db.Exec("UPDATE Orders SET Customer = 'Key' WHERE Id = 1");
  b.Press(BrowseKey::Refresh);
  EXPECT_NE(b.Render().find("|Key "), std::string::npos);
  EXPECT_EQ(person_.asked, (std::vector<std::string>{"menu Refresh", "menu Refresh"}));
  person_.asked.clear();
  Open("SELECT Id FROM NoSuchTable");
  ASSERT_EQ(person_.asked.size(), 1u);
  EXPECT_NE(person_.asked[0].find("no such table: NoSuchTable"), std::string::npos);
}

}  // namespace
}  // namespace tabulo::container
