// The browser's scene of a form (form_scene.h).
#include "view/form_scene.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/text/text.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"
#include "platform/widgets/up_down.h"

namespace tabulo::view {
namespace {

using namespace platform;
using nlohmann::json;

void Entries(const ListBox& list, json& out) {
  out["entries"] = json::array();
  for (int32_t i = 0; i < list.list_count(); ++i) out["entries"].push_back(list.list(i));
  out["selected"] = list.list_index();
}

json Describe(const Widget& w) {
  if (auto* t = dynamic_cast<const TextBox*>(&w)) {
    const std::string text = t->shown_text();
    return {
        {"kind", "text"}, {"text", text}, {"locked", t->locked()}, {"multiLine", t->multi_line()}};
  }
  if (auto* c = dynamic_cast<const ComboBox*>(&w)) {
    json out = {{"kind", c->style() == kComboDropDown ? "combo" : "dropdown"}, {"text", c->text()}};
    Entries(*c, out);
    return out;
  }
  if (auto* l = dynamic_cast<const ListBox*>(&w)) {
    json out = {{"kind", "list"}};
    Entries(*l, out);
    return out;
  }
  if (auto* c = dynamic_cast<const CheckBox*>(&w))
    return {{"kind", "check"}, {"caption", c->caption()}, {"value", c->value()}};
  if (auto* b = dynamic_cast<const CommandButton*>(&w))
    return {{"kind", "button"}, {"caption", b->caption()}};
  if (auto* l = dynamic_cast<const Label*>(&w))
    return {{"kind", "label"}, {"caption", l->caption()}};
  if (auto* f = dynamic_cast<const Frame*>(&w))
    return {{"kind", "frame"}, {"caption", f->caption()}};
  if (auto* u = dynamic_cast<const UpDown*>(&w)) return {{"kind", "updown"}, {"value", u->value()}};
  if (auto* g = dynamic_cast<const FlexGrid*>(&w)) {
    json cells = json::array();
    for (int32_t r = 0; r < g->Rows(); ++r) {
      json row = json::array();
      for (int32_t c = 0; c < g->Cols(); ++c) row.push_back(g->TextMatrix(r, c));
      cells.push_back(std::move(row));
    }
    json widths = json::array();
    for (int32_t c = 0; c < g->Cols(); ++c) widths.push_back(g->ColWidth(c));
    return {{"kind", "grid"},
            {"cells", std::move(cells)},
            {"colWidths", std::move(widths)},
            {"fixedRows", g->FixedRows()},
            {"fixedCols", g->FixedCols()},
            {"row", g->Row()},
            {"col", g->Col()}};
  }
  return {{"kind", "widget"}};
}

}  // namespace

std::string AccessKeyOf(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    const unsigned char next = static_cast<unsigned char>(caption[i + 1]);
    if (next == '&') {
      ++i;
      continue;
    }
    if (std::isalnum(next)) return std::string(1, static_cast<char>(std::tolower(next)));
    return {};
  }
  return {};
}

std::string OwnCaptionOf(const Widget& w) {
  if (auto* c = dynamic_cast<const CheckBox*>(&w)) return c->caption();
  if (auto* l = dynamic_cast<const Label*>(&w)) return l->caption();
  if (auto* f = dynamic_cast<const Frame*>(&w)) return f->caption();
  if (auto* b = dynamic_cast<const CommandButton*>(&w)) {
    // "..." or an arrow names nothing: such a button takes its label's caption.
    const std::string& c = b->caption();
    if (std::any_of(c.begin(), c.end(),
                    [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)); }))
      return c;
  }
  return {};
}

namespace {

// The captioned button just right of `w` on its line: it names a list it acts on.
const CommandButton* ButtonBeside(const Form& form, const Widget& w) {
  if (w.left() == 0 && w.top() == 0) return nullptr;
  for (const Widget* other : form.widgets()) {
    auto* b = dynamic_cast<const CommandButton*>(other);
    if (!b || !b->visible() || OwnCaptionOf(*b).empty()) continue;
    const double gap = b->left() - (w.left() + w.width());
    if (gap >= 0 && gap <= 240 && b->top() < w.top() + w.height() &&
        w.top() < b->top() + b->height())
      return b;
  }
  return nullptr;
}

}  // namespace

const Label* LabelOf(const Form& form, const Widget& w) {
  const bool placed = w.left() != 0 || w.top() != 0;
  const Label* best = nullptr;
  double best_gap = std::numeric_limits<double>::max();
  const Label* preceding = nullptr;
  for (const Widget* other : form.widgets()) {
    if (other == &w) return placed ? best : preceding;
    auto* l = dynamic_cast<const Label*>(other);
    if (!l || !l->visible()) {
      if (other->visible() && !placed) preceding = nullptr;
      continue;
    }
    preceding = l;
    // Left of it on the same line, or above its left edge, within a small gap.
    const double right = l->left() + l->width(), bottom = l->top() + l->height();
    const bool same_line = l->top() < w.top() + w.height() && w.top() < bottom;
    const bool left_of = same_line && right <= w.left() + 60 && w.left() - right <= 1200;
    const bool above = l->left() <= w.left() + 240 && right > w.left() && bottom <= w.top() + 60 &&
                       w.top() - bottom <= 480;
    if (!left_of && !above) continue;
    const double gap = left_of ? w.left() - right : w.top() - bottom;
    if (gap < best_gap) best = l, best_gap = gap;
  }
  return placed ? best : preceding;
}

json FormSceneOf(const Form& form) {
  json widgets = json::array();
  double extent_w = 0, extent_h = 0;
  for (const Widget* w : form.widgets()) {
    if (!w->visible()) continue;
    json out = Describe(*w);
    out["name"] = w->name();
    out["enabled"] = w->enabled();
    out["focus"] = w == form.focused();
    out["x"] = w->left();
    out["y"] = w->top();
    out["w"] = w->width();
    out["h"] = w->height();
    extent_w = std::max(extent_w, w->left() + w->width());
    extent_h = std::max(extent_h, w->top() + w->height());
    std::string access;
    if (dynamic_cast<const Label*>(w) == nullptr && dynamic_cast<const Frame*>(w) == nullptr) {
      const std::string own = OwnCaptionOf(*w);
      if (own.empty()) {
        if (const Label* label = LabelOf(form, *w)) {
          out["label"] = label->caption();
          access = AccessKeyOf(label->caption());
        } else if (const CommandButton* button = ButtonBeside(form, *w)) {
          out["label"] = button->caption();  // what the button does with it, as "Insert"
        }
      } else {
        access = AccessKeyOf(own);
      }
    }
    if (!access.empty()) out["access"] = access;
    widgets.push_back(std::move(out));
  }
  // A margin of 120 twips right and below, as on the left and at the top.
  return {{"caption", form.caption()},
          {"w", extent_w > 0 ? extent_w + 120 : 0},
          {"h", extent_h > 0 ? extent_h + 120 : 0},
          {"widgets", std::move(widgets)}};
}

}  // namespace tabulo::view
