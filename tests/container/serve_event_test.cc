// The operator display's events, run time and design time, and the chooser's answers: each
// body read into one summary line, and what is not an event refused with the reason.
#include "container/serve_event.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tabulo::container {
namespace {

template <typename E>
std::string N(E e) {
  return std::to_string(static_cast<int>(e));
}

// The kind's index, the control when not the first, and the kind's members (a design
// event's action and widget first, a dialog's choice always, optional ones when given).
std::string Summary(const ServeEvent& e) {
  std::ostringstream out;
  out << e.what.index();
  if (const auto* d = std::get_if<ServeEvent::Design>(&e.what))
    out << "/" << N(d->action) << " " << d->name;
  if (e.control != 0) out << " control=" << e.control;
  std::visit(
      Overloaded{
          [&](const ServeEvent::Click& c) {
            out << " cell=" << c.row << "," << c.col << (c.right_button ? " right" : "");
          },
          [&](const ServeEvent::Wheel& w) { out << " notches=" << w.notches; },
          [&](const ServeEvent::Key& k) { out << " key=" << N(k.key); },
          [&](const ServeEvent::Type& t) { out << " text=" << t.text; },
          [&](const ServeEvent::Scroll& s) { out << " part=" << N(s.part); },
          [&](const ServeEvent::Drag& d) {
            for (int16_t p : d.positions) out << " at=" << p;
          },
          [&](const ServeEvent::Resize& r) { out << " size=" << r.width << "x" << r.height; },
          [&](const ServeEvent::Answer& a) {
            out << " dialog=" << a.dialog << " choice=" << a.choice;
            if (a.button != 0) out << " button=" << a.button;
            if (a.cancel) out << " cancel";
            if (!a.user.empty()) out << " sign=" << a.user << "/" << a.password << "/" << a.reason;
            if (a.color) out << " color=" << *a.color;
            if (a.font)
              out << " font=" << a.font->name << ":" << a.font->points << ":" << a.font->bold
                  << a.font->italic << a.font->underline << a.font->strikeout;
          },
          [&](const ServeEvent::Design& d) {
            if (d.row != 0 || d.col != 0) out << " cell=" << d.row << "," << d.col;
            if (!d.text.empty()) out << " text=" << d.text;
            if (d.value != 0) out << " value=" << d.value;
          },
          [&](const auto&) { ADD_FAILURE() << "not a kind this table reads"; },
      },
      e.what);
  return out.str();
}

TEST(ServeEvent, ReadsEachWidgetsEvents) {
  using K = BrowseKey;
  using P = ScrollPart;
  const std::pair<const char*, std::string> rows[] = {
      {R"({"widget":"grid","control":1,"action":"click","row":5,"col":2,"button":2})",
       "0 control=1 cell=5,2 right"},
      {R"({"widget":"grid","control":0,"action":"click","row":1,"col":1,"button":1})",
       "0 cell=1,1"},
      {R"({"widget":"grid","control":0,"action":"wheel","notches":-3})", "1 notches=-3"},
      {R"({"widget":"keyboard","control":0,"key":"PageDown"})", "2 key=" + N(K::PageDown)},
      {R"({"widget":"keyboard","control":0,"key":"Refresh"})", "2 key=" + N(K::Refresh)},
      {R"({"widget":"keyboard","control":0,"text":"Zoë"})", "3 text=Zoë"},
      {R"({"widget":"scrollbar","control":0,"action":"pageup"})", "4 part=" + N(P::TroughAbove)},
      {R"({"widget":"scrollbar","control":0,"action":"down"})", "4 part=" + N(P::DownArrow)},
      {R"({"widget":"scrollbar","control":0,"action":"drag","positions":[0,-32768,32767]})",
       "5 at=0 at=-32768 at=32767"},
      {R"({"widget":"display","control":0,"action":"resize","width":800,"height":600})",
       "6 size=800x600"},
      // The largest control `show --size` draws (1000 x 1000 characters), and the smallest.
      {R"({"widget":"display","control":0,"action":"resize","width":8000,"height":16005})",
       "6 size=8000x16005"},
      {R"({"widget":"display","control":0,"action":"resize","width":1,"height":1})", "6 size=1x1"},
      {R"({"widget":"dialog","id":4,"button":7})", "7 dialog=4 choice=-1 button=7"},
      {R"({"widget":"dialog","id":1,"choice":-1})", "7 dialog=1 choice=-1"},
      {R"({"widget":"dialog","id":1,"cancel":true})", "7 dialog=1 choice=-1 cancel"},
      {R"({"widget":"dialog","id":2,"user":"ann","password":"pw","reason":"Correction"})",
       "7 dialog=2 choice=-1 sign=ann/pw/Correction"},
      {R"({"widget":"dialog","id":3,"color":16711680})", "7 dialog=3 choice=-1 color=16711680"},
      {R"({"widget":"dialog","id":3,"font":{"name":"Arial","size":9.5,"bold":true,"strikeout":true}})",
       "7 dialog=3 choice=-1 font=Arial:9.5:1001"},
      // Design time.
      {R"({"widget":"design","control":1,"action":"page","name":"ColumnProperties"})",
       "8/0 ColumnProperties control=1"},
      {R"({"widget":"design","control":0,"action":"fill","name":"txtSQL","text":"SELECT 1"})",
       "8/1 txtSQL text=SELECT 1"},
      {R"({"widget":"design","control":0,"action":"choose","name":"lstSelect","index":4})",
       "8/2 lstSelect value=4"},
      {R"({"widget":"design","control":0,"action":"check","name":"chkAllow","value":1})",
       "8/3 chkAllow value=1"},
      {R"({"widget":"design","control":0,"action":"press","name":"cmdOk"})", "8/4 cmdOk"},
      {R"({"widget":"design","control":0,"action":"key","name":"Enter"})", "8/5 Enter"},
      {R"({"widget":"design","control":0,"action":"cell","name":"Grid","row":2,"col":3})",
       "8/6 Grid cell=2,3"},
      {R"({"widget":"design","control":0,"action":"apply"})", "8/7 "},
      {R"({"widget":"design","control":0,"action":"close"})", "8/8 "},
      {R"({"widget":"design","control":0,"action":"save"})", "8/9 "},
  };
  for (const auto& [body, summary] : rows) {
    SCOPED_TRACE(body);
    EXPECT_EQ(Summary(ParseServeEvent(body, 2)), summary);
  }
}

TEST(ServeEvent, RefusesWhatIsNotAnEventWithTheReason) {
  const std::pair<const char*, const char*> rows[] = {
      {R"({"widget":"grid")", "bad JSON"},
      {R"({"widget":"grid","control":0,"action":"wheel","notches":1e400})", "bad JSON"},
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
       "the display's width must be a whole number of pixels from 1 to 8000"},
      {R"({"widget":"display","control":0,"action":"resize","width":8001,"height":5})",
       "the display's width must be a whole number of pixels from 1 to 8000"},
      {R"({"widget":"display","control":0,"action":"resize","width":5,"height":16006})",
       "the display's height must be a whole number of pixels from 1 to 16005"},
      {R"({"widget":"display","control":0,"action":"resize","width":5,"height":0})",
       "height must be"},
      {R"({"widget":"display","control":0,"action":"resize","width":20000,"height":20000})",
       "at most 8000 x 16005 pixels"},
      {R"({"widget":"display","control":0,"action":"resize","width":640.5,"height":400})",
       "width must be a whole number"},
      {R"({"widget":"display","control":0,"action":"resize","width":640})",
       "\"height\" is missing"},
      {R"({"widget":"display","control":0,"action":"close"})", "unknown display action \"close\""},
      {R"({"widget":"dialog","id":0,"button":1})", "\"id\" must be"},
      {R"({"widget":"dialog","id":1,"button":8})", "\"button\" must be an integer from 1 to 7"},
      {R"({"widget":"dialog","id":1,"user":"ann"})", "\"password\" is missing"},
      {"{\"widget\":\"keyboard\",\"control\":0,\"text\":\"\xff\"}", "bad JSON"},
      {R"({"widget":"dialog","id":1,"color":16777216})", "\"color\" must be an integer from 0"},
      {R"({"widget":"dialog","id":1,"font":"Arial"})", "\"font\" must be an object"},
      {R"({"widget":"dialog","id":1,"font":{"name":"A","size":0}})", "\"size\" must be a number"},
      {R"({"widget":"dialog","id":1,"font":{"size":9}})", "\"name\" is missing"},
      {R"({"widget":"dialog","id":1,"font":{"name":"A","size":9,"bold":1}})",
       "\"bold\" must be true or false"},
      // Design time.
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

// Reading the result: go to, find, sort, filter, reset.
TEST(ServeEvent, ReadsTheViewEventsAndRefusesMalformedOnes) {
  using V = ServeEvent::View::Action;
  const auto view = [](const char* body) {
    const ServeEvent e = ParseServeEvent(body, 1);
    EXPECT_TRUE(std::holds_alternative<ServeEvent::View>(e.what));
    return std::get<ServeEvent::View>(e.what);
  };
  ServeEvent::View e = view(R"({"widget":"view","control":0,"action":"goto","record":9000000000})");
  EXPECT_EQ(e.action, V::kGoTo);
  EXPECT_EQ(e.record, 9000000000);
  e = view(R"({"widget":"view","control":0,"action":"find","text":"O'B","forward":false})");
  EXPECT_EQ(e.action, V::kFind);
  EXPECT_EQ(e.text, "O'B");
  EXPECT_FALSE(e.forward);
  EXPECT_TRUE(view(R"({"widget":"view","control":0,"action":"find","text":""})").forward);
  e = view(R"({"widget":"view","control":0,"action":"sort","col":3})");
  EXPECT_EQ(e.action, V::kSort);
  EXPECT_EQ(e.col, 3);
  e = view(R"({"widget":"view","control":0,"action":"filter","name":"Qty","op":"<=","text":"5"})");
  EXPECT_EQ(e.op, FilterOp::kLessOrEqual);
  EXPECT_EQ(e.name + e.text, "Qty5");
  e = view(R"({"widget":"view","control":0,"action":"filter","name":"Note","op":"IS NULL"})");
  EXPECT_EQ(e.op, FilterOp::kIsNull);
  EXPECT_EQ(view(R"({"widget":"view","control":0,"action":"reset"})").action, V::kReset);
  EXPECT_EQ(view(R"({"widget":"view","control":0,"action":"cancel"})").action, V::kCancel);
  const std::pair<const char*, const char*> refused[] = {
      {R"({"widget":"view","control":0,"action":"zoom"})", "unknown view action \"zoom\""},
      {R"({"widget":"view","control":0,"action":"goto"})", "\"record\" is missing"},
      {R"({"widget":"view","control":0,"action":"find","text":"x","forward":1})",
       "\"forward\" must be true or false"},
      {R"({"widget":"view","control":0,"action":"filter","name":"Qty","op":"like","text":"1"})",
       "unknown filter operator \"like\""},
      {R"({"widget":"view","control":0,"action":"filter","name":"Qty","op":"="})",
       "\"text\" is missing"},
      {R"({"widget":"view","control":0,"action":"sort","col":-1})", "\"col\" must be"},
  };
  for (const auto& [body, reason] : refused) {
    SCOPED_TRACE(body);
    try {
      ParseServeEvent(body, 1);
      ADD_FAILURE() << "accepted";
    } catch (const BadEvent& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace tabulo::container
