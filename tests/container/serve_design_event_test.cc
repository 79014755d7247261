// The design-time events of the operator display and the colour and font answers.
#include <gtest/gtest.h>

#include "container/serve_event.h"

namespace tabulo::container {
namespace {

// What an event carries, in one line.
std::string Summary(const ServeEvent& e) {
  std::string out = std::to_string(static_cast<int>(e.kind)) + "/" +
                    std::to_string(static_cast<int>(e.design)) + " " + e.name + " '" + e.text +
                    "' " + std::to_string(e.value) + " " + std::to_string(e.row) + "," +
                    std::to_string(e.col);
  if (e.color) out += " color=" + std::to_string(*e.color);
  if (e.font)
    out += " font=" + e.font->name + ":" + std::to_string(e.font->points) + ":" +
           std::to_string(e.font->bold) + std::to_string(e.font->italic) +
           std::to_string(e.font->underline) + std::to_string(e.font->strikeout);
  return out;
}

TEST(ServeDesignEvent, ReadsTheSheetsEventsAndTheChoosersAnswers) {
  const std::pair<const char*, const char*> rows[] = {
      {R"({"widget":"design","control":1,"action":"page","name":"ColumnProperties"})",
       "8/0 ColumnProperties '' 0 0,0"},
      {R"({"widget":"design","control":0,"action":"fill","name":"txtSQL","text":"SELECT 1"})",
       "8/1 txtSQL 'SELECT 1' 0 0,0"},
      {R"({"widget":"design","control":0,"action":"choose","name":"lstSelect","index":4})",
       "8/2 lstSelect '' 4 0,0"},
      {R"({"widget":"design","control":0,"action":"check","name":"chkAllow","value":1})",
       "8/3 chkAllow '' 1 0,0"},
      {R"({"widget":"design","control":0,"action":"press","name":"cmdOk"})", "8/4 cmdOk '' 0 0,0"},
      {R"({"widget":"design","control":0,"action":"key","name":"Enter"})", "8/5 Enter '' 0 0,0"},
      {R"({"widget":"design","control":0,"action":"cell","name":"Grid","row":2,"col":3})",
       "8/6 Grid '' 0 2,3"},
      {R"({"widget":"design","control":0,"action":"apply"})", "8/7  '' 0 0,0"},
      {R"({"widget":"design","control":0,"action":"close"})", "8/8  '' 0 0,0"},
      {R"({"widget":"design","control":0,"action":"save"})", "8/9  '' 0 0,0"},
      {R"({"widget":"dialog","id":3,"color":16711680})", "7/0  '' 0 0,0 color=16711680"},
      {R"({"widget":"dialog","id":3,"font":{"name":"Arial","size":9.5,"bold":true,"strikeout":true}})",
       "7/0  '' 0 0,0 font=Arial:9.500000:1001"},
  };
  for (const auto& [body, expected] : rows) {
    SCOPED_TRACE(body);
    EXPECT_EQ(Summary(ParseServeEvent(body, 2)), expected);
  }
}

TEST(ServeDesignEvent, RefusesWhatIsNotOne) {
  const std::pair<const char*, const char*> rows[] = {
      {R"({"widget":"design","control":0,"action":"drop"})", "unknown design action \"drop\""},
      {R"({"widget":"design","control":0,"action":"press"})", "\"name\" is missing"},
      {R"({"widget":"design","control":0,"action":"fill","name":"t"})", "\"text\" is missing"},
      {R"({"widget":"design","control":0,"action":"choose","name":"l","index":-1})",
       "\"index\" must be an integer from 0"},
      {R"({"widget":"design","control":0,"action":"check","name":"c","value":2})",
       "\"value\" must be an integer from 0 to 1"},
      {R"({"widget":"design","control":0,"action":"cell","name":"g","row":1})",
       "\"col\" is missing"},
      {R"({"widget":"design","control":2,"action":"apply"})", "\"control\" must be"},
      {R"({"widget":"dialog","id":1,"color":16777216})", "\"color\" must be an integer from 0"},
      {R"({"widget":"dialog","id":1,"font":"Arial"})", "\"font\" must be an object"},
      {R"({"widget":"dialog","id":1,"font":{"name":"A","size":0}})", "\"size\" must be a number"},
      {R"({"widget":"dialog","id":1,"font":{"size":9}})", "\"name\" is missing"},
      {R"({"widget":"dialog","id":1,"font":{"name":"A","size":9,"bold":1}})",
       "\"bold\" must be true or false"},
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
}

}  // namespace
}  // namespace tabulo::container
