// tabulo serve --design: the sheet beside the control answers the designer's events through
// the display's one user-interface thread, the colour picker is asked in the page, and the
// control file is saved.
#include "serve_fixture.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

class ServeDesignTest : public testing::ServeFixture {
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
