// tabulo serve's display run on its own thread on a virtual clock that moves 50 ms each round
// of the user-interface loop; the test thread posts as the HTTP server's threads do. A
// question holds other input until its answer; with --design the sheet beside the control
// answers the designer's events, the colour and font choosers are asked in the page, and the
// control file is saved. (The demo user refused off loopback is in tests/web/serve_test.mjs.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "container/sample_db.h"
#include "container/serve_display.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

class ServeFixture : public ::testing::Test {
 protected:
  // A sample database of `rows` records, one file per test: ctest runs the cases side by side
  // in one folder.
  void WriteDatabase(int rows) {
    const char* tmp = std::getenv("TABULO_TEST_TMP");
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    db_ = std::filesystem::path(tmp ? tmp : "/tmp") / ("serve_" + name + ".db");
    WriteSampleDatabase(db_, rows);
  }
  void TearDown() override {
    if (ui_.joinable()) Stop();  // a failed assertion left the display running
    if (!db_.empty()) std::filesystem::remove(db_);
  }

  void Start() {
    display_ = std::make_unique<ServeDisplay>(request_, clock_);
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

  std::filesystem::path db_;
  ServeRequest request_;
  platform::VirtualClock clock_;
  std::unique_ptr<ServeDisplay> display_;
  std::atomic<bool> stop_{false};
  std::thread ui_;
  web::UpdateCursor cursor_;
};

class ServeDisplayTest : public ServeFixture {
 protected:
  void SetUp() override {
    WriteDatabase(50);
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

class ServeDesignTest : public ServeFixture {
 protected:
  void SetUp() override {
    WriteDatabase(20);
    BrowseRequest control;
    control.db = db_.string();
    control.sql = "SELECT Id, Customer FROM Orders";
    request_.controls.push_back(control);
    request_.design = true;
    request_.save_path = db_.string() + ".ctl";
  }
  void TearDown() override {
    ServeFixture::TearDown();
    std::filesystem::remove(request_.save_path);
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
  ExpectReplies({
      {Design(R"("action":"apply")"), 409, "a dialog waits for its answer"},
      {R"({"widget":"dialog","id":)" + picker["id"].dump() + R"(,"color":255})", 200, "\"ok\""},
      {Design(R"("action":"apply")"), 200, "\"ok\":true"},
  });
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
  SceneWhere([](const json& s) {
    return s["controls"][0]["grid"]["font"] ==
           json({{"name", "Courier New"}, {"size", 12}, {"bold", true}});
  });
  ExpectReplies({
      {Design(R"("action":"save")"), 200, "\"saved\""},
      {Design(R"("action":"close")"), 200, "\"ok\":true"},
      {Design(R"("action":"apply")"), 409, "apply: no property sheet is open"},
  });
  EXPECT_TRUE(std::filesystem::exists(request_.save_path));
}

TEST_F(ServeDesignTest, WithoutDesignTheSheetsEventsAreRefused) {
  request_.design = false;
  Start();
  ExpectReplies({{Design(R"("action":"apply")"), 409, "shows no property sheets"}});
}

}  // namespace
}  // namespace tabulo::container
