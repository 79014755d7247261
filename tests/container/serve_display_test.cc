#include "serve_fixture.h"

namespace tabulo::container {
namespace {

class ServeDisplayTest : public testing::ServeFixture {
 protected:
  void SetUp() override {
    WriteDatabase(50);
    request_.controls.push_back({{}, db_.string(), "SELECT Id, Customer FROM Orders", ""});
    request_.controls.push_back({{}, db_.string(), "SELECT Id FROM NoSuchTable", ""});
  }
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
