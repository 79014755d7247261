// Text rendering of forms (form_renderer.h).
#include "view/form_renderer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "platform/text/text.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"
#include "platform/widgets/up_down.h"
#include "view/form_scene.h"
#include "view/text_cells.h"

namespace tabulo::view {
namespace {

using namespace platform;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Entries(const ListBox& list) {
  std::string out = " {";
  for (int32_t i = 0; i < list.list_count(); ++i) {
    if (i > 0) out += ", ";
    if (i == list.list_index()) out += ">";
    out += Quoted(list.list(i));
  }
  return out + "}";
}

std::string Describe(const Widget& w) {
  if (auto* t = dynamic_cast<const TextBox*>(&w)) {
    const std::string text = t->shown_text();
    return "text " + Quoted(text) + (t->locked() ? " (read-only)" : "");
  }
  if (auto* c = dynamic_cast<const ComboBox*>(&w))
    return std::string(c->style() == kComboDropDown ? "combo " : "drop-down ") + Quoted(c->text()) +
           Entries(*c);
  if (auto* l = dynamic_cast<const ListBox*>(&w)) return "list" + Entries(*l);
  if (auto* c = dynamic_cast<const CheckBox*>(&w))
    return std::string("check [") +
           (c->value() == kChecked ? "x"
            : c->value()           ? "-"
                                   : " ") +
           "] " + Quoted(c->caption());
  if (auto* b = dynamic_cast<const CommandButton*>(&w)) return "button " + Quoted(b->caption());
  if (auto* l = dynamic_cast<const Label*>(&w)) return "label " + Quoted(l->caption());
  if (auto* f = dynamic_cast<const Frame*>(&w)) return "frame " + Quoted(f->caption());
  if (auto* u = dynamic_cast<const UpDown*>(&w)) return "up-down " + std::to_string(u->value());
  if (auto* g = dynamic_cast<const FlexGrid*>(&w)) {
    std::string out = "grid " + std::to_string(g->Rows()) + "x" + std::to_string(g->Cols());
    for (int32_t r = 0; r < g->Rows(); ++r) {
      out += "\n   ";
      for (int32_t c = 0; c < g->Cols(); ++c) out += " | " + g->TextMatrix(r, c);
      out += " |";
    }
    return out;
  }
  return "widget";
}

}  // namespace

std::string RenderForm(const Form& form) {
  std::string out = "== " + form.caption() + " ==\n";
  for (const Widget* w : form.widgets()) {
    if (!w->visible()) continue;
    out += "  " + w->name() + ": " + Describe(*w);
    if (!w->enabled()) out += " (disabled)";
    if (w == form.focused()) out += " (focus)";
    out += "\n";
  }
  return out;
}

int32_t CellColumn(double twips) {
  return static_cast<int32_t>(std::lround(twips / 100));
}

int32_t CellRow(double twips) {
  return static_cast<int32_t>(std::lround(twips / 240));
}

namespace {

// A page of character cells, each one code point with its underline and reverse marks.
class Cells {
 public:
  struct Cell {
    std::string text = " ";
    bool underline = false, reverse = false;
  };

  // Writes `s` from (row, col), at most `width` cells; a caption's "&" marks the next letter.
  void Put(int32_t row, int32_t col, std::string_view s, int32_t width, bool caption = false,
           bool reverse = false) {
    if (row < 0 || width <= 0) return;
    int32_t at = col;
    bool mark = false;
    for (size_t i = 0; i < s.size() && at < col + width;) {
      size_t len = 1;
      while (i + len < s.size() && (static_cast<unsigned char>(s[i + len]) & 0xC0) == 0x80) ++len;
      std::string_view cp = s.substr(i, len);
      i += len;
      if (caption && cp == "&" && !mark) {
        if (i < s.size() && s[i] == '&') {
          ++i;  // "&&" is an ampersand
        } else {
          mark = true;
          continue;
        }
      }
      Cell& c = At(row, at++);
      c.text = std::string(cp);
      c.underline = mark;
      c.reverse = reverse;
      mark = false;
    }
  }

  // How many blank cells run from (row, col) before one in use (any number at a line's end).
  int32_t FreeFrom(int32_t row, int32_t col) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return 1 << 20;
    const auto& line = rows_[static_cast<size_t>(row)];
    int32_t n = 0;
    for (size_t i = static_cast<size_t>(col); i < line.size() && line[i].text == " "; ++i) ++n;
    return static_cast<size_t>(col) + n >= line.size() ? 1 << 20 : n;
  }

  std::string Text(bool ansi) const {
    std::string out;
    for (const auto& line : rows_) {
      size_t end = line.size();
      while (end > 0 && line[end - 1].text == " " && !line[end - 1].reverse) --end;
      bool u = false, r = false;
      for (size_t i = 0; i < end; ++i) {
        const Cell& c = line[i];
        if (ansi && (c.underline != u || c.reverse != r)) {
          out += "\x1b[0";
          if (c.underline) out += ";4";
          if (c.reverse) out += ";7";
          out += "m";
          u = c.underline, r = c.reverse;
        }
        out += c.text;
      }
      if (ansi && (u || r)) out += "\x1b[0m";
      out += "\n";
    }
    return out;
  }

 private:
  Cell& At(int32_t row, int32_t col) {
    if (static_cast<size_t>(row) >= rows_.size()) rows_.resize(static_cast<size_t>(row) + 1);
    auto& line = rows_[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) >= line.size()) line.resize(static_cast<size_t>(col) + 1);
    return line[static_cast<size_t>(col)];
  }
  std::vector<std::vector<Cell>> rows_;
};

std::string Repeat(std::string_view s, int32_t n) {
  std::string out;
  for (int32_t i = 0; i < n; ++i) out += s;
  return out;
}

// A caption as shown: "&" marks dropped, "&&" one ampersand.
std::string AccessFree(std::string_view caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out += caption[i];
  }
  return out;
}

std::string Bracketed(std::string_view open, std::string_view inner, std::string_view close) {
  std::string out(open);
  out.append(inner).append(close);
  return out;
}

// A widget of one line takes the row its middle is in; a taller one spans the rows its edges
// round to.
bool Tall(const Widget& w) {
  return w.height() >= 480;
}
int32_t RowOf(const Widget& w) {
  return Tall(w) ? CellRow(w.top())
                 : static_cast<int32_t>(std::floor((w.top() + w.height() / 2) / 240));
}

// `row_beside`: for a label beside the box it names, that box's row.
void DrawWidget(Cells& cells, const Widget& w, bool focus, std::optional<int32_t> row_beside) {
  const bool tall = Tall(w);
  const int32_t row = row_beside.value_or(RowOf(w));
  const int32_t col = CellColumn(w.left());
  const int32_t width = std::max(1, CellColumn(w.left() + w.width()) - col);
  const int32_t height = tall ? std::max(1, CellRow(w.top() + w.height()) - row) : 1;
  if (auto* f = dynamic_cast<const Frame*>(&w)) {
    const int32_t bottom = row + height - 1;
    std::string border = "+";
    border.append(Repeat("-", width - 2)).append("+");
    cells.Put(row, col, border, width);
    for (int32_t r = row + 1; r < bottom; ++r) {
      cells.Put(r, col, "|", 1);
      cells.Put(r, col + width - 1, "|", 1);
    }
    cells.Put(bottom, col, border, width);
    std::string caption = " ";
    caption.append(OneLine(f->caption())).append(" ");
    cells.Put(row, col + 2, caption, width - 4, true);
    return;
  }
  if (auto* l = dynamic_cast<const Label*>(&w)) {
    // A label of one row runs on past its box up to what stands beside it; one of several
    // rows wraps at its width.
    std::string text = OneLine(l->caption());
    if (height == 1) {
      cells.Put(row, col, text, std::max(width, cells.FreeFrom(row, col)), true);
      return;
    }
    std::vector<std::string> lines;
    while (!text.empty()) {
      std::string line = FirstCodePoints(text, width);
      if (CodePoints(text) > width) {
        const size_t blank = line.rfind(' ');
        if (blank != std::string::npos && blank > 0) line = line.substr(0, blank + 1);
      }
      lines.push_back(line);
      text = text.substr(line.size());
    }
    // Cells are coarser than twips: a text that needs more rows than its box rounds to takes
    // the blank rows just below it, then just above it.
    int32_t first = row, last = row + height - 1;
    const auto blank = [&](int32_t r) { return r >= 0 && cells.FreeFrom(r, col) >= width; };
    while (last - first + 1 < static_cast<int32_t>(lines.size()) && blank(last + 1)) ++last;
    while (last - first + 1 < static_cast<int32_t>(lines.size()) && blank(first - 1)) --first;
    for (int32_t r = first; r <= last && static_cast<size_t>(r - first) < lines.size(); ++r) {
      // The last row shows what is left of the text as far as it goes.
      std::string line = lines[static_cast<size_t>(r - first)];
      if (r == last)
        for (size_t i = static_cast<size_t>(r - first) + 1; i < lines.size(); ++i) line += lines[i];
      cells.Put(r, col, line, width, true);
    }
    return;
  }
  if (auto* c = dynamic_cast<const CheckBox*>(&w)) {
    const std::string mark = c->value() == kChecked ? "[x] " : c->value() ? "[-] " : "[ ] ";
    cells.Put(row, col, mark, 4, false, focus);
    cells.Put(row, col + 4, OneLine(c->caption()), width - 4, true);
    return;
  }
  if (auto* b = dynamic_cast<const CommandButton*>(&w)) {
    // A caption too long for the brackets goes without them.
    if (CodePoints(AccessFree(b->caption())) > width - 2) {
      cells.Put(row, col, OneLine(b->caption()), width, true, focus);
      return;
    }
    const std::string caption = OneLine(b->caption());
    const int32_t marks = static_cast<int32_t>(caption.size() - AccessFree(caption).size());
    cells.Put(row, col, Bracketed("[", Fit(caption, width - 2 + marks, HAlign::kCenter), "]"),
              width, true, focus);
    return;
  }
  if (auto* t = dynamic_cast<const TextBox*>(&w)) {
    std::string text = t->shown_text();
    for (int32_t r = 0; r < height; ++r) {
      const size_t nl = text.find('\n');
      std::string line = text.substr(0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      text = nl == std::string::npos ? "" : text.substr(nl + 1);
      cells.Put(row + r, col, Bracketed("[", Fit(line, width - 2), "]"), width, false,
                focus && r == 0);
    }
    return;
  }
  if (auto* c = dynamic_cast<const ComboBox*>(&w)) {
    cells.Put(row, col, Bracketed("[", Fit(OneLine(c->text()), width - 3), "v]"), width, false,
              focus);
    return;
  }
  if (auto* l = dynamic_cast<const ListBox*>(&w)) {
    for (int32_t r = 0; r < height; ++r) {
      const bool entry = r < l->list_count();
      const std::string text = entry ? OneLine(l->list(r)) : "";
      const std::string mark = entry && r == l->list_index() ? ">" : " ";
      cells.Put(row + r, col, Bracketed("|" + mark, Fit(text, width - 3), "|"), width, false,
                focus && r == std::max(0, l->list_index()));
    }
    return;
  }
  if (dynamic_cast<const UpDown*>(&w)) {
    cells.Put(row, col, "^v", width);
    return;
  }
  if (auto* g = dynamic_cast<const FlexGrid*>(&w)) {
    for (int32_t r = 0; r < g->Rows() && r < height; ++r) {
      int32_t at = col;
      for (int32_t c = 0; c < g->Cols(); ++c) {
        const int32_t cw = std::max(2, CellColumn(g->ColWidth(c)));
        const bool current = focus && r == g->Row() && c == g->Col();
        cells.Put(row + r, at, "|", 1);
        cells.Put(row + r, at + 1, Fit(OneLine(g->TextMatrix(r, c)), cw - 1), cw - 1, false,
                  current);
        at += cw;
      }
      cells.Put(row + r, at, "|", 1);
    }
  }
}

}  // namespace

std::string RenderFormLayout(const Form& form, bool ansi) {
  Cells cells;
  // Frames first (the widgets they hold are drawn over them), labels last (they run on up to
  // the widget beside them), labels of several rows after all else (they may take the blank
  // rows around them).
  auto pass_of = [](const Widget* w) {
    if (dynamic_cast<const Label*>(w)) return Tall(*w) ? 3 : 2;
    return dynamic_cast<const Frame*>(w) ? 0 : 1;
  };
  std::map<const Widget*, int32_t> beside;
  for (const Widget* w : form.widgets()) {
    if (!w->visible() || pass_of(w) != 1 || Tall(*w) || !OwnCaptionOf(*w).empty()) continue;
    const Label* l = LabelOf(form, *w);
    if (l && l->top() < w->top() + w->height() && w->top() < l->top() + l->height())
      beside[l] = RowOf(*w);
  }
  for (int pass = 0; pass < 4; ++pass) {
    for (const Widget* w : form.widgets()) {
      if (!w->visible() || pass_of(w) != pass) continue;
      auto it = beside.find(w);
      DrawWidget(cells, *w, w == form.focused(),
                 it == beside.end() ? std::nullopt : std::optional<int32_t>(it->second));
    }
  }
  return "== " + OneLine(form.caption()) + " ==\n" + cells.Text(ansi);
}

}  // namespace tabulo::view
