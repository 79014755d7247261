// The vertical scroll bar: scripts of program and user operations and the Change and Scroll
// events they raise.
#include "platform/widgets/vscroll_bar.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/error_of.h"
#include "platform/values/com_error.h"
#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

// Runs `script` on a bar with Max 100, SmallChange 1 and LargeChange 10. Operations, separated
// by ";": "set v", "min v", "max v", "small v", "large v", "disable", "up", "down" (arrows),
// "above", "below" (trough), "drag p p ...", and "value", which logs "=<value>". The result
// is the log: "change:<v>", "scroll:<v>" and "error<n>" for an operation that raised.
std::string RunScript(std::string_view script) {
  VScrollBar bar("vsbRows");
  std::string log;
  bar.on_change = [&] { log += " change:" + std::to_string(bar.value()); };
  bar.on_scroll = [&] { log += " scroll:" + std::to_string(bar.value()); };
  bar.set_max(100);
  bar.set_small_change(1);
  bar.set_large_change(10);
  std::istringstream ops{std::string(script)};
  for (std::string op; std::getline(ops, op, ';');) {
    std::istringstream words(op);
    std::string verb;
    std::vector<int16_t> n;
    words >> verb;
    for (int v; words >> v;) n.push_back(static_cast<int16_t>(v));
    const int32_t error = ErrorOf([&] {
      if (verb == "set") bar.set_value(n.at(0));
      if (verb == "min") bar.set_min(n.at(0));
      if (verb == "max") bar.set_max(n.at(0));
      if (verb == "small") bar.set_small_change(n.at(0));
      if (verb == "large") bar.set_large_change(n.at(0));
      if (verb == "disable") bar.set_enabled(false);
      if (verb == "up") bar.ClickUpArrow();
      if (verb == "down") bar.ClickDownArrow();
      if (verb == "above") bar.ClickTroughAbove();
      if (verb == "below") bar.ClickTroughBelow();
      if (verb == "drag") bar.DragThumb(n);
      if (verb == "value") log += " =" + std::to_string(bar.value());
    });
    if (error != 0) log += " error" + std::to_string(error);
  }
  return log.empty() ? log : log.substr(1);
}

TEST(VScrollBar, ScriptsRaiseChangeAndScrollAsTheValueMoves) {
  const std::pair<const char*, const char*> rows[] = {
      // Program changes raise Change only when the value moves.
      {"set 42; set 42; set 0", "change:42 change:0"},
      // A value outside the range raises 380 and keeps the value; so do changes below one.
      {"set 5; set -1; set 101; value", "change:5 error380 error380 =5"},
      {"small 0; large -5; down; below", "error380 error380 change:1 change:11"},
      // Arrows move by SmallChange, the trough by LargeChange, both stopping at the ends.
      {"small 3; down; up; up; set 98; down; down", "change:3 change:0 change:98 change:100"},
      {"set 15; above; above; above; set 95; below; below",
       "change:15 change:5 change:0 change:95 change:100"},
      // A drag raises Scroll for each new position (a repeat does not move the thumb, 150 is
      // held at Max), then one Change unless it ends where it began.
      {"drag 10 20 20 150 30; drag 40 30; drag",
       "scroll:10 scroll:20 scroll:100 change:30 scroll:40"},
      // A disabled bar ignores the user but not the program.
      {"disable; down; below; drag 50; value; set 7", "=0 change:7"},
      // Narrowing the range moves the value inside; Min above Max is allowed.
      {"set 80; max 50; min 60; value; min 40; max 45", "change:80 change:50 =50 change:45"},
      // A reversed range keeps Min at the top: down goes toward Max, the smaller number.
      {"min 100; max 0; set 50; down; above; set 95; above",
       "change:100 change:50 change:49 change:59 change:95 change:100"},
      // The full sixteen-bit range does not overflow.
      {"min -32768; max 32767; large 32767; set 32000; below; set -32000; above",
       "change:32000 change:32767 change:-32000 change:-32768"}};
  for (auto [script, log] : rows) EXPECT_EQ(RunScript(script), log) << script;
}

}  // namespace
}  // namespace tabulo::platform
