// The terminal's laid-out form: twips scaled to cells, a label on the row of the box it names,
// access keys underlined and the focus reversed in ANSI mode.
#include <gtest/gtest.h>

#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"
#include "view/form_renderer.h"

namespace tabulo::view {
namespace {

using namespace platform;

struct LaidOutForm : Form {
  LaidOutForm() {
    set_caption("Sample");
    for (Widget* w : std::initializer_list<Widget*>{&frame, &allow, &name, &text, &ok, &list})
      AddWidget(*w);
    frame.set_caption("&Data");
    frame.Move(120, 60, 3000, 1200);
    allow.set_caption("&Allow");
    allow.Move(240, 330, 2400, 285);
    name.set_caption("Name");
    name.Move(240, 850, 900, 240);  // its middle is a row below the box's: drawn beside it
    text.Move(1200, 800, 1500, 285);
    text.set_text("abc");
    ok.set_caption("&OK");
    ok.Move(3300, 300, 1000, 375);
    for (const char* entry : {"Id", "Qty", "Note"}) list.AddItem(entry);
    list.set_list_index(1);
    list.Move(3300, 1200, 1000, 480);  // two rows: the third entry is not seen
    text.SetFocus();
  }
  VirtualClock clock;
  EventLoop loop{clock};
  Frame frame{"fraData"};
  CheckBox allow{"chkAllow"};
  Label name{"lblName"};
  TextBox text{"txtName"};
  CommandButton ok{"cmdOk", loop};
  ListBox list{"lstColumns"};
};

TEST(FormLayout, WidgetsStandAtTheirTwipsScaledToCells) {
  LaidOutForm form;
  EXPECT_EQ(RenderFormLayout(form, false),
            "== Sample ==\n"
            " +- Data ---------------------+\n"
            " |[ ] Allow                   |\n"
            " |                            |  [   OK   ]\n"
            " |Name      [abc          ]   |\n"
            " +----------------------------+\n"
            "                                 | Id     |\n"
            "                                 |>Qty    |\n");
  const std::pair<double, int32_t> columns[] = {{0, 0}, {49, 0}, {50, 1}, {120, 1}, {6780, 68}};
  for (auto [twips, cell] : columns) EXPECT_EQ(CellColumn(twips), cell) << twips;
  const std::pair<double, int32_t> rows[] = {{119, 0}, {120, 1}, {240, 1}, {359, 1}, {360, 2}};
  for (auto [twips, cell] : rows) EXPECT_EQ(CellRow(twips), cell) << twips;
}

TEST(FormLayout, AnsiUnderlinesAccessKeysAndReversesTheFocus) {
  LaidOutForm form;
  const std::string out = RenderFormLayout(form, true);
  EXPECT_NE(out.find("[ ] \x1b[0;4mA\x1b[0mllow"), std::string::npos) << out;
  EXPECT_NE(out.find("[   \x1b[0;4mO\x1b[0mK   ]"), std::string::npos) << out;
  EXPECT_NE(out.find(" \x1b[0;4mD\x1b[0mata "), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[0;7m[abc          ]\x1b[0m"), std::string::npos) << out;
  EXPECT_EQ(out.find('&'), std::string::npos) << out;
}

TEST(FormLayout, ATallLabelTakesTheBlankRowsBelowThenAboveForItsWholeText) {
  struct HelpForm : Form {
    HelpForm() {
      set_caption("Help");
      AddWidget(help);
      AddWidget(box);
      help.set_caption("aaaa bbbb cccc dddd eeee ffff gggg");  // four rows of ten cells
      help.Move(100, 240, 1000, 480);                          // rows 1 and 2
      box.Move(100, 960, 1000, 240);                           // row 4
      box.set_text("x");
    }
    Label help{"lblHelp"};
    TextBox box{"txtBox"};
  } form;
  EXPECT_EQ(RenderFormLayout(form, false),
            "== Help ==\n"
            " aaaa bbbb\n"
            " cccc dddd\n"
            " eeee ffff\n"
            " gggg\n"
            " [x       ]\n");
}

}  // namespace
}  // namespace tabulo::view
