// The operator's displays: the interactive session of `tabulo browse`, and `tabulo serve`'s
// display on its own thread on a virtual clock (50 ms a round of its loop), posted to from the
// test thread as the HTTP server's threads do.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "container/browse_fixture.h"
#include "container/load_progress.h"
#include "container/property_setting.h"
#include "container/sample_db.h"
#include "container/serve_display.h"
#include "control/host_state.h"
#include "host/audit/audit_log.h"
#include "host/test_folder.h"
#include "localization/state.h"
#include "platform/runtime/clock.h"
#include "platform/text/ui_language.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

// One cluster and the signer ann (password "secret").
constexpr char kHost[] = R"({"format": 1,
  "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                "servers": [{"name": "PLANT-01"}]}],
  "security": {"users": [{"name": "ann", "level": 10, "password_hash":
    "pbkdf2-sha256$1000$xTAcI2VuOglwAGZkm9YOFg==$4Wx9Tm+nhRfDdK0H5Wz+FX+WV4fYQMJtX9iUpr7zx74="}],
    "reason_categories": ["Correction"]}})";

class ServeFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    if (ui_.joinable()) Stop();  // a failed assertion left the display running
  }

  void Start() {
    display_ = std::make_unique<ServeSession>(request_, clock_);
    ui_ = std::thread([this] {
      display_->Run([this] {
        clock_.Advance(50);
        return stop_.load();
      });
    });
  }
  void Stop() {
    stop_ = true;
    ui_.join();
  }

  // The first scene from now on that `holds` (null when none came): a bounded wait.
  json SceneWhere(const std::function<bool(const json&)>& holds) {
    for (int round = 0; round < 200; ++round) {
      std::optional<web::Update> u = display_->NextUpdate(cursor_, std::chrono::milliseconds(50));
      if (!u || u->event != "scene") continue;
      json scene = json::parse(u->data);
      if (holds(scene)) return scene;
    }
    ADD_FAILURE() << "no such scene";
    return nullptr;
  }

  void ExpectReply(const std::string& body, int status, const std::string& text) {
    SCOPED_TRACE(body);
    const web::Reply reply = display_->Post(body);
    EXPECT_EQ(reply.status, status);
    EXPECT_NE(reply.body.find(text), std::string::npos) << reply.body;
  }

  host::testing::TestFolder folder_;
  const std::filesystem::path db_ = folder_ / "sample.db";
  ServeRequest request_;
  platform::VirtualClock clock_;
  std::unique_ptr<ServeSession> display_;
  std::atomic<bool> stop_{false};
  std::thread ui_;
  web::UpdateCursor cursor_;
};

class ServeDisplayTest : public ServeFixture {
 protected:
  void SetUp() override {
    WriteSampleDatabase(db_, 50);
    request_.controls.push_back({{}, db_.string(), "SELECT Id, Customer FROM Orders", ""});
    request_.controls.push_back({{}, db_.string(), "SELECT Id FROM NoSuchTable", ""});
  }
};

TEST_F(ServeDisplayTest, AQuestionHoldsOtherInputUntilItsAnswerThenTheDisplayGoesOn) {
  Start();
  const json asked = SceneWhere([](const json& s) {
    return !s["dialog"].is_null() &&
           s["dialog"]["text"].get<std::string>().find("no such table") != std::string::npos;
  });
  ASSERT_FALSE(asked.is_null());
  EXPECT_EQ(asked["dialog"]["kind"], "message");
  const std::string id = asked["dialog"]["id"].dump();
  ExpectReply(R"({"widget":"keyboard","control":0,"key":"Down"})", 409,
              "a dialog waits for its answer");
  ExpectReply(R"({"widget":"dialog","id":)" + id + R"(9,"button":1})", 409,
              "a dialog waits for its answer");
  ExpectReply(R"({"widget":"dialog","id":)" + id + R"(,"button":1})", 200, "\"ok\":true");
  const json answered = SceneWhere([](const json& s) { return s["dialog"].is_null(); });
  EXPECT_EQ(answered["controls"][0]["grid"]["rows"][1]["cells"][2]["t"], "Acme Corp");
  ExpectReply(R"({"widget":"dialog","id":)" + id + R"(,"button":1})", 409, "no dialog is open");
  ExpectReply(R"({"widget":"grid","control":0,"action":"click","row":999,"col":1,"button":1})", 409,
              "that cell is no longer in view");
  ExpectReply(R"({"widget":"design","control":0,"action":"apply"})", 409,
              "shows no property sheets");  // without --design
  ExpectReply(R"({"widget":"grid","control":2,"action":"wheel","notches":1})", 400,
              "must be an integer from 0 to 1");
  // Input goes on to the control: the scroll bar's arrow moves its window a record down.
  ExpectReply(R"({"widget":"scrollbar","control":0,"action":"down"})", 200, "\"ok\":true");
  const json scrolled = SceneWhere(
      [](const json& s) { return s["controls"][0]["grid"]["rows"][1]["cells"][0]["t"] == "2"; });
  EXPECT_EQ(scrolled["controls"][0]["scroll"]["long"]["value"], 1);
  Stop();
  ExpectReply(R"({"widget":"scrollbar","control":0,"action":"down"})", 503,
              "the display has closed");
}

// A body whose bytes are not UTF-8 is refused with a reply that is itself JSON (the reason
// quotes the bytes, replaced).
TEST_F(ServeDisplayTest, ABodyThatIsNotUtf8IsRefusedWithAJsonReason) {
  Start();
  for (const char* body :
       {"{\"widget\":\"\xAE", "{\"widget\":\"dialog\",\"id\":4,\xAE}", "\xC3\x28"}) {
    SCOPED_TRACE(body);
    const web::Reply reply = display_->Post(body);
    EXPECT_EQ(reply.status, 400);
    ASSERT_TRUE(json::accept(reply.body)) << reply.body;
    EXPECT_NE(json::parse(reply.body)["error"].get<std::string>().find("bad JSON"),
              std::string::npos);
  }
  Stop();
}

// Off loopback the display signs only with a host file that names users; on loopback the
// embedded demo user may sign, so any installation does.
TEST_F(ServeFixture, OffLoopbackTheDisplayNeedsAHostFileNamingItsUsers) {
  WriteSampleDatabase(db_, 5);
  const std::string with_users = folder_.Write("users.json", kHost);
  const std::string without_users = folder_.Write("nobody.json", fixtures::kLocalHost);
  const struct {
    bool loopback;
    std::string host;
    bool refused;
  } rows[] = {
      {false, "", true},          {false, without_users, true},
      {false, with_users, false}, {true, without_users, false},
      {true, "", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.host + (row.loopback ? " on loopback" : " off loopback"));
    ServeRequest request;
    request.loopback = row.loopback;
    request.session.host_config = row.host;
    request.controls.push_back({{}, db_.string(), "SELECT Id FROM Orders", ""});
    try {
      ServeDisplay display(request, clock_);
      EXPECT_FALSE(row.refused);
    } catch (const platform::ComError& e) {
      EXPECT_TRUE(row.refused) << e.description();
      EXPECT_EQ(e.number(), platform::kErrInvalidProcedureCall);
      EXPECT_NE(e.description().find("needs --host CONFIG naming its users"), std::string::npos)
          << e.description();
    }
  }
}

// A session idle past the timeout is told for how long, also once it is cleared away: in
// minutes when the timeout is whole minutes, else in seconds.
TEST_F(ServeFixture, AnIdleSessionIsToldItsTimeoutInMinutesOrSeconds) {
  WriteSampleDatabase(db_, 5);
  request_.controls.push_back({{}, db_.string(), "SELECT Id FROM Orders", ""});
  const struct {
    int64_t ms;
    const char* told;
  } rows[] = {{60000, "for more than 1 minute,"},
              {120000, "for more than 2 minutes,"},
              {1000000, "for more than 1000 seconds,"},
              {int64_t{59999} * 60000, "for more than 59999 minutes,"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ms);
    request_.idle_timeout_ms = row.ms;
    ServeDisplay display(request_, clock_);
    web::Caller caller{"", "browser", "127.0.0.1"};
    const web::Reply opened = display.Open(caller, "{}");
    ASSERT_EQ(opened.status, 200) << opened.body;
    caller.session = json::parse(opened.body)["session"];
    clock_.Advance(row.ms + 1);
    EXPECT_EQ(display.EndIdle(), 1u);
    int rounds = 0;
    display.Run([&] { return rounds++ == 1; });  // one round: the ended session cleared away
    const web::Reply reply =
        display.Post(caller, R"({"widget":"keyboard","control":0,"key":"Down"})");
    EXPECT_EQ(reply.status, 410);
    EXPECT_NE(reply.body.find(row.told), std::string::npos) << reply.body;
  }
}

// Signing in: a form without a user name as text is asked for again before any credentials
// are checked, a display without room refuses before it asks, and a refusal that cannot be
// recorded makes the display unavailable.
TEST_F(ServeFixture, ASignInWithoutAUserNameIsAskedForAgainAndAFullDisplayRefusesFirst) {
  WriteSampleDatabase(db_, 5);
  request_.controls.push_back({{}, db_.string(), "SELECT Id FROM Orders", ""});
  request_.sign_in = true;
  const struct {
    size_t max_sessions;
    const char* body;
    int status;
    const char* told;
  } rows[] = {
      {1, "not json", 401, "Sign in with your user name"},
      {1, R"({"user": 5, "password": "secret"})", 401, "Sign in with your user name"},
      {0, "{}", 503, "This display is full: 0 pages"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    request_.max_sessions = row.max_sessions;
    ServeDisplay display(request_, clock_);
    const web::Reply reply = display.Open({"", "browser", "127.0.0.1"}, row.body);
    EXPECT_EQ(reply.status, row.status);
    EXPECT_NE(reply.body.find(row.told), std::string::npos) << reply.body;
  }
  // A refused sign-in that cannot be recorded (its audit file in a missing folder): unavailable.
  std::string host = kHost;
  host.insert(host.find("\"reason_categories\""), R"("audit_database": "missing/audit.db", )");
  request_.session.host_config = folder_.Write("host.json", host);
  request_.max_sessions = 1;
  ServeDisplay display(request_, clock_);
  const web::Reply reply =
      display.Open({"", "browser", "127.0.0.1"}, R"({"user": "ann", "password": "wrong"})");
  EXPECT_EQ(reply.status, 503);
  EXPECT_NE(reply.body.find("The refused sign-in could not be recorded"), std::string::npos)
      << reply.body;
}

// A signed edit through the page: the signature dialog cancelled writes nothing and is no
// failed sign-in (no second box, nothing audited); answered with ann's credentials, the
// record is written and its operator event carries her signature.
TEST_F(ServeFixture, ASignatureDialogCancelledWritesNothingAndAnsweredWrites) {
  WriteSampleDatabase(db_, 20);
  std::string host_text = kHost;  // operator events in audit.db beside it
  host_text.insert(host_text.size() - 2, R"(, "audit_database": "audit.db")");  // in security
  request_.session.host_config = folder_.Write("host.json", host_text);
  BrowseRequest control{{}, db_.string(), "SELECT Id, Customer FROM Orders", ""};
  for (const char* setting :
       {"DataTable=Orders", "AllowUpdates=true", "ConfirmUpdates=true", "ESignatureRequired=true",
        "LogEvent=true", "LoggingClusterName=\"Local\""})
    control.settings.push_back(ParsePropertySetting(setting));
  request_.controls.push_back(control);
  const std::filesystem::path audit = folder_ / "audit.db";
  auto customer = [&] {
    return host::testing::TestDb(db_).Text("SELECT Customer FROM Orders WHERE Id = 3");
  };
  const std::string stored = customer();
  Start();
  SceneWhere(
      [](const json& s) { return s["controls"][0]["grid"]["rows"][3]["cells"][0]["t"] == "3"; });
  // Edits the third record's customer and asks for the signature: the dialog's id.
  auto edit = [&](const std::string& typed) {
    ExpectReply(R"({"widget":"grid","control":0,"action":"click","row":3,"col":2,"button":1})", 200,
                "\"ok\":true");
    ExpectReply(R"({"widget":"keyboard","control":0,"text":")" + typed + R"("})", 200,
                "\"ok\":true");
    ExpectReply(R"({"widget":"keyboard","control":0,"key":"Enter"})", 200, "\"dialog\":");
    const json dialog = SceneWhere([](const json& s) { return !s["dialog"].is_null(); })["dialog"];
    EXPECT_EQ(dialog["kind"], "signature");
    return dialog["id"].dump();
  };
  ExpectReply(R"({"widget":"dialog","id":)" + edit("Cancelled") + R"(,"cancel":true})", 200,
              "\"ok\"");
  // The next edit's click is taken (200), so no box about a failed sign-in holds the display.
  ExpectReply(R"({"widget":"dialog","id":)" + edit("Signed") +
                  R"(,"user":"ann","password":"secret","reason":"Correction"})",
              200, "\"ok\"");
  SceneWhere([](const json& s) { return s["dialog"].is_null(); });
  Stop();
  EXPECT_EQ(customer(), "Signed");  // typing replaced the selected text
  const std::vector<host::AuditRecord> records = host::ReadAuditRecords(audit.string());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].signed_by1, "ann");
  EXPECT_EQ(records[0].event.old_value, stored);
  EXPECT_EQ(records[0].event.new_value, "Signed");
}

// Two sessions on one thread hold separate process states: one's data server, language and
// load-progress sink never reach the other, and ending one's control disconnects only its own.
TEST(SessionState, TwoSessionsOnOneThreadShareNothing) {
  host::testing::TestFolder folder;
  const std::filesystem::path db = folder.path() / "orders.db";
  WriteSampleDatabase(db, 5);
  SessionOptions options;
  options.ui_language = 1033;
  std::vector<int64_t> reports;
  options.load_progress = [&](int64_t rows) { reports.push_back(rows); };
  Session first(options);
  options.load_progress = nullptr;
  Session second(options);
  for (Session* s : {&first, &second}) {
    control::TabuloCtl& ctl = s->NewControl();
    ctl.SetDSNname(db.string());
    ctl.SetRecordSource("SELECT Id FROM Orders");
    ctl.UserModeSet();
    ctl.Refresh(false);
  }
  auto server = [](Session& s) { return control::SharedHost(s.container()).data_server; };
  auto language = [](Session& s) {
    return localization::SharedLocalization(s.container()).language;
  };
  ASSERT_NE(server(first), nullptr);
  ASSERT_NE(server(second), nullptr);
  first.ChangeLanguage(1031);
  EXPECT_EQ(language(first), 1031);
  EXPECT_EQ(language(second), 1033);
  EXPECT_EQ(second.current().mnuRefreshCaption, "Refresh");
  ReportLoadProgress(second.process_state(), 7);
  ReportLoadProgress(first.process_state(), 9);
  EXPECT_EQ(reports, std::vector<int64_t>{9});
  first.EndCurrent();
  EXPECT_EQ(server(first), nullptr);
  EXPECT_NE(server(second), nullptr);
  second.SetRunMode(true);
  second.Run(500);
  EXPECT_EQ(second.current().Grid.TextMatrix(5, 1), "5");
}

// Each session keeps its own process state: a session built on this thread and run on its
// own, then ended here (its control releasing the data server, as an ending control does),
// leaves the other session's data server alone, and the other's edit is written.
TEST_F(ServeFixture, EndingOneSessionLeavesAnothersDataServerAlone) {
  WriteSampleDatabase(db_, 20);
  BrowseRequest control{{}, db_.string(), "SELECT Id, Customer FROM Orders", ""};
  for (const char* setting : {"DataTable=Orders", "AllowUpdates=true"})
    control.settings.push_back(ParsePropertySetting(setting));
  request_.controls.push_back(control);
  auto loaded = [](const json& s) {
    return s["controls"][0]["grid"]["rows"][3]["cells"][0]["t"] == "3";
  };
  auto other = std::make_unique<ServeSession>(request_, clock_);
  std::atomic<bool> other_stop{false};
  std::thread other_ui([&] { other->Run([&] { return other_stop.load(); }); });
  Start();
  SceneWhere(loaded);
  web::UpdateCursor seen;
  bool other_loaded = false;
  for (int round = 0; round < 200 && !other_loaded; ++round) {
    std::optional<web::Update> u = other->NextUpdate(seen, std::chrono::milliseconds(50));
    other_loaded = u && u->event == "scene" && loaded(json::parse(u->data));
  }
  ASSERT_TRUE(other_loaded);
  other_stop = true;
  other_ui.join();
  other.reset();
  ExpectReply(R"({"widget":"grid","control":0,"action":"click","row":3,"col":2,"button":1})", 200,
              "\"ok\":true");
  ExpectReply(R"({"widget":"keyboard","control":0,"text":"Kept"})", 200, "\"ok\":true");
  ExpectReply(R"({"widget":"keyboard","control":0,"key":"Enter"})", 200, "{\"ok\":true}");
  Stop();
  EXPECT_EQ(host::testing::TestDb(db_).Text("SELECT Customer FROM Orders WHERE Id = 3"), "Kept");
}

class ServeDesignTest : public ServeFixture {
 protected:
  void SetUp() override {
    WriteSampleDatabase(db_, 20);
    BrowseRequest control;
    control.db = db_.string();
    control.sql = "SELECT Id, Customer FROM Orders";
    request_.controls.push_back(control);
    request_.design = true;
    request_.save_path = (folder_ / "sample.ctl").string();
  }
  void ExpectReplies(const std::vector<std::tuple<std::string, int, std::string>>& rows) {
    for (const auto& [body, status, text] : rows) ExpectReply(body, status, text);
  }
  static std::string Design(const std::string& rest) {
    return R"({"widget":"design","control":0,)" + rest + "}";
  }
};

TEST_F(ServeDesignTest, TheSheetAnswersTheDesignerAndAsksForAColourInThePage) {
  Start();
  const json opened =
      SceneWhere([](const json& s) { return s["controls"][0]["design"]["sheet"].is_object(); });
  EXPECT_EQ(opened["controls"][0]["design"]["pages"],
            json({"UsrControlProperties", "DSNSelection", "ColumnProperties", "eSignature"}));
  ExpectReplies({
      {Design(R"("action":"page","name":"NoSuch")"), 409, "unknown page 'NoSuch'"},
      {Design(R"("action":"press","name":"cmdNone")"), 409, "unknown widget 'cmdNone'"},
      {Design(R"("action":"fill","name":"btnBackColor","text":"x")"), 409, "suits a text box"},
      {Design(R"("action":"press","name":"btnBackColor")"), 200, "\"ok\":true"},
  });
  const json picker = SceneWhere([](const json& s) { return !s["dialog"].is_null(); })["dialog"];
  ASSERT_EQ(picker["kind"], "color");
  // The tabs' captions are the pages' own (the eSignature page's from the installed texts).
  EXPECT_EQ(opened["controls"][0]["design"]["captions"],
            json({"General", "Data Source Properties", "Column Properties", "eSignature"}));
  ExpectReplies({
      {Design(R"("action":"apply")"), 409, "a dialog waits for its answer"},
      {R"({"widget":"dialog","id":)" + picker["id"].dump() + R"(,"color":255})", 200, "\"ok\""},
  });
  // The chosen colour is shown beside its button before it is applied.
  SceneWhere(
      [](const json& s) { return s["controls"][0]["design"]["preview"]["back"] == "#ff0000"; });
  ExpectReplies({{Design(R"("action":"apply")"), 200, "\"ok\":true"}});
  SceneWhere([](const json& s) { return s["controls"][0]["grid"]["back"] == "#ff0000"; });
  // The font chooser likewise.
  ExpectReplies({{Design(R"("action":"press","name":"btnFont")"), 200, "\"ok\":true"}});
  const json chooser = SceneWhere([](const json& s) { return !s["dialog"].is_null(); })["dialog"];
  ASSERT_EQ(chooser["kind"], "font");
  ExpectReplies({
      {R"({"widget":"dialog","id":)" + chooser["id"].dump() +
           R"(,"font":{"name":"Courier New","size":12,"bold":true}})",
       200, "\"ok\""},
      {Design(R"("action":"apply")"), 200, "\"ok\":true"},
  });
  const json applied = SceneWhere([](const json& s) {
    return s["controls"][0]["grid"]["font"] ==
           json({{"name", "Courier New"}, {"size", 12}, {"bold", true}});
  });
  // The page shows the font it applied beside its button.
  const json font = applied["controls"][0]["design"]["preview"]["font"];
  EXPECT_EQ(font, json({{"name", "Courier New"},
                        {"size", 12.0},
                        {"bold", true},
                        {"italic", false},
                        {"underline", false},
                        {"strikeout", false}}));
  ExpectReplies({
      {Design(R"("action":"save")"), 200, "\"saved\""},
      {Design(R"("action":"close")"), 200, "\"ok\":true"},
      {Design(R"("action":"apply")"), 409, "apply: no property sheet is open"},
  });
  EXPECT_TRUE(std::filesystem::exists(request_.save_path));
}

// The interactive session of `tabulo browse` without a terminal, on the 1000-row sample.
using host::testing::TestDb;

class BrowseSessionTest : public fixtures::BrowseFixture {
 protected:
  void SetUp() override { WriteSampleDatabase(db_, 1000); }

  // The control in run mode, 80 x 12 characters (10 grid lines), after its first load.
  BrowseSession& Open(const std::string& sql, bool allow_updates = false, bool sign = false) {
    BrowseRequest request;
    request.sql = sql;
    request.session.host_config = folder_.Write("host.json", kHost);
    return OpenSession(request, [&](control::TabuloCtl& ctl) {
      ctl.SetDataTable("Orders");
      ctl.SetAllowUpdates(allow_updates);
      ctl.SetConfirmUpdates(allow_updates);
      ctl.ESignatureRequired = sign;
      ctl.ESignaturePrompt = "Sign it";
    });
  }
  std::string Customer(int id) {
    return TestDb(db_).Text("SELECT Customer FROM Orders WHERE Id = " + std::to_string(id));
  }
};

constexpr char kOrders[] = "SELECT Id, Customer, Qty FROM Orders";

// Keys from a fresh window: the scroll bar's value, the cursor's line (2 is the first data
// line) and cell. (Page Down, End, Home and the last line: tests/app/browse_test.py.)
TEST_F(BrowseSessionTest, KeysMoveTheCursorAndScrollThroughTheScrollBar) {
  using K = BrowseKey;
  struct Row {
    std::vector<K> keys;
    int32_t value, line, slot;
  } rows[] = {
      {{}, 0, 2, 1},
      {{K::Down, K::Down}, 0, 4, 1},
      {{K::Down, K::Up, K::Up}, 0, 2, 1},
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

// The help line offers Enter only where it opens the editor; the position is the cursor's
// record from 1 and the exact count, grouped as the user-interface language groups numbers.
TEST_F(BrowseSessionTest, TheHelpLineOffersTheKeysThatWorkAndThePositionCountsFromOne) {
  const int32_t language = platform::UserInterfaceLanguage();
  BrowseSession& b = Open(kOrders);
  EXPECT_EQ(b.KeyHelp().find("Enter"), std::string::npos) << b.KeyHelp();
  EXPECT_NE(b.KeyHelp().find("(read-only)"), std::string::npos) << b.KeyHelp();
  platform::SetUserInterfaceLanguage(1033);
  EXPECT_EQ(b.Position(), "Row 1 of 1,000");
  b.Press(BrowseKey::Down);
  b.Press(BrowseKey::Down);
  EXPECT_EQ(b.Position(), "Row 3 of 1,000");
  b.Press(BrowseKey::End);
  EXPECT_EQ(b.Position(), "Row 1,000 of 1,000");
  platform::SetUserInterfaceLanguage(1031);
  EXPECT_EQ(b.Position(), "Zeile 1.000 von 1.000");
  platform::SetUserInterfaceLanguage(1036);
  EXPECT_EQ(b.Position(), "Ligne 1\u00a0000 sur 1\u00a0000");
  platform::SetUserInterfaceLanguage(language);
  BrowseSession& editable = Open(kOrders, true);
  EXPECT_NE(editable.KeyHelp().find("  Enter edit  "), std::string::npos) << editable.KeyHelp();
  EXPECT_EQ(editable.KeyHelp().find("read-only"), std::string::npos) << editable.KeyHelp();
}

// Clicks map the rendering to grid cells; the signature dialog goes to the operator with the
// prompt, and a cancel writes nothing (the signed write: tests/app/browse_test.py).
TEST_F(BrowseSessionTest, AClickedCellsEditGoesToTheOperatorToSignWhoCancels) {
  BrowseSession& b = Open(kOrders, true, true);
  const std::string stored = Customer(3);
  b.Click(1, 2);  // the rule under the header
  // By the grid's cell, nothing out of view: a row below the window, a column past the last.
  EXPECT_FALSE(b.ClickGridCell(999, 2) || b.ClickGridCell(3, 4));
  EXPECT_FALSE(b.Editing());
  b.Click(4, 2);
  EXPECT_TRUE(b.Editing());
  EXPECT_EQ(b.control().EditRow(), 3);
  EXPECT_EQ(b.control().EditCol(), 2);
  EXPECT_NE(b.Render().find("[O'Brien"), std::string::npos);
  b.Type("Signed ");
  b.Press(BrowseKey::Enter);
  EXPECT_EQ(Customer(3), stored);
  EXPECT_EQ(person_.asked, (std::vector<std::string>{"sign Sign it"}));
}

// The popup menu closed without a choice leaves the display as it was (its Refresh and F5:
// tests/app/browse_test.py).
TEST_F(BrowseSessionTest, AMenuClosedWithoutAChoiceChangesNothing) {
  BrowseSession& b = Open(kOrders);
  TestDb(db_).Exec("UPDATE Orders SET Customer = 'Menu' WHERE Id = 1");
  b.Press(BrowseKey::Menu);
  EXPECT_EQ(b.Render().find("Menu"), std::string::npos);
  EXPECT_EQ(person_.asked, (std::vector<std::string>{"menu Refresh"}));
}

}  // namespace
}  // namespace tabulo::container
