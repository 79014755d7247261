// The built-in commands of `tabulo script`: sizing, mode, member access, the virtual clock,
// scrolling, message-box and dialog answers, the drained records (messages, events, debug)
// and rendering.
#include <string>

#include "container/script/error.h"
#include "container/script/input.h"
#include "container/script/runner.h"
#include "container/script/value.h"
#include "container/show.h"
#include "platform/automation/dispatch.h"
#include "platform/text/plain_text.h"

namespace tabulo::container {
namespace {

using platform::InvokeKind;
using platform::Variant;

// In twips, within what `show --size` allows (show.h): a display drawn as text stays bounded.
void Size(CommandContext& c) {
  const int32_t width = c.Integer(0), height = c.Integer(1);
  if (width < kMinShownWidth || width > kMaxShownWidth) {
    throw ScriptError("size: the width is " + std::to_string(kMinShownWidth) + " to " +
                      std::to_string(kMaxShownWidth) + " twips (" +
                      std::to_string(kMinShownColumns) + " to " + std::to_string(kMaxShownColumns) +
                      " character cells of " + std::to_string(kCellTwips) + "), given " + c.Arg(0));
  }
  if (height < kMinShownHeight || height > kMaxShownHeight) {
    throw ScriptError("size: the height is " + std::to_string(kMinShownHeight) + " to " +
                      std::to_string(kMaxShownHeight) + " twips (" + std::to_string(kMinShownRows) +
                      " to " + std::to_string(kMaxShownRows) + " grid rows of " +
                      std::to_string(kRowTwips) + " and the status bar), given " + c.Arg(1));
  }
  c.host.Size(width, height);
}

void Mode(CommandContext& c) {
  std::string mode = platform::AsciiLower(c.Arg(0));
  if (mode != "run" && mode != "design") {
    throw ScriptError("mode takes run or design, given " + c.Arg(0));
  }
  c.host.SetMode(mode == "run");
}

void Let(CommandContext& c) {
  platform::DispId id = c.MemberId(c.Arg(0));
  std::vector<Variant> args = c.Values(1);  // indices, then the new value last
  c.host.control().Invoke(id, InvokeKind::PropertyPut, args);
}

void Get(CommandContext& c) {
  platform::DispId id = c.MemberId(c.Arg(0));
  std::vector<Variant> args = c.Values(1);
  Variant v = c.host.control().Invoke(id, InvokeKind::PropertyGet, args);
  c.out << c.Arg(0) << " = " << FormatValue(v) << "\n";
}

void Call(CommandContext& c) {
  platform::DispId id = c.MemberId(c.Arg(0));
  std::vector<Variant> args = c.Values(1);
  Variant v = c.host.control().Invoke(id, InvokeKind::Method, args);
  if (!v.IsEmpty()) c.out << c.Arg(0) << " -> " << FormatValue(v) << "\n";
}

void Tick(CommandContext& c) {
  c.host.container().event_loop().RunFor(c.Integer(0, 0));
}

void Scroll(CommandContext& c) {
  c.host.Scroll(c.Integer(0));
}

// A word of a signature: a quoted text, or the word as written.
std::string SignatureText(CommandContext& c, size_t i) {
  if (c.Arg(i).empty() || c.Arg(i).front() != '"') return c.Arg(i);
  return c.Value(i).AsString();
}

// answer N: the next message box's answer. answer sign USER PASSWORD REASON / answer cancel:
// the next modal dialog's (the signature dialog hands back user, password and reason).
void Answer(CommandContext& c) {
  std::string kind = platform::AsciiLower(c.Arg(0));
  size_t count = c.line.args.size();
  if (kind == "sign") {
    if (count != 4) {
      throw ScriptError("answer sign takes USER PASSWORD REASON, given " +
                        std::to_string(count - 1) + " argument(s)");
    }
    std::vector<Variant> by_ref{Variant(SignatureText(c, 1)), Variant(SignatureText(c, 2)),
                                Variant(SignatureText(c, 3))};
    c.host.container().QueueDialogAnswer(platform::DialogAnswer::Ok(Variant(true), by_ref));
    return;
  }
  if (count != 1) {
    throw ScriptError("answer takes N, sign USER PASSWORD REASON or cancel, given " + c.Arg(0) +
                      " and " + std::to_string(count - 1) + " more argument(s)");
  }
  if (kind == "cancel") {
    c.host.container().QueueDialogAnswer(platform::DialogAnswer::Cancel());
    return;
  }
  c.host.container().QueueAnswer(c.Integer(0));
}

void PrintRendering(CommandContext& c) {
  std::string text = c.host.Render();
  c.out << text;
  if (!text.empty() && text.back() != '\n') c.out << "\n";
}

}  // namespace

std::string FormatMessageBox(const platform::MsgBoxRecord& box) {
  return "MSGBOX style=" + std::to_string(box.style) + " title=" + QuoteText(box.title) +
         " text=" + QuoteText(box.text);
}

void ScriptRunner::PrintMessages(std::ostream& out) {
  const auto& boxes = host_.container().message_boxes();
  for (; messages_shown_ < boxes.size(); ++messages_shown_) {
    out << FormatMessageBox(boxes[messages_shown_]) << "\n";
  }
}

void ScriptRunner::PrintDebug(const std::vector<std::string>& texts, std::ostream& out) {
  std::string all;
  for (const std::string& text : texts) all += text;
  // One output line per debug line, its CR LF (or lone LF) left off; a last line written
  // without its line end still shows.
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    size_t next = end == std::string::npos ? all.size() : end + 1;
    if (end == std::string::npos) end = all.size();
    size_t stop = end;
    if (stop > start && all[stop - 1] == '\r') --stop;
    out << std::string_view(all).substr(start, stop - start) << "\n";
    start = next;
  }
}

void ScriptRunner::AddBuiltins() {
  constexpr int kAny = Command::kAnyCount;
  commands_.Add("size", {"size W H", 2, 2, Size});
  commands_.Add("mode", {"mode run|design", 1, 1, Mode});
  commands_.Add("let", {"let NAME [ARGS] VALUE", 2, kAny, Let});
  commands_.Add("get", {"get NAME [ARGS]", 1, kAny, Get});
  commands_.Add("call", {"call NAME [ARGS]", 1, kAny, Call});
  commands_.Add("tick", {"tick MS", 1, 1, Tick});
  commands_.Add("scroll", {"scroll N", 1, 1, Scroll});
  commands_.Add("answer",
                {"answer N | answer sign USER PASSWORD REASON | answer cancel", 1, 4, Answer});
  commands_.Add("messages",
                {"messages", 0, 0, [this](CommandContext& c) { PrintMessages(c.out); }});
  commands_.Add("debug", {"debug", 0, 0,
                          [](CommandContext& c) { PrintDebug(c.host.TakeDebugOutput(), c.out); }});
  commands_.Add("events", {"events", 0, 0, [this](CommandContext& c) {
                             for (const std::string& line : events_->Take()) c.out << line << "\n";
                           }});
  commands_.Add("show", {"show", 0, 0, PrintRendering});
  AddInputCommands(commands_);
  AddSessionCommands();
}

}  // namespace tabulo::container
