// The browser's scene of a form: one contract table of what each kind of widget shows.
#include "view/form_scene.h"

#include <gtest/gtest.h>

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
  const json expected[] = {
      {{"name", "lblName"}, {"kind", "label"}, {"caption", "Name:"}},
      {{"name", "txtPassword"}, {"kind", "text"}, {"text", "***"}, {"locked", true}},
      {{"name", "cboOperators"},
       {"kind", "dropdown"},
       {"text", "<"},
       {"entries", {"=", "<"}},
       {"selected", 1}},
      {{"name", "lstColumns"}, {"kind", "list"}, {"entries", {"Id", "Qty"}}, {"selected", -1}},
      {{"name", "chkAllow"}, {"kind", "check"}, {"caption", "Allow"}, {"value", 1}},
      {{"name", "cmdOk"}, {"kind", "button"}, {"caption", "OK"}},
      {{"name", "Grid"},
       {"kind", "grid"},
       {"cells", json::array({json::array({"Name", ""}), json::array({"", "True"})})},
       {"fixedRows", 1},
       {"fixedCols", 0},
       {"row", 1},
       {"col", 1}},
  };
  ASSERT_EQ(scene["widgets"].size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i]["name"].get<std::string>());
    json want = expected[i];
    want["enabled"] = want["name"] != "cmdOk";
    want["focus"] = want["name"] == "lstColumns";
    EXPECT_EQ(scene["widgets"][i], want);
  }
}

}  // namespace
}  // namespace tabulo::view
