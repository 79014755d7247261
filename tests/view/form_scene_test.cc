// The browser's scene of a form: one contract table of what each kind of widget shows.
#include "view/form_scene.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"

namespace tabulo::view {
namespace {

using nlohmann::json;
using namespace platform;

class SampleForm : public Form {
 public:
  SampleForm() {
    set_caption("Sample");
    for (Widget* w : std::initializer_list<Widget*>{&label, &secret, &hidden, &combo, &list, &check,
                                                    &ok, &grid})
      AddWidget(*w);
    label.set_caption("Name:");
    secret.set_text("pwd");
    secret.set_password_char("*");
    secret.set_locked(true);
    hidden.set_visible(false);
    for (const char* entry : {"=", "<"}) combo.AddItem(entry);
    combo.set_list_index(1);
    for (const char* entry : {"Id", "Qty"}) list.AddItem(entry);
    check.set_caption("Allow");
    check.set_value(1);
    ok.set_caption("OK");
    ok.set_enabled(false);
    grid.SetRows(2);
    grid.SetCols(2);
    grid.SetFixedCols(0);
    grid.SetTextMatrix(0, 0, "Name");
    grid.SetTextMatrix(1, 1, "True");
    grid.SetColWidth(1, 1500);
    list.SetFocus();
  }
  VirtualClock clock;
  EventLoop loop{clock};
  Label label{"lblName"};
  TextBox secret{"txtPassword"}, hidden{"txtHidden"};
  ComboBox combo{"cboOperators", kComboDropDownList};
  ListBox list{"lstColumns"};
  CheckBox check{"chkAllow"};
  CommandButton ok{"cmdOk", loop};
  FlexGrid grid{"Grid"};
};

TEST(FormScene, ShowsEachVisibleWidgetAsTheOperatorSeesIt) {
  SampleForm form;
  const json scene = FormSceneOf(form);
  EXPECT_EQ(scene["caption"], "Sample");
  // clang-format off
  const json expected[] = {
      {{"name", "lblName"}, {"kind", "label"}, {"caption", "Name:"}},
      {{"name", "txtPassword"}, {"kind", "text"}, {"text", "***"}, {"locked", true},
       {"multiLine", false}, {"label", "Name:"}},
      {{"name", "cboOperators"}, {"kind", "dropdown"}, {"text", "<"}, {"entries", {"=", "<"}},
       {"selected", 1}},
      {{"name", "lstColumns"}, {"kind", "list"}, {"entries", {"Id", "Qty"}}, {"selected", -1}},
      {{"name", "chkAllow"}, {"kind", "check"}, {"caption", "Allow"}, {"value", 1}},
      {{"name", "cmdOk"}, {"kind", "button"}, {"caption", "OK"}},
      {{"name", "Grid"}, {"kind", "grid"},
       {"cells", json::array({json::array({"Name", ""}), json::array({"", "True"})})},
       {"colWidths", {960, 1500}}, {"fixedRows", 1}, {"fixedCols", 0}, {"row", 1}, {"col", 1}}};
  // clang-format on
  ASSERT_EQ(scene["widgets"].size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i]["name"].get<std::string>());
    json want = expected[i];
    want["enabled"] = want["name"] != "cmdOk";
    want["focus"] = want["name"] == "lstColumns";
    for (const char* key : {"x", "y", "w", "h"}) want[key] = 0.0;
    EXPECT_EQ(scene["widgets"][i], want);
  }
  EXPECT_EQ(scene["w"], 0.0);
}

TEST(FormScene, AccessKeysAreTheLetterAfterASingleAmpersand) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"Allow database &updates", "u"}, {"Font C&olor", "o"}, {"&OK", "o"}, {"&1st", "1"},
      {"Salt && Pepper", ""}, {"&&&Both", "b"}, {"Trailing&", ""}, {"& blank", ""}, {"", ""}};
  // clang-format on
  for (const auto& [caption, key] : cases) EXPECT_EQ(AccessKeyOf(caption), key) << caption;
}

// Placed widgets take the caption of the label just left of them or just above their left
// edge; one that has a caption keeps its own, and a label too far off names nothing.
TEST(FormScene, PlacedWidgetsTakeTheNearestLabelsCaptionAndItsAccessKey) {
  VirtualClock clock;
  EventLoop loop{clock};
  struct PlacedForm : Form {
    explicit PlacedForm(EventLoop& loop) : font("btnFont", loop), ok("cmdOk", loop) {
      for (Widget* w : std::initializer_list<Widget*>{&above, &list, &left, &text, &font_label,
                                                      &font, &far, &far_text, &ok})
        AddWidget(*w);
      above.set_caption("&Tables:");
      above.Move(120, 1080, 2055, 240);
      list.Move(120, 1320, 2055, 2000);  // directly below
      left.set_caption("Event &Type");
      left.Move(2400, 1380, 1500, 240);
      text.Move(3960, 1350, 1800, 285);  // 60 twips right of the label's end
      font_label.set_caption("Font C&olor");
      font_label.Move(2400, 2000, 1500, 240);
      font.set_caption("...");
      font.Move(4000, 1970, 480, 285);
      far.set_caption("Far");
      far.Move(2400, 3000, 600, 240);
      far_text.Move(2400, 3721, 1000, 285);  // 481 twips below the label: too far
      ok.set_caption("&OK");
      ok.Move(4000, 3000, 1000, 375);   // right of "Far" but has its own caption
      ops.Move(2700, 3000, 1200, 315);  // no label: the button 100 twips right names it
      AddWidget(ops);
    }
    Label above{"lblTables"}, left{"lblEventType"}, font_label{"lblForeColor"}, far{"lblFar"};
    ListBox list{"lstTable"};
    ComboBox ops{"cboOperators", kComboDropDownList};
    TextBox text{"txtEventType"}, far_text{"txtFar"};
    CommandButton font, ok;
  } form(loop);
  const json scene = FormSceneOf(form);
  std::map<std::string, json> by_name;
  for (const json& w : scene["widgets"]) by_name[w["name"]] = w;
  auto label = [&](const char* name) { return by_name[name].value("label", "-"); };
  auto access = [&](const char* name) { return by_name[name].value("access", "-"); };
  EXPECT_EQ(label("lstTable") + "|" + access("lstTable"), "&Tables:|t");
  EXPECT_EQ(label("txtEventType") + "|" + access("txtEventType"), "Event &Type|t");
  EXPECT_EQ(label("btnFont") + "|" + access("btnFont"), "Font C&olor|o");
  EXPECT_EQ(label("txtFar"), "-");
  EXPECT_EQ(label("cmdOk") + "|" + access("cmdOk"), "-|o");
  EXPECT_EQ(label("cboOperators") + "|" + access("cboOperators"), "&OK|-");
  EXPECT_EQ(label("lblTables") + "|" + access("lblTables"), "-|-");
  EXPECT_EQ(by_name["lstTable"]["y"], 1320.0);
  EXPECT_EQ(scene["w"], 5880.0);  // the event type's box ends at 5760
  EXPECT_EQ(scene["h"], 4126.0);  // the far text box ends at 4006
}

}  // namespace
}  // namespace tabulo::view
