// Text rendering of forms (form_renderer.h).
#include "view/form_renderer.h"

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

}  // namespace tabulo::view
