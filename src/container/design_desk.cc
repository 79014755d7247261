// The designer's commands of the script language (design_desk.h).
#include "container/design_desk.h"

#include <algorithm>
#include <cctype>

#include "container/script/error.h"
#include "container/script/input.h"
#include "container/script/runner.h"
#include "container/script/value.h"
#include "platform/text/plain_text.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/widgets/check_box.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/flex_grid.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"
#include "platform/widgets/up_down.h"
#include "view/form_renderer.h"
#include "view/form_scene.h"

namespace tabulo::container {
namespace {

using platform::Variant;

// A quoted text as its value, anything else as written.
std::string TextArg(CommandContext& c, size_t i) {
  if (c.Arg(i).empty() || c.Arg(i).front() != '"') return c.Arg(i);
  return c.Value(i).AsString();
}

template <class W>
W& As(platform::Widget& w, const std::string& command, const char* kind) {
  auto* typed = dynamic_cast<W*>(&w);
  if (!typed) throw ScriptError(command + " suits " + kind + ", not " + w.name());
  return *typed;
}

// The entry ITEM names: its text (quoted) or its 0-based index.
int32_t EntryIndex(CommandContext& c, platform::ListBox& list) {
  Variant item = c.Value(1);
  if (item.IsString()) {
    for (int32_t i = 0; i < list.list_count(); ++i)
      if (list.list(i) == item.AsString()) return i;
    throw ScriptError(list.name() + " has no entry " + c.Arg(1));
  }
  int32_t index = c.Integer(1, 0);
  if (index >= list.list_count())
    throw ScriptError(list.name() + " has no entry " + c.Arg(1) + " (it has " +
                      std::to_string(list.list_count()) + ")");
  return index;
}

Variant ValueOf(platform::Widget& w) {
  using namespace platform;
  if (auto* t = dynamic_cast<TextBox*>(&w)) return Variant(t->text());
  if (auto* l = dynamic_cast<ListBox*>(&w)) return Variant(l->text());
  if (auto* c = dynamic_cast<CheckBox*>(&w)) return Variant(c->value());
  if (auto* u = dynamic_cast<UpDown*>(&w)) return Variant(u->value());
  if (auto* b = dynamic_cast<CommandButton*>(&w)) return Variant(b->caption());
  if (auto* l = dynamic_cast<Label*>(&w)) return Variant(l->caption());
  if (auto* f = dynamic_cast<Frame*>(&w)) return Variant(f->caption());
  throw ScriptError("widget does not read " + w.name() + ": use cell");
}

}  // namespace

DesignDesk::~DesignDesk() = default;

platform::Form* DesignDesk::form() {
  if (!dialogs_.empty()) return dialogs_.back();
  return sheet_ ? sheet_->current() : nullptr;
}

void DesignDesk::OpenPage(const std::string& name) {
  if (!sheet_) {
    control::TabuloCtl& ctl = session_.current();
    // The session owns the control; the sheet only refers to it.
    sheet_ = std::make_unique<PropertySheet>(
        session_.container(), std::shared_ptr<control::TabuloCtl>(std::shared_ptr<void>(), &ctl));
  }
  platform::PropertyPage* page = sheet_->FindPage(name);
  if (!page)
    throw ScriptError("unknown page '" + name +
                      "' (DSNSelection, UsrControlProperties, ColumnProperties, eSignature)");
  sheet_->Show(*page);
}

platform::Widget& DesignDesk::FindWidget(const std::string& name, const std::string& command) {
  platform::Form* f = form();
  if (!f) throw ScriptError(command + ": no property page or dialog is open (use page NAME)");
  platform::Widget* w = f->FindWidget(name);
  if (!w) throw ScriptError("unknown widget '" + name + "' on " + f->caption());
  return *w;
}

void DesignDesk::WatchModal(NestedLoop nested) {
  nested_ = std::move(nested);
  // The runner is not replaced while it runs one of this desk's dialogs.
  if (!dialogs_.empty()) return;
  // A modal dialog runs its own message loop: the designer's next operations address it
  // until it closes.
  session_.container().SetModalRunner([this](platform::Form& dialog) {
    const NestedLoop nested = nested_;
    dialogs_.push_back(&dialog);
    try {
      if (nested) nested([&dialog] { return !dialog.shown(); });
    } catch (...) {
      dialogs_.pop_back();
      throw;
    }
    dialogs_.pop_back();
  });
}

void DesignDesk::WatchModal(ScriptRunner* runner) {
  if (!runner) return WatchModal(NestedLoop());
  WatchModal([runner](const std::function<bool()>& closed) { runner->RunNested(closed); });
}

void DesignDesk::Fill(const std::string& name, const std::string& text) {
  platform::Widget& w = FindWidget(name, "fill");
  if (auto* combo = dynamic_cast<platform::ComboBox*>(&w)) {
    if (combo->style() != platform::kComboDropDown)
      throw ScriptError("fill suits a text box or an editable drop-down, not " + w.name());
    combo->EditText(text);
    return;
  }
  auto& box = As<platform::TextBox>(w, "fill", "a text box");
  if (!box.enabled() || box.locked()) return;
  box.set_sel_start(0);
  box.set_sel_length(static_cast<int32_t>(platform::Utf8Length(box.text())));
  box.set_sel_text(text);
}

void DesignDesk::Choose(const std::string& name, int32_t index) {
  auto& list = As<platform::ListBox>(FindWidget(name, "choose"), "choose", "a list");
  if (index < 0 || index >= list.list_count())
    throw ScriptError(list.name() + " has no entry " + std::to_string(index) + " (it has " +
                      std::to_string(list.list_count()) + ")");
  list.SelectItem(index);
}

void DesignDesk::Check(const std::string& name, int16_t value) {
  auto& box = As<platform::CheckBox>(FindWidget(name, "check"), "check", "a check box");
  if (box.value() != value) box.UserClick();
}

void DesignDesk::Press(const std::string& name) {
  As<platform::CommandButton>(FindWidget(name, "press"), "press", "a button").UserClick();
}

void DesignDesk::ClickCell(const std::string& name, int32_t row, int32_t col) {
  auto& grid = As<platform::FlexGrid>(FindWidget(name, "click"), "click", "a grid");
  if (row < 0 || row >= grid.Rows() || col < 0 || col >= grid.Cols())
    throw ScriptError(name + " has no cell (" + std::to_string(row) + ", " + std::to_string(col) +
                      ")");
  grid.UserClick(row, col);
}

bool DesignDesk::DialogKey(platform::Form& dialog, const std::string& name) {
  auto press = [&](const char* button) {
    if (auto* b = dynamic_cast<platform::CommandButton*>(dialog.FindWidget(button))) {
      b->UserClick();
      return true;
    }
    return false;
  };
  auto* text = dynamic_cast<platform::TextBox*>(dialog.focused());
  if (name == "Escape") return press("cmdCancel");
  if (name == "Enter") {
    if (auto* focused = dynamic_cast<platform::CommandButton*>(dialog.focused())) {
      focused->UserClick();  // a button with the focus is the one Enter presses
      return true;
    }
    if (!(text && text->multi_line())) return press("cmdOk");
    return false;
  }
  if (name != "Tab" && name != "Shift+Tab") return false;
  MoveFocus(name == "Shift+Tab");
  return true;
}

void DesignDesk::MoveFocus(bool back) {
  platform::Form* f = form();
  if (!f) throw ScriptError("key: no property page or dialog is open");
  // The widgets that take the focus, in their order; Tab goes round them.
  std::vector<platform::Widget*> stops;
  for (platform::Widget* w : f->widgets())
    if (w->visible() && w->enabled() && !dynamic_cast<platform::Label*>(w) &&
        !dynamic_cast<platform::Frame*>(w))
      stops.push_back(w);
  if (stops.empty()) return;
  const auto at = std::find(stops.begin(), stops.end(), f->focused());
  const size_t i =
      at == stops.end() ? stops.size() - (back ? 0 : 1) : static_cast<size_t>(at - stops.begin());
  const size_t n = stops.size();
  stops[back ? (i + n - 1) % n : (i + 1) % n]->SetFocus();
}

void DesignDesk::Type(const std::string& text) {
  platform::Form* f = form();
  platform::Widget* w = f ? f->focused() : nullptr;
  if (auto* combo = dynamic_cast<platform::ComboBox*>(w);
      combo && combo->style() == platform::kComboDropDown) {
    combo->EditText(combo->text() + text);
  } else if (auto* box = dynamic_cast<platform::TextBox*>(w)) {
    box->TypeText(text);
  } else {
    throw ScriptError("typing: no text box has the focus (Tab to one first)");
  }
}

void DesignDesk::DoubleClick(const std::string& name, int32_t index) {
  auto& list = As<platform::ListBox>(FindWidget(name, "dblclick"), "dblclick", "a list");
  if (index < 0 || index >= list.list_count())
    throw ScriptError(list.name() + " has no entry " + std::to_string(index));
  list.DoubleClickItem(index);
}

void DesignDesk::AccessKey(const std::string& key) {
  platform::Form* f = form();
  if (!f) throw ScriptError("key: no property page or dialog is open");
  const std::string wanted = platform::AsciiLower(key);
  for (platform::Widget* w : f->widgets()) {
    if (!w->visible() || !w->enabled() || dynamic_cast<platform::Label*>(w) ||
        dynamic_cast<platform::Frame*>(w))
      continue;
    const std::string own = view::OwnCaptionOf(*w);
    const platform::Label* label = own.empty() ? view::LabelOf(*f, *w) : nullptr;
    const std::string access = view::AccessKeyOf(label ? label->caption() : own);
    if (access.empty() || access != wanted) continue;
    if (auto* button = dynamic_cast<platform::CommandButton*>(w)) {
      button->UserClick();
    } else if (auto* check = dynamic_cast<platform::CheckBox*>(w)) {
      check->SetFocus();
      check->UserClick();
    } else {
      w->SetFocus();
    }
    return;
  }
  throw ScriptError("key Alt+" + key + ": nothing on " + f->caption() +
                    " has that access key (the underlined letter of a caption)");
}

void DesignDesk::Key(const std::string& name) {
  platform::Form* f = form();
  if (!f) throw ScriptError("key: no property page or dialog is open");
  if (name.size() > 4 && (name.starts_with("Alt+") || name.starts_with("alt+")))
    return AccessKey(name.substr(4));
  if (!dialogs_.empty() && DialogKey(*f, name)) return;
  std::optional<int16_t> code = KeyCodeByName(name);
  if (!code) throw ScriptError("unknown key '" + name + "' (" + KnownKeyNames() + ")");
  if (auto* box = dynamic_cast<platform::TextBox*>(f->focused())) {
    box->PressKey(*code);
  } else if (auto* grid = dynamic_cast<platform::FlexGrid*>(f->focused())) {
    grid->UserKey(*code);
  } else if (auto* list = dynamic_cast<platform::ListBox*>(f->focused())) {
    // Up and Down move the selection, as in an open list.
    const int32_t step = *code == platform::kKeyUp ? -1 : *code == platform::kKeyDown;
    const int32_t to = list->list_index() + step;
    if (step != 0 && to >= 0 && to < list->list_count()) list->SelectItem(to);
  } else {
    throw ScriptError("key: no text box, list or grid of " + f->caption() + " has the focus");
  }
}

void DesignDesk::Apply() {
  if (!sheet_) throw ScriptError("apply: no property sheet is open");
  sheet_->Apply();
}

void DesignDesk::Close() {
  if (!sheet_) throw ScriptError("close: no property sheet is open");
  sheet_.reset();
}

platform::DialogAnswer DesignDesk::ColorAnswer(int32_t color) {
  return platform::DialogAnswer::Ok(Variant(color));
}

platform::DialogAnswer DesignDesk::FontAnswer(const FontChoice& font) {
  const int32_t on = 255;
  return platform::DialogAnswer::Ok(
      Variant(int32_t{1}),
      {Variant(int32_t{font.bold ? 700 : 400}), Variant(font.italic ? on : 0),
       Variant(font.underline ? on : 0), Variant(font.strikeout ? on : 0), Variant(font.name),
       Variant(static_cast<int32_t>(font.points * 10)), Variant(int32_t{0})});
}

void DesignDesk::AddCommands(CommandTable& table) {
  using W = platform::Widget;
  auto widget = [this](CommandContext& c) -> W& {
    WatchModal(c.runner);
    return FindWidget(c.Arg(0), c.line.command);
  };
  table.Add("page", {"page NAME", 1, 1, [this](CommandContext& c) {
                       WatchModal(c.runner);
                       OpenPage(TextArg(c, 0));
                     }});
  table.Add("fill", {"fill WIDGET TEXT", 2, 2, [this](CommandContext& c) {
                       WatchModal(c.runner);
                       Fill(c.Arg(0), TextArg(c, 1));
                     }});
  table.Add("choose", {"choose WIDGET ITEM", 2, 2, [this, widget](CommandContext& c) {
                         auto& list = As<platform::ListBox>(widget(c), "choose", "a list");
                         Choose(c.Arg(0), EntryIndex(c, list));
                       }});
  table.Add("check", {"check WIDGET N", 2, 2, [this](CommandContext& c) {
                        WatchModal(c.runner);
                        Check(c.Arg(0), static_cast<int16_t>(c.Integer(1, 0, 1)));
                      }});
  table.Add("press", {"press WIDGET", 1, 1, [this](CommandContext& c) {
                        WatchModal(c.runner);
                        Press(c.Arg(0));
                      }});
  table.Add("widget", {"widget WIDGET", 1, 1, [widget](CommandContext& c) {
                         const std::string value = FormatValue(ValueOf(widget(c)));
                         c.out << c.Arg(0) << " = " << value << "\n";
                       }});
  table.Add("items", {"items WIDGET", 1, 1, [widget](CommandContext& c) {
                        auto& list = As<platform::ListBox>(widget(c), "items", "a list");
                        c.out << c.Arg(0) << " = {";
                        for (int32_t i = 0; i < list.list_count(); ++i)
                          c.out << (i ? ", " : "") << QuoteText(list.list(i));
                        c.out << "}\n";
                      }});
  table.Add("selected", {"selected WIDGET", 1, 1, [widget](CommandContext& c) {
                           auto& list = As<platform::ListBox>(widget(c), "selected", "a list");
                           c.out << c.Arg(0) << ".ListIndex = " << list.list_index() << "\n";
                         }});
  table.Add("cell", {"cell WIDGET ROW COL", 3, 3, [widget](CommandContext& c) {
                       auto& grid = As<platform::FlexGrid>(widget(c), "cell", "a grid");
                       int32_t row = c.Integer(1, 0, grid.Rows() - 1);
                       int32_t col = c.Integer(2, 0, grid.Cols() - 1);
                       c.out << c.Arg(0) << "(" << row << ", " << col
                             << ") = " << QuoteText(grid.TextMatrix(row, col)) << "\n";
                     }});
  table.Add("apply", {"apply", 0, 0, [this](CommandContext& c) {
                        WatchModal(c.runner);
                        Apply();
                      }});
  table.Add("close", {"close", 0, 0, [this](CommandContext&) { Close(); }});

  Command click = table.Add("click", {});
  table.Add("click", {"click ROW COL | click WIDGET ROW COL", 2, 3,
                      [this, click, widget](CommandContext& c) {
                        if (c.line.args.size() == 2) return click.run(c);
                        auto& grid = As<platform::FlexGrid>(widget(c), "click", "a grid");
                        int32_t row = c.Integer(1, 0, grid.Rows() - 1);
                        ClickCell(c.Arg(0), row, c.Integer(2, 0, grid.Cols() - 1));
                      }});
  Command dblclick = table.Add("dblclick", {});
  table.Add("dblclick",
            {"dblclick ROW COL | dblclick WIDGET ITEM", 2, 2,
             [desk = this, dblclick, widget](CommandContext& c) {
               if (!c.Arg(0).empty() && std::isdigit(static_cast<unsigned char>(c.Arg(0).front())))
                 return dblclick.run(c);
               auto& list = As<platform::ListBox>(widget(c), "dblclick", "a list");
               desk->DoubleClick(c.Arg(0), EntryIndex(c, list));
             }});
  Command key = table.Add("key", {});
  table.Add("key", {key.usage, key.min_args, key.max_args, [this, key](CommandContext& c) {
                      platform::Form* f = form();
                      if (!f) return key.run(c);
                      WatchModal(c.runner);
                      Key(c.Arg(0));
                    }});
  Command answer = table.Add("answer", {});
  table.Add("answer",
            {"answer N | sign USER PASSWORD REASON | cancel | color N | font NAME SIZE [bold] "
             "[italic] [underline] [strikeout]",
             1, 8, [answer](CommandContext& c) {
               std::string kind = platform::LCase(c.Arg(0));
               size_t count = c.line.args.size();
               if (kind == "color") {
                 if (count != 2) throw ScriptError("answer color takes N");
                 c.host.container().QueueDialogAnswer(ColorAnswer(c.Integer(1)));
                 return;
               }
               if (kind != "font") {
                 if (count > 4) throw ScriptError("answer takes at most 4 arguments here");
                 return answer.run(c);
               }
               if (count < 3) throw ScriptError("answer font takes NAME SIZE [styles]");
               Variant size = c.Value(2);
               if (!size.IsNumberType()) throw ScriptError("answer font: SIZE must be a number");
               FontChoice font{TextArg(c, 1), size.type() == platform::VarType::Long
                                                  ? size.AsLong()
                                                  : size.AsDouble()};
               for (size_t i = 3; i < count; ++i) {
                 std::string style = platform::LCase(c.Arg(i));
                 bool* flag = style == "bold"        ? &font.bold
                              : style == "italic"    ? &font.italic
                              : style == "underline" ? &font.underline
                              : style == "strikeout" ? &font.strikeout
                                                     : nullptr;
                 if (!flag)
                   throw ScriptError(
                       "answer font: a style is bold, italic, underline or "
                       "strikeout; given " +
                       c.Arg(i));
                 *flag = true;
               }
               c.host.container().QueueDialogAnswer(FontAnswer(font));
             }});
  Command get = table.Add("get", {});
  table.Add("get", {get.usage, get.min_args, get.max_args, [get](CommandContext& c) {
                      const std::string& name = c.Arg(0);
                      size_t dot = name.find('.');
                      if (dot == std::string::npos) return get.run(c);
                      std::vector<Variant> none;
                      Variant object = c.host.control().Invoke(
                          c.MemberId(name.substr(0, dot)), platform::InvokeKind::PropertyGet, none);
                      if (!object.IsObject() || !object.AsObject())
                        throw ScriptError(name.substr(0, dot) + " is not an object");
                      Variant v = object.AsObject()->Get(name.substr(dot + 1));
                      c.out << name << " = " << FormatValue(v) << "\n";
                    }});
}

}  // namespace tabulo::container
