// `tabulo script` against a fake host: commands, the faults that stop a script, dialog
// answers, hosts adding commands, the session commands and the operator's typing.
#include "container/script/runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "container/script/error.h"
#include "container/script/events.h"
#include "container/script/host.h"
#include "container/script/input.h"
#include "host/test_folder.h"
#include "platform/automation/dispatch_object.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"
#include "platform/widgets/std_font.h"

namespace tabulo::container {
namespace {

// A ScriptHost for tests: a sample automation class in place of the control, in a real
// HeadlessContainer in design mode. Its grid (10 x 6 in 4000 x 1500 twips: rows 7 to 9 and
// column 5 off screen) opens the editor over a cell entered, as the control's grid does.
// `new` adds sample controls (the newest current); other session commands keep the defaults.
using platform::Variant;

class SampleControl : public platform::DispatchObject {
 public:
  explicit SampleControl(std::vector<std::string>& debug) : DispatchObject("SampleControl") {
    DeclareProperty(
        "Text", 1, [this] { return Variant(text); },
        [this](const Variant& v) { text = ArgString({v}, 0); });
    DeclareProperty(
        "Count", 2, [this] { return Variant(count); },
        [this](const Variant& v) { count = ArgLong({v}, 0); });
    DeclareObjectProperty(
        "Picture", 10, [this] { return Variant(picture); },
        [this](const Variant& v) { picture = ArgObject({v}, 0); });
    using platform::MemberKind;
    DeclareMember("Cell", 11, MemberKind::PropertyGet, {{"Row"}, {"Col"}}, [this](Args& a) {
      auto it = cells.find({ArgLong(a, 0), ArgLong(a, 1)});
      return it == cells.end() ? Variant() : it->second;
    });
    DeclareMember("Cell", 11, MemberKind::PropertyLet, {{"Row"}, {"Col"}, {"Value"}},
                  [this](Args& a) {
                    cells[{ArgLong(a, 0), ArgLong(a, 1)}] = a[2];
                    return Variant();
                  });
    DeclareMethod("Echo", 21, {{"Value"}}, [](Args& a) { return a[0]; });
    DeclareMethod("Trace", 25, {{"Text"}}, [this, &debug](Args& a) {
      debug.push_back(ArgString(a, 0));
      return Variant();
    });
    DeclareEvent("DblClick", 2, 0);
    DeclareEvent("MouseMove", 4, 4);
    DeclareEvent("KeyPress", 7, 1);
  }

  void Raise(std::string_view name, std::vector<Variant> args) { Fire(name, args); }

  std::string text = "first";
  int32_t count = 0;
  std::shared_ptr<platform::Dispatch> picture;
  std::map<std::pair<int32_t, int32_t>, Variant> cells;

 private:
  using Args = std::vector<Variant>;
};

class FakeScriptHost : public ScriptHost {
 public:
  FakeScriptHost() {
    container_.SetAmbientUserMode(false);
    NewControl();
    grid_.SetRows(10);
    grid_.SetCols(6);
    grid_.Move(0, 0, 4000, 1500);
    grid_.set_focus_scope(&focus_);
    editor_.set_focus_scope(&focus_);
    editor_.set_visible(false);
    grid_.on_enter_cell = [this] {
      editor_.set_text(grid_.Text());
      editor_.set_visible(true);
      editor_.SetFocus();
    };
  }

  platform::Dispatch& control() override { return *controls_.back(); }
  platform::HeadlessContainer& container() override { return container_; }
  void Size(int32_t width, int32_t height) override { size_ = {width, height}; }
  // Refuses a negative value as a scroll bar does, so that hook errors can be seen.
  void Scroll(int32_t value) override {
    if (value < 0) throw platform::ComError::InvalidPropertyValue("VScroll");
    scroll_ = value;
  }
  std::string Render() override {
    std::ostringstream out;
    out << "[" << size_.first << "x" << size_.second
        << (container_.AmbientUserMode() ? " run" : " design") << " at=" << scroll_
        << " text=" << controls_.back()->text << "]\n";
    return out.str();
  }
  std::vector<std::string> TakeDebugOutput() override { return std::exchange(debug_, {}); }
  platform::FlexGrid* grid() override { return has_widgets_ ? &grid_ : nullptr; }
  platform::TextBox* editor() override { return has_widgets_ ? &editor_ : nullptr; }
  int32_t NewControl() override {
    controls_.push_back(std::make_shared<SampleControl>(debug_));
    return control_count();
  }
  int32_t control_count() const override { return static_cast<int32_t>(controls_.size()); }

  SampleControl& sample(size_t number = 1) { return *controls_.at(number - 1); }
  // A control without a grid or an editor.
  void DropWidgets() { has_widgets_ = false; }

 private:
  platform::HeadlessContainer container_;
  std::vector<std::string> debug_;
  std::vector<std::shared_ptr<SampleControl>> controls_;
  platform::FocusScope focus_;
  platform::FlexGrid grid_{"Grid"};
  platform::TextBox editor_{"txtEdit"};
  bool has_widgets_ = true;
  std::pair<int32_t, int32_t> size_{9600, 3600};
  int32_t scroll_ = 0;
};

// What a script run on a fake host ends with: its exit status and both streams.
struct Outcome {
  int code;
  std::string out;
  std::string err;
};

inline Outcome RunScript(ScriptHost& host, const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  int code = ScriptRunner(host, out, err).Run(in);
  return {code, out.str(), err.str()};
}

// The output of `script`, which must run to its end without a fault.
inline std::string Ran(ScriptHost& host, const std::string& script) {
  Outcome r = RunScript(host, script);
  EXPECT_EQ(r.code, 0) << script;
  EXPECT_EQ(r.err, "") << script;
  return r.out;
}

// Runs the commands on `host` as one script, expecting each one's output as given.
inline void ExpectTranscript(
    ScriptHost& host, std::initializer_list<std::pair<std::string_view, std::string_view>> steps) {
  std::string script, expected;
  for (const auto& [command, output] : steps) {
    script.append(command).append("\n");
    expected.append(output);
  }
  EXPECT_EQ(Ran(host, script), expected);
}

// A fault of the script: status 2, "line N: message" on the error stream.
inline void ExpectFault(ScriptHost& host, const std::string& script, int line,
                        const std::string& message) {
  Outcome r = RunScript(host, script);
  EXPECT_EQ(r.code, 2) << script;
  EXPECT_EQ(r.err, "line " + std::to_string(line) + ": " + message + "\n") << script;
}

// Commands and member names in any case; results printed, a raised error printed as a result
// while the script goes on.
TEST(ScriptRunner, CommandsReachTheHostAndTheControlByName) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"size 1200 1035", ""},
                          {"show", "[1200x1035 design at=0 text=first]\n"},
                          {"size 120000 240315", ""},
                          {"show", "[120000x240315 design at=0 text=first]\n"},
                          {"size 12000 4800", ""},
                          {"mode run", ""},
                          {"scroll 0x7FFFFFFF", ""},
                          {"show", "[12000x4800 run at=2147483647 text=first]\n"},
                          {"MODE Design", ""},
                          {"let Text \"a \"\"b\"\"\"", ""},
                          {"get text", "text = \"a \"\"b\"\"\"\n"},
                          {"let Cell 2 3 {1, \"x\"}", ""},
                          {"get Cell 2 3", "Cell = {1, \"x\"}\n"},
                          {"call Echo 0x10", "Echo -> 16\n"},
                          {"set picture FONT Arial 8.25 Italic BOLD", ""},
                          {"get Picture", "Picture = Object(StdFont)\n"},
                          {"scroll -1", "ERROR 380: Invalid property value\n"},
                          {"get Count", "Count = 0\n"}});
  EXPECT_FALSE(host.container().AmbientUserMode());
  EXPECT_EQ(host.sample().text, "a \"b\"");
  // `set NAME font` assigns a new StdFont by reference.
  auto font = std::dynamic_pointer_cast<platform::StdFont>(host.sample().picture);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(std::tuple(font->name(), font->size_scaled(), font->bold(), font->italic()),
            std::tuple("Arial", 82500, true, true));
}

// Each fault is on the last line of its script, after "get Count", a comment and a blank line;
// the "get Text" after it does not run.
TEST(ScriptRunner, FaultsOfTheScriptStopItWithTheLineNumberAndExit2) {
  const std::pair<const char*, const char*> cases[] = {
      {"frobnicate 1", "unknown command 'frobnicate'"},
      {"let Text \"a\\qb\"", "bad value in argument 2 of let: unknown escape \\q in a text"},
      {"let Text {1, 2", "array without its closing brace"},
      {"load \"open", "text without its closing quote"},
      // The argument counts: exact, none, one, at least, a range.
      {"size 100", "size takes 2 arguments, given 1 (size W H)"},
      {"show now", "show takes 0 arguments, given 1 (show)"},
      {"control", "control takes 1 argument, given 0 (control N)"},
      {"let Text", "let takes at least 2 arguments, given 1 (let NAME [ARGS] VALUE)"},
      {"answer",
       "answer takes 1 argument to 4, given 0 (answer N | answer sign USER PASSWORD REASON | "
       "answer cancel)"},
      // Whole numbers and their ranges; the display's extent is what `show --size` allows.
      {"size 2000000000 2000000000",
       "size: the width is 1200 to 120000 twips (10 to 1000 character cells of 120), given "
       "2000000000"},
      {"size 120001 1035",
       "size: the width is 1200 to 120000 twips (10 to 1000 character cells of 120), given "
       "120001"},
      {"size 1199 1035",
       "size: the width is 1200 to 120000 twips (10 to 1000 character cells of 120), given 1199"},
      {"size 1200 240316",
       "size: the height is 1035 to 240315 twips (3 to 1000 grid rows of 240 and the status "
       "bar), given 240316"},
      {"size 120000 1034",
       "size: the height is 1035 to 240315 twips (3 to 1000 grid rows of 240 and the status "
       "bar), given 1034"},
      {"size 12000 4800.5", "size expects a whole number in argument 2, given 4800.5"},
      {"mode fast", "mode takes run or design, given fast"},
      {"tick -5", "tick: argument 1 out of range (0 to 2147483647), given -5"},
      {"tick 1.5", "tick expects a whole number in argument 1, given 1.5"},
      {"control 0", "control: argument 1 out of range (1 to 2147483647), given 0"},
      {"answer sign alice secret", "answer sign takes USER PASSWORD REASON, given 2 argument(s)"},
      {"answer cancel now",
       "answer takes N, sign USER PASSWORD REASON or cancel, given cancel and 1 more argument(s)"},
      // The operator's input.
      {"click 10 1", "click 10 1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"dblclick 1 -1",
       "dblclick 1 -1: the cell is outside the grid (rows 0 to 9, columns 0 to 5)"},
      {"rclick 8 1", "rclick 8 1: the cell is not on screen"},
      {"click 1 5", "click 1 5: the cell is not on screen"},
      {"click 3 1\ntype {1, 2}", "type takes a text, given {1, 2}"},
      {"key F13",
       "unknown key 'F13' (known keys: Enter, Tab, Escape, Backspace, Delete, Left, Right, Up, "
       "Down, Home, End, PageUp, PageDown)"},
      // Object assignments.
      {"set Picture font Arial", "set: font takes NAME SIZE [bold] [italic]"},
      {"set Picture font Arial big", "bad value in argument 4 of set: not a value: big"},
      {"set Picture font Arial \"10\"", "set: the font size must be a number, given \"10\""},
      {"set Picture font Arial 10 bold bold",
       "set: a font style is bold or italic, once each; given bold"},
      {"set Picture font Arial 10 underline",
       "set: a font style is bold or italic, once each; given underline"},
      {"set Picture window", "set assigns font NAME SIZE [bold] [italic] or secmgr, given window"},
      {"set Picture secmgr now", "set: secmgr takes no more arguments"},
      // Calls by dispatch id.
      {"invoke Count", "bad value in argument 1 of invoke: not a value: Count"},
      {"invoke \"2\"", "invoke takes a dispatch id (0x... or decimal), given \"2\""}};
  for (const auto& [script, message] : cases) {
    SCOPED_TRACE(script);
    FakeScriptHost host;
    const std::string lines = std::string("get Count\n# comment\n\n") + script;
    const auto line = std::count(lines.begin(), lines.end(), '\n') + 1;
    Outcome r = RunScript(host, lines + "\nget Text\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "Count = 0\n");
    EXPECT_EQ(r.err, "line " + std::to_string(line) + ": " + message + "\n");
    EXPECT_EQ(host.container().pending_dialog_answers(), 0u);
  }
}

TEST(ScriptRunner, SignAndCancelAnswerTheNextDialogsInOrder) {
  FakeScriptHost host;
  Ran(host, "answer sign alice \"pass word\" \"Batch \"\"7\"\"\"\nanswer CANCEL\n");
  auto& container = host.container();
  ASSERT_EQ(container.pending_dialog_answers(), 2u);
  std::vector<Variant> args{Variant(""), Variant(""), Variant(""), Variant("prompt")};
  EXPECT_EQ(container.ShowDialog("ESignature", args), Variant::Boolean(true));
  EXPECT_EQ(args, (std::vector<Variant>{Variant("alice"), Variant("pass word"),
                                        Variant("Batch \"7\""), Variant("prompt")}));
  EXPECT_THROW(container.ShowDialog("ESignature", args), platform::ComError);
}

// A host that adds a command and wraps a built-in one, as later commands do.
class ExtendingHost : public FakeScriptHost {
 public:
  void AddCommands(CommandTable& table) override {
    table.Add("click", {"click ROW COL", 2, 2, [this](CommandContext& c) {
                          clicks.push_back({c.Integer(0, 0), c.Integer(1, 0)});
                        }});
    Command number_answer = table.Add("answer", {});
    table.Add("answer", {"answer N | answer cancel", 1, 1, [number_answer](CommandContext& c) {
                           if (c.Arg(0) != "cancel") return number_answer.run(c);
                           c.out << "cancel queued\n";
                         }});
  }
  std::vector<std::pair<int32_t, int32_t>> clicks;
};

TEST(ScriptRunner, HostsAddCommandsAndWrapBuiltIns) {
  ExtendingHost host;
  EXPECT_EQ(Ran(host, "click 1 2\nanswer cancel\nanswer 2\nCLICK 3 4\n"), "cancel queued\n");
  EXPECT_EQ(host.clicks, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {3, 4}}));
  EXPECT_EQ(host.container().pending_answers(), 1u);

  CommandTable table;
  EXPECT_FALSE(static_cast<bool>(table.Add("Show", {"show", 0, 0, [](CommandContext&) {}}).run));
  EXPECT_EQ(table.Names(), (std::vector<std::string>{"show"}));
}

TEST(ScriptRunner, UnreadableScriptFilesExit2) {
  host::testing::TestFolder folder;
  for (const std::string& path : {(folder / "missing.tab").string(), folder.path().string()}) {
    FakeScriptHost host;
    std::ostringstream out, err;
    EXPECT_EQ(RunScriptFile(path, host, out, err), 2);
    EXPECT_EQ(err.str(), "tabulo script: cannot read '" + path + "'\n");
  }
}

// Events print their values in the script's output forms, once; those of later controls
// carry the control's number.
TEST(ScriptSession, EventsOfEveryControlArePrintedOnceWithTheirNumber) {
  FakeScriptHost host;
  host.sample().Raise("KeyPress", {Variant(int16_t{65})});
  EXPECT_EQ(Ran(host, "events\n"), "");  // raised before the runner connected: not seen
  std::ostringstream out, err;
  ScriptRunner runner(host, out, err);
  std::istringstream first("new\nnew\n"), events("events\nevents\n");
  runner.Run(first);
  host.sample(3).Raise("DblClick", {});
  host.sample(1).Raise("MouseMove",
                       {Variant(int16_t{0}), Variant(int16_t{1}), Variant(1.5f), Variant(-0.25f)});
  host.sample(2).Raise("KeyPress", {Variant(int16_t{65})});
  EXPECT_EQ(runner.Run(events), 0) << err.str();
  EXPECT_EQ(out.str(),
            "[3] EVENT DblClick()\nEVENT MouseMove(0, 1, 1.5, -0.25)\n[2] EVENT KeyPress(65)\n");
  EXPECT_EQ(FormatEvent("CellValueChanged", {Variant("a \"b\"\r\n"), Variant(true), Variant()}),
            "EVENT CellValueChanged(\"a \"\"b\"\"\\r\\n\", True, Empty)");
}

// `debug` prints each debug line without its line end, once.
TEST(ScriptSession, InvokeCallsByDispatchIdAndDebugPrintsTheLinesOnce) {
  FakeScriptHost host;
  ExpectTranscript(host, {{"invoke 0x15 \"hi\"", "Echo -> \"hi\"\n"},
                          {"call Trace \"half\"", ""},
                          {"invoke 25 \"way\\r\\n\\r\\nunix\\nlast\"", ""},  // Empty: nothing
                          {"debug", "halfway\n\nunix\nlast\n"},
                          {"debug", ""},
                          {"let Cell 1 2 \"x\"", ""},
                          {"invoke 11 1 2", "Cell = \"x\"\n"}});  // the indexed Cell
  // An id the object does not list is called, so the object's own error shows.
  std::string out = Ran(host, "invoke 999\n");
  EXPECT_EQ(out.rfind("ERROR 438: ", 0), 0u) << out;
}

// The fake keeps the defaults but `new`: the session commands say they are unsupported.
TEST(ScriptSession, AHostWithoutSessionsReportsTheCommandUnsupported) {
  for (std::string line : {"load a.ctl", "save a.ctl", "end", "set Picture secmgr", "language 1031",
                           "server-change Local PLANT-01"}) {
    FakeScriptHost host;
    std::string what = line.starts_with("set") ? "secmgr" : line;
    ExpectFault(host, line + "\n", 1, "this host does not support '" + what + "'");
  }
}

TEST(ScriptInput, TypeReplacesTheOpenEditorsTextAndNumbersAsWritten) {
  FakeScriptHost host;
  Ran(host, "click 3 2\ntype \"abc\"\ntype 007\n");
  EXPECT_EQ(host.editor()->text(), "007");
  EXPECT_EQ(host.grid()->Row(), 3);
  EXPECT_EQ(host.grid()->Col(), 2);
  // Shown but without the focus, the editor takes no typing.
  host.grid()->SetFocus();
  ExpectFault(host, "type \"w\"\n", 1, "no editor is open");
  EXPECT_EQ(host.editor()->text(), "007");
  EXPECT_EQ(KeyCodeByName("pageDOWN"), platform::kKeyPageDown);
  EXPECT_EQ(KeyCodeByName("Enter "), std::nullopt);
}

TEST(ScriptInput, AControlWithoutAGridRefusesMouseAndKeys) {
  FakeScriptHost host;
  host.DropWidgets();
  ExpectFault(host, "click 1 1\n", 1, "click: the control has no grid");
  ExpectFault(host, "type \"a\"\n", 1, "no editor is open");
}

}  // namespace
}  // namespace tabulo::container
