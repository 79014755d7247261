#include "container/serve_display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "container/sample_db.h"
#include "platform/runtime/clock.h"

namespace tabulo::container {
namespace {

// The display run on its own thread on a virtual clock that moves 50 ms each round of the
// user-interface loop; the test thread posts as the HTTP server's threads do.
class ServeDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TABULO_TEST_TMP");
    db_ = std::filesystem::path(tmp ? tmp : "/tmp") /
          (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".db");
    WriteSampleDatabase(db_, 50);
    request_.controls.push_back({{}, db_.string(), "SELECT Id, Customer FROM Orders", ""});
    request_.controls.push_back({{}, db_.string(), "SELECT Id FROM NoSuchTable", ""});
  }
  void TearDown() override { std::filesystem::remove(db_); }

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

  // The first scene from now on that `holds`: a bounded wait for the display.
  nlohmann::json SceneWhere(const std::function<bool(const nlohmann::json&)>& holds) {
    for (int round = 0; round < 200; ++round) {
      std::optional<web::Update> u = display_->NextUpdate(cursor_, std::chrono::milliseconds(50));
      if (!u || u->event != "scene") continue;
      nlohmann::json scene = nlohmann::json::parse(u->data);
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

TEST_F(ServeDisplayTest, AQuestionHoldsOtherInputUntilItsAnswerThenTheDisplayGoesOn) {
  Start();
  const nlohmann::json asked = SceneWhere([](const nlohmann::json& s) {
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
  const nlohmann::json answered =
      SceneWhere([](const nlohmann::json& s) { return s["dialog"].is_null(); });
  EXPECT_EQ(answered["controls"][0]["grid"]["rows"][1]["cells"][2]["t"], "Acme Corp");
  ExpectReply(R"({"widget":"dialog","id":)" + id + R"(,"button":1})", 409, "no dialog is open");
  ExpectReply(R"({"widget":"grid","control":0,"action":"click","row":999,"col":1,"button":1})", 409,
              "that cell is no longer in view");
  ExpectReply(R"({"widget":"grid","control":2,"action":"wheel","notches":1})", 400,
              "must be an integer from 0 to 1");
  // Input goes on to the control: the scroll bar's arrow moves its window a record down.
  ExpectReply(R"({"widget":"scrollbar","control":0,"action":"down"})", 200, "\"ok\":true");
  const nlohmann::json scrolled = SceneWhere([](const nlohmann::json& s) {
    return s["controls"][0]["grid"]["rows"][1]["cells"][0]["t"] == "2";
  });
  EXPECT_EQ(scrolled["controls"][0]["scroll"]["long"]["value"], 1);
  Stop();
  ExpectReply(R"({"widget":"scrollbar","control":0,"action":"down"})", 503,
              "the display has closed");
}

TEST_F(ServeDisplayTest, OffLoopbackTheDemoUserDoesNotDo) {
  request_.loopback = false;
  EXPECT_THROW(ServeDisplay(request_, clock_), platform::ComError);
}

}  // namespace
}  // namespace tabulo::container
