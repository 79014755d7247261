// Text renderer: draws the widget models of a hosted control as plain text, so that a
// session can be followed on the terminal and compared line by line in tests. It only
// reads the models and returns a string.
//
// Picture:
//    #|Name      |Qty     |▲      one line per grid row in view (fixed rows, then TopRow on)
//   --+----------+--------+░      a rule under the fixed rows
//    1|Möchten   |      42|█      the thumb at Value within Min..Max
//    2|[Réf._]   |    *7* |▼      an open editor over its cell; a changed cell in *...*
//   Browsing: t@db |Connected     the status-bar panels
//
// - Columns in view (fixed ones, then LeftCol on, as ColIsVisible says; LeftCol at least
//   when the fixed ones fill the grid) are ColWidth / 120 characters wide (at least 1);
//   zero-width columns and zero-height rows are left out. Each cell is closed by "|".
// - With the scene's width given, the lines fill it (Width / 120 characters, the scroll
//   bar's one included). Room to spare is shared by the scrollable columns (by the fixed
//   ones when there are none), a character at a time to each in turn, whatever texts the
//   rows in view hold, so that columns keep their widths while rows scroll. Lines too
//   long narrow the fixed columns to their texts as far as the first scrollable column
//   needs, then end with a column cut at the edge. Without a width (or for the whole grid)
//   columns keep their own widths.
// - Alignment: CellAlignment 0..2 left, 3..5 centre (spare blank on the right), 6..8 right,
//   9 general (numbers right, other texts left).
// - A changed cell (one the scene names in `changed`) shows its text as "*text*".
// - Texts wider than their slot are cut and end with "…", except numbers, which fill the
//   slot with "#" rather than read as another number; control characters print as blanks.
//   Widths are display widths (text_cells.h).
// - The scroll bar is one character right of the grid lines: "▲" on the first line, "▼" on
//   the last, "░" for the track and "█" for the thumb; a disabled bar has no thumb.
// - Status panels are Width / 120 characters each (at least 1), separated by "|".
// - The editor (control coordinates, like the grid's own left/top) is drawn as
//   "[text]" in the slot of the cell its top left corner lies in, its caret as "_" where it
//   stands when no text is selected ("[te_xt]", "[text_]"); without caret_mark, or while text
//   is selected, the text alone. A longer text widens it over the next cells of the line,
//   whole ones, as far as it needs (to the line's end at most).
// - With ansi on, a changed cell's slot is drawn with a red background.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/widgets/flex_grid.h"

namespace tabulo::view {

// What the renderer needs of the 16-bit scroll bar.
struct ScrollBarState {
  int32_t min = 0;
  int32_t max = 0;
  int32_t value = 0;
  bool visible = true;
  bool enabled = true;
};

struct StatusPanelState {
  std::string text;
  double width = 0;  // twips
};

struct StatusBarState {
  std::vector<StatusPanelState> panels;
  bool visible = true;
};

// The in-place editor (a text box), in the control's coordinates (twips).
struct EditorState {
  double left = 0, top = 0, width = 0, height = 0;
  std::string text;
  bool visible = true;
  // The selection in code points; the caret is at sel_start when sel_length is 0.
  int32_t sel_start = 0, sel_length = 0;
};

// Grid cells by (row, col).
using CellSet = std::set<std::pair<int32_t, int32_t>>;

struct Scene {
  const platform::FlexGrid* grid = nullptr;  // required
  CellSet changed;                           // the cells an edit changed that are not yet written
  double width = 0;  // twips of the whole control, scroll bar included; 0: no limit
  std::optional<ScrollBarState> scroll_bar;
  std::optional<StatusBarState> status_bar;
  std::optional<EditorState> editor;
};

struct RenderOptions {
  bool ansi = false;
  // Every row and column, whatever the grid's size and scroll position.
  bool whole_grid = false;
  // The editor's caret drawn as "_"; off for a display that shows the caret itself.
  bool caret_mark = true;
};

inline constexpr double kTwipsPerChar = 120;

// Lines end with "\n". A scene without a grid raises ComError 5.
std::string RenderText(const Scene& scene, const RenderOptions& options = {});

// The grid columns RenderText draws at their full width (fitted to the scene's width), in
// screen order: not those the right edge cuts short or leaves out. Raises as RenderText.
std::vector<int32_t> ColumnsDrawnWhole(const Scene& scene);

}  // namespace tabulo::view
