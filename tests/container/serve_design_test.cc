// tabulo serve --design: the sheet beside the control answers the designer's events through
// the display's one user-interface thread, the colour picker is asked in the page, and the
// control file is saved.
#include <gtest/gtest.h>

#include <thread>

#include "container/sample_db.h"
#include "container/serve_display.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

class ServeDesignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TABULO_TEST_TMP");
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    db_ = std::filesystem::path(tmp ? tmp : "/tmp") / (name + ".db");
    WriteSampleDatabase(db_, 20);
    BrowseRequest control;
    control.db = db_.string();
    control.sql = "SELECT Id, Customer FROM Orders";
    request_.controls.push_back(control);
    request_.design = true;
    request_.save_path = db_.string() + ".ctl";
  }
  void TearDown() override {
    if (ui_.joinable()) Stop();
    std::filesystem::remove(db_);
    std::filesystem::remove(request_.save_path);
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
  // The first scene from now on that `holds`: a bounded wait.
  json SceneWhere(const std::function<bool(const json&)>& holds) {
    for (int round = 0; round < 200; ++round) {
      std::optional<web::Update> u = display_->NextUpdate(cursor_, std::chrono::milliseconds(50));
      if (!u || u->event != "scene") continue;
      json scene = json::parse(u->data);
      if (holds(scene)) return scene;
    }
    ADD_FAILURE() << "no such scene";
    return json::object();
  }
  void ExpectReplies(const std::vector<std::tuple<std::string, int, std::string>>& rows) {
    for (const auto& [body, status, text] : rows) {
      SCOPED_TRACE(body);
      const web::Reply reply = display_->Post(body);
      EXPECT_EQ(reply.status, status);
      EXPECT_NE(reply.body.find(text), std::string::npos) << reply.body;
    }
  }
  static std::string Design(const std::string& rest) {
    return R"({"widget":"design","control":0,)" + rest + "}";
  }

  std::filesystem::path db_;
  ServeRequest request_;
  platform::VirtualClock clock_;
  std::unique_ptr<ServeDisplay> display_;
  std::atomic<bool> stop_{false};
  std::thread ui_;
  web::UpdateCursor cursor_;
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
