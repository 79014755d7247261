// Text renderer: the grid, its scroll bar, the status bar and the editor as plain text.
#include "view/text_renderer.h"

#include <algorithm>
#include <cmath>

#include "platform/values/com_error.h"
#include "view/text_cells.h"

namespace tabulo::view {
namespace {

using platform::FlexGrid;

constexpr std::string_view kAnsiRed = "\x1b[41m";
constexpr std::string_view kAnsiReset = "\x1b[0m";

// Slots wider than this are drawn at this width: a terminal shows no more anyway.
constexpr int64_t kMaxSlotChars = 1000;

int64_t Chars(double twips) {
  double chars = std::floor(twips / kTwipsPerChar);
  if (!(chars >= 1)) return 1;  // also NaN
  return chars > kMaxSlotChars ? kMaxSlotChars : static_cast<int64_t>(chars);
}

HAlign AlignOf(int16_t alignment, std::string_view text) {
  if (alignment >= platform::kAlignLeftTop && alignment <= platform::kAlignLeftBottom) {
    return HAlign::kLeft;
  }
  if (alignment >= platform::kAlignCenterTop && alignment <= platform::kAlignCenterBottom) {
    return HAlign::kCenter;
  }
  if (alignment >= platform::kAlignRightTop && alignment <= platform::kAlignRightBottom) {
    return HAlign::kRight;
  }
  return LooksNumeric(text) ? HAlign::kRight : HAlign::kLeft;
}

// The rows and columns drawn, in screen order.
struct Layout {
  std::vector<int32_t> rows;
  std::vector<int32_t> cols;
};

Layout Arrange(const FlexGrid& g, bool whole) {
  Layout l;
  auto take_row = [&](int32_t r) {
    if (g.RowHeight(r) > 0) l.rows.push_back(r);
  };
  auto take_col = [&](int32_t c) {
    if (g.ColWidth(c) > 0) l.cols.push_back(c);
  };
  if (whole) {
    for (int32_t r = 0; r < g.Rows(); ++r) take_row(r);
    for (int32_t c = 0; c < g.Cols(); ++c) take_col(c);
    return l;
  }
  for (int32_t r = 0; r < g.FixedRows(); ++r) {
    if (g.RowIsVisible(r)) take_row(r);
  }
  for (int32_t r = g.TopRow(); r >= g.FixedRows() && r < g.Rows() && g.RowIsVisible(r); ++r) {
    take_row(r);
  }
  for (int32_t c = 0; c < g.FixedCols(); ++c) {
    if (g.ColIsVisible(c)) take_col(c);
  }
  size_t fixed = l.cols.size();
  for (int32_t c = g.LeftCol(); c >= g.FixedCols() && c < g.Cols() && g.ColIsVisible(c); ++c) {
    take_col(c);
  }
  // Fixed columns as wide as the grid still leave the first scrollable one in view, cut.
  if (l.cols.size() == fixed && g.LeftCol() >= g.FixedCols() && g.LeftCol() < g.Cols())
    take_col(g.LeftCol());
  return l;
}

// A cell's text as shown, before it is fitted to its slot.
std::string ShownText(const FlexGrid& g, const CellSet& changed, int32_t r, int32_t c) {
  std::string text = OneLine(g.TextMatrix(r, c));
  return changed.count({r, c}) ? "*" + text + "*" : text;
}

// The characters of each column of the layout within `limit` characters per line (borders
// included); columns that find no room are dropped from the layout. `cut`, when given, tells
// for each column kept whether the right edge cuts it short of its own width.
std::vector<int64_t> ColumnWidths(const FlexGrid& g, const CellSet& changed, Layout& l,
                                  int64_t limit, std::vector<bool>* cut = nullptr) {
  if (cut) cut->assign(l.cols.size(), false);
  std::vector<int64_t> width, text;
  for (int32_t c : l.cols) {
    width.push_back(Chars(g.ColWidth(c)));
    int64_t widest = 0;
    for (int32_t r : l.rows) widest = std::max(widest, DisplayWidth(ShownText(g, changed, r, c)));
    text.push_back(widest);
  }
  size_t first = 0;  // the first scrollable column of the layout
  while (first < l.cols.size() && l.cols[first] < g.FixedCols()) ++first;
  int64_t total = 0;
  for (int64_t w : width) total += w + 1;
  if (total <= limit) {
    // Room to spare is shared by the scrollable columns (the fixed ones when there are
    // none), so that the lines fill the width. It goes by the columns' own widths alone, not
    // by the texts in view: a column keeps its width while the rows scroll past.
    int64_t spare = limit - total;
    auto share = [&](size_t from, auto wants) {
      for (int64_t given = 1; spare > 0 && given > 0;) {
        given = 0;
        for (size_t k = from; k < width.size() && spare > 0; ++k) {
          if (!wants(k) || width[k] >= kMaxSlotChars) continue;
          ++width[k];
          --spare;
          ++given;
        }
      }
    };
    share(first < width.size() ? first : 0, [](size_t) { return true; });
    return width;
  }
  // The first scrollable column's own width, taken from the fixed ones' blank room.
  if (first < l.cols.size()) {
    int64_t used = 0;
    for (size_t k = 0; k <= first; ++k) used += width[k] + 1;
    for (size_t k = first; used > limit && k-- > 0;) {
      int64_t give = std::min(used - limit, width[k] - std::max<int64_t>(text[k], 1));
      if (give <= 0) continue;
      width[k] -= give;
      used -= give;
    }
  }
  int64_t used = 0;
  for (size_t k = 0; k < width.size(); ++k) {
    if (used + 2 > limit) {
      width.resize(k);
      l.cols.resize(k);
      break;
    }
    if (cut) (*cut)[k] = width[k] > limit - used - 1;
    width[k] = std::min(width[k], limit - used - 1);
    used += width[k] + 1;
  }
  if (cut) cut->resize(width.size());
  return width;
}

// The cell of the layout whose area holds the point (grid coordinates), if any.
bool CellAt(const FlexGrid& g, const Layout& l, double x, double y, int32_t* r, int32_t* c) {
  auto find = [](const std::vector<int32_t>& order, double p, auto start_of, auto size_of,
                 int32_t* out) {
    for (int32_t k : order) {
      double start = start_of(k);
      if (p >= start && p < start + size_of(k)) {
        *out = k;
        return true;
      }
    }
    return false;
  };
  return find(
             l.rows, y, [&](int32_t k) { return g.RowTopOf(k); },
             [&](int32_t k) { return g.RowHeight(k); }, r) &&
         find(
             l.cols, x, [&](int32_t k) { return g.ColLeftOf(k); },
             [&](int32_t k) { return g.ColWidth(k); }, c);
}

std::string EditorSlot(const EditorState& e, int64_t width, bool caret_mark) {
  if (width < 3) return Fit("[" + e.text, width);
  std::string shown;
  if (!caret_mark || e.sel_length != 0) {
    shown = OneLine(e.text);
  } else {
    const std::string before = FirstCodePoints(e.text, e.sel_start);
    shown = OneLine(before) + "_" + OneLine(std::string_view(e.text).substr(before.size()));
  }
  std::string slot(1, '[');
  slot.append(Fit(shown, width - 2));
  slot.push_back(']');
  return slot;
}

std::string CellSlot(const FlexGrid& g, const CellSet& changed, int32_t r, int32_t c, int64_t width,
                     bool ansi) {
  std::string text = OneLine(g.TextMatrix(r, c));
  HAlign align = AlignOf(g.CellAlignmentAt(r, c), text);
  bool number = IsNumberText(text);
  const bool is_changed = changed.count({r, c}) > 0;
  if (is_changed) text = "*" + text + "*";
  std::string slot = number && DisplayWidth(text) > width
                         ? std::string(static_cast<size_t>(std::max<int64_t>(width, 0)), '#')
                         : Fit(text, width, align);
  if (is_changed && ansi) slot = std::string(kAnsiRed) + slot + std::string(kAnsiReset);
  return slot;
}

// One character per grid line: arrows at the ends, the thumb on the track between.
std::vector<std::string> ScrollColumn(const ScrollBarState& s, size_t lines) {
  std::vector<std::string> col(lines, "░");
  if (lines == 0) return col;
  col.front() = "▲";
  if (lines == 1) return col;
  col.back() = "▼";
  int64_t track = static_cast<int64_t>(lines) - 2;
  if (track < 1 || !s.enabled) return col;
  int64_t pos = 0;
  if (s.max != s.min) {
    double fraction = (static_cast<double>(s.value) - s.min) / (static_cast<double>(s.max) - s.min);
    pos = std::llround(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(track - 1));
  }
  col[static_cast<size_t>(1 + pos)] = "█";
  return col;
}

}  // namespace

std::vector<int32_t> ColumnsDrawnWhole(const Scene& scene) {
  if (scene.grid == nullptr) throw platform::ComError::InvalidProcedureCall("TextRenderer");
  Layout layout = Arrange(*scene.grid, false);
  if (scene.width <= 0) return layout.cols;
  const bool bar_shown = scene.scroll_bar && scene.scroll_bar->visible;
  std::vector<bool> cut;
  ColumnWidths(*scene.grid, scene.changed, layout, Chars(scene.width) - (bar_shown ? 1 : 0), &cut);
  std::vector<int32_t> whole;
  for (size_t k = 0; k < layout.cols.size(); ++k)
    if (!cut[k]) whole.push_back(layout.cols[k]);
  return whole;
}

std::string RenderText(const Scene& scene, const RenderOptions& options) {
  if (scene.grid == nullptr) throw platform::ComError::InvalidProcedureCall("TextRenderer");
  const FlexGrid& g = *scene.grid;
  Layout layout = Arrange(g, options.whole_grid);
  bool bar_shown = scene.scroll_bar && scene.scroll_bar->visible;
  std::vector<int64_t> widths;
  if (scene.width > 0 && !options.whole_grid) {
    widths = ColumnWidths(g, scene.changed, layout, Chars(scene.width) - (bar_shown ? 1 : 0));
  } else {
    for (int32_t c : layout.cols) widths.push_back(Chars(g.ColWidth(c)));
  }

  int32_t edit_row = -1, edit_col = -1;
  if (scene.editor && scene.editor->visible) {
    double x = scene.editor->left - g.left(), y = scene.editor->top - g.top();
    if (!CellAt(g, layout, x, y, &edit_row, &edit_col)) edit_row = edit_col = -1;
  }

  std::vector<std::string> lines;
  bool ruled = false;
  for (int32_t r : layout.rows) {
    if (!ruled && r >= g.FixedRows() && !lines.empty()) {
      std::string rule;
      for (int64_t w : widths) rule += std::string(static_cast<size_t>(w), '-') + "+";
      lines.push_back(rule);
    }
    if (r >= g.FixedRows()) ruled = true;
    std::string line;
    for (size_t k = 0; k < layout.cols.size(); ++k) {
      int32_t c = layout.cols[k];
      if (r == edit_row && c == edit_col) {
        // A text longer than its cell widens the editor over the cells to its right, whole
        // ones, as far as the text and its caret need, up to the end of the line.
        const EditorState& e = *scene.editor;
        const bool caret_shown = options.caret_mark && e.sel_length == 0;
        const int64_t wanted = DisplayWidth(OneLine(e.text)) + (caret_shown ? 3 : 2);
        int64_t room = widths[k];
        while (room < wanted && k + 1 < layout.cols.size()) room += widths[++k] + 1;
        line += EditorSlot(e, room, options.caret_mark);
      } else {
        line += CellSlot(g, scene.changed, r, c, widths[k], options.ansi);
      }
      line += "|";
    }
    lines.push_back(line);
  }

  if (bar_shown) {
    std::vector<std::string> bar = ScrollColumn(*scene.scroll_bar, lines.size());
    for (size_t i = 0; i < lines.size(); ++i) lines[i] += bar[i];
  }

  if (scene.status_bar && scene.status_bar->visible && !scene.status_bar->panels.empty()) {
    std::string line;
    for (size_t i = 0; i < scene.status_bar->panels.size(); ++i) {
      const StatusPanelState& p = scene.status_bar->panels[i];
      if (i > 0) line += "|";
      line += Fit(OneLine(p.text), Chars(p.width));
    }
    lines.push_back(line);
  }

  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace tabulo::view
