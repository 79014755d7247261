// The browser's scene of a form (form_scene.h).
#include "view/form_scene.h"

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
    return {{"kind", "text"}, {"text", text}, {"locked", t->locked()}};
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
    return {{"kind", "grid"},
            {"cells", std::move(cells)},
            {"fixedRows", g->FixedRows()},
            {"fixedCols", g->FixedCols()},
            {"row", g->Row()},
            {"col", g->Col()}};
  }
  return {{"kind", "widget"}};
}

}  // namespace

json FormSceneOf(const Form& form) {
  json widgets = json::array();
  for (const Widget* w : form.widgets()) {
    if (!w->visible()) continue;
    json out = Describe(*w);
    out["name"] = w->name();
    out["enabled"] = w->enabled();
    out["focus"] = w == form.focused();
    widgets.push_back(std::move(out));
  }
  return {{"caption", form.caption()}, {"widgets", std::move(widgets)}};
}

}  // namespace tabulo::view
