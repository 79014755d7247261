#include "container/serve_event.h"

#include <gtest/gtest.h>

namespace tabulo::container {
namespace {

using Kind = ServeEvent::Kind;

TEST(ServeEvent, ReadsEachWidgetsEvents) {
  struct Row {
    const char* body;
    Kind kind;
    std::function<void(const ServeEvent&)> check;
  } rows[] = {
      {R"({"widget":"grid","control":1,"action":"click","row":5,"col":2,"button":2})", Kind::kClick,
       [](const ServeEvent& e) {
         EXPECT_EQ(e.control, 1u);
         EXPECT_EQ(e.row, 5);
         EXPECT_EQ(e.col, 2);
         EXPECT_TRUE(e.right_button);
       }},
      {R"({"widget":"grid","control":0,"action":"click","row":1,"col":1,"button":1})", Kind::kClick,
       [](const ServeEvent& e) { EXPECT_FALSE(e.right_button); }},
      {R"({"widget":"grid","control":0,"action":"wheel","notches":-3})", Kind::kWheel,
       [](const ServeEvent& e) { EXPECT_EQ(e.notches, -3); }},
      {R"({"widget":"keyboard","control":0,"key":"PageDown"})", Kind::kKey,
       [](const ServeEvent& e) { EXPECT_EQ(e.key, BrowseKey::PageDown); }},
      {R"({"widget":"keyboard","control":0,"key":"Refresh"})", Kind::kKey,
       [](const ServeEvent& e) { EXPECT_EQ(e.key, BrowseKey::Refresh); }},
      {R"({"widget":"keyboard","control":0,"text":"Zoë"})", Kind::kType,
       [](const ServeEvent& e) { EXPECT_EQ(e.text, "Zoë"); }},
      {R"({"widget":"scrollbar","control":0,"action":"pageup"})", Kind::kScroll,
       [](const ServeEvent& e) { EXPECT_EQ(e.part, ScrollPart::TroughAbove); }},
      {R"({"widget":"scrollbar","control":0,"action":"down"})", Kind::kScroll,
       [](const ServeEvent& e) { EXPECT_EQ(e.part, ScrollPart::DownArrow); }},
      {R"({"widget":"scrollbar","control":0,"action":"drag","positions":[0,-32768,32767]})",
       Kind::kDrag,
       [](const ServeEvent& e) {
         EXPECT_EQ(e.positions, (std::vector<int16_t>{0, -32768, 32767}));
       }},
      {R"({"widget":"display","control":0,"action":"resize","width":800,"height":600})",
       Kind::kResize,
       [](const ServeEvent& e) {
         EXPECT_EQ(e.width, 800);
         EXPECT_EQ(e.height, 600);
       }},
      {R"({"widget":"dialog","id":4,"button":7})", Kind::kAnswer,
       [](const ServeEvent& e) {
         EXPECT_EQ(e.dialog, 4u);
         EXPECT_EQ(e.button, 7);
       }},
      {R"({"widget":"dialog","id":1,"choice":-1})", Kind::kAnswer,
       [](const ServeEvent& e) { EXPECT_EQ(e.choice, -1); }},
      {R"({"widget":"dialog","id":1,"cancel":true})", Kind::kAnswer,
       [](const ServeEvent& e) { EXPECT_TRUE(e.cancel); }},
      {R"({"widget":"dialog","id":2,"user":"ann","password":"pw","reason":"Correction"})",
       Kind::kAnswer,
       [](const ServeEvent& e) {
         EXPECT_EQ(e.user + "/" + e.password + "/" + e.reason, "ann/pw/Correction");
         EXPECT_FALSE(e.cancel);
       }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.body);
    const ServeEvent e = ParseServeEvent(r.body, 2);
    EXPECT_EQ(e.kind, r.kind);
    r.check(e);
  }
}

TEST(ServeEvent, RefusesWhatIsNotAnEventWithTheReason) {
  const std::pair<const char*, const char*> rows[] = {
      {R"({"widget":"grid")", "bad JSON"},
      {"\"grid\"", "an event is a JSON object"},
      {R"({"control":0})", "\"widget\" is missing"},
      {R"({"widget":7})", "\"widget\" must be a string"},
      {R"({"widget":"slider","control":0})", "unknown widget \"slider\""},
      {R"({"widget":"grid","control":2,"action":"wheel","notches":1})",
       "\"control\" must be an integer from 0 to 1"},
      {R"({"widget":"grid","control":-1,"action":"wheel","notches":1})", "\"control\" must be"},
      {R"({"widget":"grid","control":"0","action":"wheel","notches":1})", "\"control\" must be"},
      {R"({"widget":"grid","control":0,"action":"wheel","notches":101})",
       "\"notches\" must be an integer from -100 to 100"},
      {R"({"widget":"grid","control":0,"action":"drop"})", "unknown grid action \"drop\""},
      {R"({"widget":"grid","control":0,"action":"click","row":1,"col":1,"button":3})",
       "\"button\" must be an integer from 1 to 2"},
      {R"({"widget":"grid","control":0,"action":"click","row":1,"button":1})",
       "\"col\" is missing"},
      {R"({"widget":"keyboard","control":0,"key":"F13"})", "unknown key \"F13\""},
      {R"({"widget":"scrollbar","control":0,"action":"left"})",
       "unknown scroll bar action \"left\""},
      {R"({"widget":"scrollbar","control":0,"action":"drag","positions":[]})",
       "\"positions\" must list 1 to 1000 positions"},
      {R"({"widget":"scrollbar","control":0,"action":"drag","positions":[32768]})",
       "a drag position must be an integer from -32768 to 32767"},
      {R"({"widget":"display","control":0,"action":"resize","width":0,"height":5})",
       "\"width\" must be an integer from 1 to 20000"},
      {R"({"widget":"display","control":0,"action":"close"})", "unknown display action \"close\""},
      {R"({"widget":"dialog","id":0,"button":1})", "\"id\" must be"},
      {R"({"widget":"dialog","id":1,"button":8})", "\"button\" must be an integer from 1 to 7"},
      {R"({"widget":"dialog","id":1,"user":"ann"})", "\"password\" is missing"},
      {"{\"widget\":\"keyboard\",\"control\":0,\"text\":\"\xff\"}", "bad JSON"},
  };
  for (const auto& [body, message] : rows) {
    SCOPED_TRACE(body);
    try {
      ParseServeEvent(body, 2);
      ADD_FAILURE() << "accepted";
    } catch (const BadEvent& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ParseServeEvent(R"({"widget":"grid","control":0})", 0), BadEvent);
}

}  // namespace
}  // namespace tabulo::container
