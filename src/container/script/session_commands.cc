// The session commands of `tabulo script`: more controls in the same container (new, load,
// control N, end), saving, object assignments (set), the host's notifications (language,
// server-change), the platform's user-interface language (ui-language) and member calls by
// dispatch id (invoke).
#include <memory>
#include <string>

#include "container/script/error.h"
#include "container/script/runner.h"
#include "container/script/value.h"
#include "platform/automation/dispatch_object.h"
#include "platform/text/plain_text.h"
#include "platform/text/ui_language.h"
#include "platform/widgets/std_font.h"

namespace tabulo::container {
namespace {

using platform::InvokeKind;
using platform::Variant;

// A file, cluster or server name: a quoted text, or the word as written.
std::string NameArg(CommandContext& c, size_t i) {
  if (c.Arg(i).empty() || c.Arg(i).front() != '"') return c.Arg(i);
  return c.Value(i).AsString();
}

// font NAME SIZE [bold] [italic], from argument `first` on: a new StdFont.
std::shared_ptr<platform::Dispatch> FontArg(CommandContext& c, size_t first) {
  size_t count = c.line.args.size() - first;
  if (count < 3 || count > 5) {
    throw ScriptError("set: font takes NAME SIZE [bold] [italic]");
  }
  Variant size = c.Value(first + 2);
  using platform::VarType;
  if (size.type() != VarType::Long && size.type() != VarType::Double) {
    throw ScriptError("set: the font size must be a number, given " + c.Arg(first + 2));
  }
  auto font = platform::StdFont::Create();
  font->SetName(NameArg(c, first + 1));
  font->SetSize(size.type() == VarType::Long ? size.AsLong() : size.AsDouble());
  bool bold = false, italic = false;
  for (size_t i = first + 3; i < c.line.args.size(); ++i) {
    std::string style = platform::AsciiLower(c.Arg(i));
    bool& flag = style == "bold" ? bold : italic;
    if ((style != "bold" && style != "italic") || flag) {
      throw ScriptError("set: a font style is bold or italic, once each; given " + c.Arg(i));
    }
    flag = true;
  }
  font->SetBold(bold);
  font->SetItalic(italic);
  return font;
}

void Set(CommandContext& c) {
  platform::DispId id = c.MemberId(c.Arg(0));
  std::string kind = platform::AsciiLower(c.Arg(1));
  std::shared_ptr<platform::Dispatch> object;
  if (kind == "font") {
    object = FontArg(c, 1);
  } else if (kind == "secmgr") {
    if (c.line.args.size() != 2) throw ScriptError("set: secmgr takes no more arguments");
    object = c.host.SecurityManager();
  } else {
    throw ScriptError("set assigns font NAME SIZE [bold] [italic] or secmgr, given " + c.Arg(1));
  }
  std::vector<Variant> args{Variant(object)};
  c.host.control().Invoke(id, InvokeKind::PropertyPutRef, args);
}

void Language(CommandContext& c) {
  c.host.ChangeLanguage(c.Integer(0, 1));
}

// The platform's user-interface language, as a user changes it in the system's settings:
// built-in texts looked up from now on follow it; no control is told.
void UiLanguage(CommandContext& c) {
  platform::SetUserInterfaceLanguage(c.Integer(0, 1));
}

void ServerChange(CommandContext& c) {
  c.host.ChangeActiveServer(NameArg(c, 0), NameArg(c, 1));
}

void SelectControl(CommandContext& c) {
  int32_t n = c.Integer(0, 1);
  if (n > c.host.control_count()) {
    throw ScriptError("no control " + c.Arg(0) + " (the session has " +
                      std::to_string(c.host.control_count()) + ")");
  }
  c.host.SelectControl(n);
}

// invoke DISPID [ARGS]: a property's id reads it and prints NAME = V, as `get` does; a
// method's calls it and prints NAME -> V unless it returns Empty, as `call` does. An id the
// object does not list is called as a method, so the object's own error shows.
void Invoke(CommandContext& c) {
  Variant id_value = c.Value(0);
  using platform::VarType;
  if (id_value.type() != VarType::Long && id_value.type() != VarType::Integer &&
      id_value.type() != VarType::Byte) {
    throw ScriptError("invoke takes a dispatch id (0x... or decimal), given " + c.Arg(0));
  }
  platform::DispId id = id_value.AsLong();
  std::string name = c.Arg(0);
  bool property = false;
  if (auto* object = dynamic_cast<platform::DispatchObject*>(&c.host.control())) {
    for (const platform::MemberInfo& m : object->Members()) {
      if (m.id != id) continue;
      name = m.name;
      if (m.kind == platform::MemberKind::PropertyGet) property = true;
    }
  }
  std::vector<Variant> args = c.Values(1);
  Variant v =
      c.host.control().Invoke(id, property ? InvokeKind::PropertyGet : InvokeKind::Method, args);
  if (property) {
    c.out << name << " = " << FormatValue(v) << "\n";
  } else if (!v.IsEmpty()) {
    c.out << name << " -> " << FormatValue(v) << "\n";
  }
}

}  // namespace

void ScriptRunner::WatchNewControl(int32_t number) {
  host_.control().Advise(events_->SinkFor(number));
}

void ScriptRunner::AddSessionCommands() {
  constexpr int kAny = Command::kAnyCount;
  commands_.Add("new",
                {"new", 0, 0, [this](CommandContext& c) { WatchNewControl(c.host.NewControl()); }});
  commands_.Add("load", {"load FILE", 1, 1, [this](CommandContext& c) {
                           WatchNewControl(c.host.LoadControl(NameArg(c, 0)));
                         }});
  commands_.Add("save",
                {"save FILE", 1, 1, [](CommandContext& c) { c.host.SaveControl(NameArg(c, 0)); }});
  commands_.Add("set", {"set NAME font NAME SIZE [bold] [italic] | set NAME secmgr", 2, 6, Set});
  commands_.Add("language", {"language N", 1, 1, Language});
  commands_.Add("ui-language", {"ui-language N", 1, 1, UiLanguage});
  commands_.Add("server-change", {"server-change CLUSTER SERVER", 2, 2, ServerChange});
  commands_.Add("control", {"control N", 1, 1, SelectControl});
  commands_.Add("end", {"end", 0, 0, [](CommandContext& c) { c.host.EndControl(); }});
  commands_.Add("invoke", {"invoke DISPID [ARGS]", 1, kAny, Invoke});
}

}  // namespace tabulo::container
