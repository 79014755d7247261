// The events the operator display's page posts, read from their JSON and checked before
// anything reaches a control: a request that is not one of these, or names a control the
// display does not show, is refused with a message that says why.
//
//   {"widget":"grid",      "control":N, "action":"click", "row":R, "col":C, "button":1|2}
//   {"widget":"grid",      "control":N, "action":"wheel", "notches":K}          (|K| <= 100)
//   {"widget":"grid",      "control":N, "action":"colwidth", "col":C, "width":W}  (pixels)
//   {"widget":"grid",      "control":N, "action":"fit", "col":C}   (the border double-clicked)
//   {"widget":"keyboard",  "control":N, "key":"Up"|"Down"|...|"Refresh"|"Menu"|"LastWindow"}
//   {"widget":"keyboard",  "control":N, "text":"typed characters"}
//   {"widget":"scrollbar", "control":N, "action":"up"|"down"|"pageup"|"pagedown"}
//   {"widget":"scrollbar", "control":N, "action":"drag", "positions":[16-bit values...]}
//   {"widget":"display",   "control":N, "action":"resize", "width":W, "height":H}  (pixels,
//                                              at most kMaxDisplayWidth x kMaxDisplayHeight)
//   {"widget":"dialog", "id":D, "button":ID | "choice":I | "cancel":true
//                              | "user":U, "password":P, "reason":R
//                              | "color":0xBBGGRR | "font":{"name","size",
//                                                   "bold","italic","underline","strikeout"}}
// With the design-time sheets shown (tabulo serve --design), on the control's sheet or the
// dialog it opened:
//   {"widget":"design", "control":N, "action":"page", "name":PAGE}
//   {"widget":"design", "control":N, "action":"fill", "name":W, "text":T}
//   {"widget":"design", "control":N, "action":"choose", "name":W, "index":I}
//   {"widget":"design", "control":N, "action":"check", "name":W, "value":0|1}
//   {"widget":"design", "control":N, "action":"press", "name":W}
//   {"widget":"design", "control":N, "action":"key", "name":KEY}     (to the focused widget)
//   {"widget":"design", "control":N, "action":"cell", "name":W, "row":R, "col":C}
//   {"widget":"design", "control":N, "action":"apply"|"close"|"save"}
// Reading the result (browse_session.h: go to, find, sort and filter):
//   {"widget":"view", "control":N, "action":"goto", "record":R}                (from 1)
//   {"widget":"view", "control":N, "action":"find", "text":T, "forward":true|false}
//                                                       (an empty text: the last one again)
//   {"widget":"view", "control":N, "action":"cancel"}                          (a running find)
//   {"widget":"view", "control":N, "action":"sort", "col":C}                   (a header's click)
//   {"widget":"view", "control":N, "action":"filter", "name":COLUMN, "op":OP, "text":VALUE}
//                    (OP: contains, =, <>, <, <=, >, >=, is null, is not null)
//   {"widget":"view", "control":N, "action":"reset"}
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "container/browse_session.h"
#include "container/design_desk.h"
#include "container/show.h"

namespace tabulo::container {

// A control is at most as large on the display as `tabulo show --size` draws one: 1000
// character columns of 120 twips and 1000 lines of 240 twips (the first of 315 with the
// frame), at 15 twips a pixel.
inline constexpr int64_t kMaxDisplayWidth = int64_t{kMaxShownWidth} / 15;  // 8000
inline constexpr int64_t kMaxDisplayHeight =
    (int64_t{kMaxShownRows - 1} * kRowTwips + 315) / 15;  // 16005

// What happened in one event, one small struct per kind (ServeEvent::Kind holds one).
namespace serve_event {

struct Click {  // a grid cell, by the grid's row and column
  int32_t row = 0, col = 0;
  bool right_button = false;
};
struct Wheel {
  int32_t notches = 0;
};
struct Key {
  BrowseKey key = BrowseKey::Enter;
};
struct Type {
  std::string text;
};
struct Scroll {
  ScrollPart part = ScrollPart::UpArrow;
};
struct Drag {
  std::vector<int16_t> positions;
};
struct Resize {  // pixels
  double width = 0, height = 0;
};
// A dialog's answer: a button's id, a menu choice (-1 none), or a signature; `cancel`
// closes a signature dialog unsigned.
struct Answer {
  uint64_t dialog = 0;
  int button = 0, choice = -1;
  bool cancel = false;
  std::string user, password, reason;
  std::optional<int32_t> color;
  std::optional<FontChoice> font;
};
// On the control's property sheet or the dialog it opened: the action, the widget it
// names (a page's name, or a key's), and the text filled in, the index or value chosen or
// the cell clicked.
struct Design {
  enum class Action { kPage, kFill, kChoose, kCheck, kPress, kKey, kCell, kApply, kClose, kSave };
  Action action = Action::kPage;
  std::string name, text;
  int32_t value = 0;
  int32_t row = 0, col = 0;
};
struct ColumnWidth {  // a column border dragged
  int32_t col = 0;
  double width = 0;  // pixels
};
struct FitColumn {  // a column border double-clicked
  int32_t col = 0;
};
// Reading the result: the record to go to, the find's text and direction, the sorted
// column, or the filter's column (`name`), operator and value (`text`).
struct View {
  enum class Action { kGoTo, kFind, kCancel, kSort, kFilter, kReset };
  Action action = Action::kGoTo;
  int64_t record = 0;
  std::string text;
  bool forward = true;
  int32_t col = 0;
  std::string name;
  FilterOp op = FilterOp::kContains;
};
}  // namespace serve_event

// One event: the control it addresses (none for a dialog's answer) and what happened.
struct ServeEvent {
  using Click = serve_event::Click;
  using Wheel = serve_event::Wheel;
  using Key = serve_event::Key;
  using Type = serve_event::Type;
  using Scroll = serve_event::Scroll;
  using Drag = serve_event::Drag;
  using Resize = serve_event::Resize;
  using Answer = serve_event::Answer;
  using Design = serve_event::Design;
  using ColumnWidth = serve_event::ColumnWidth;
  using FitColumn = serve_event::FitColumn;
  using View = serve_event::View;
  using Kind = std::variant<Click, Wheel, Key, Type, Scroll, Drag, Resize, Answer, Design,
                            ColumnWidth, FitColumn, View>;

  size_t control = 0;
  Kind what;
};

// Visits a ServeEvent's kind with one lambda per struct.
template <typename... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

// Raised for a request that is not an event of the display.
class BadEvent : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// `controls`: how many the display shows.
ServeEvent ParseServeEvent(std::string_view body, size_t controls);

}  // namespace tabulo::container
