// A ScriptHost for tests: a sample automation class in place of the control (properties of
// each type, a read-only and an indexed one, methods with by-reference and optional
// arguments, one that raises, ones that reach the container), hosted in a real
// HeadlessContainer, starting in design mode at 9600 x 3600 twips. Its grid (10 rows, 6
// columns, one fixed of each, in 4000 x 1500 twips: rows 7 to 9 and column 5 off screen) and
// editor are wired as a grid control wires them: the grid's mouse and key events become the
// control's events, entering a data cell opens the editor over it with the cell's text, and
// Enter or Tab in the editor puts its text into the cell and closes it.
//
// The session's commands work on more sample controls (numbered from 1; the widgets stay
// wired to the first): `save` keeps a control's Text and Count under the file's name in
// memory, `load` makes a control from them (53 for a name never saved), `end` leaves no
// control current, and the host's notifications are recorded. The clusters are "Local"
// (servers "PLANT-01", "PLANT-02") and "Backup" ("SPARE").
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "container/script/error.h"
#include "container/script/host.h"
#include "container/script/runner.h"
#include "platform/automation/dispatch_object.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"

namespace tabulo::container::test_support {

using platform::Variant;

class SampleControl : public platform::DispatchObject {
 public:
  SampleControl(platform::HeadlessContainer& container, std::vector<std::string>& debug)
      : DispatchObject("SampleControl"), container_(container), debug_(debug) {
    Bind("Text", 1, text);
    Bind("Count", 2, count);
    Bind("Small", 3, small);
    Bind("Ratio", 4, ratio);
    Bind("Flag", 5, flag);
    ReadOnly("Amount", 6, Variant::CurrencyScaled(123456));
    ReadOnly("Born", 7, Variant::Date(46027.25));  // 2026-01-05 06:00
    ReadOnly("Version", 8, Variant("1.0"));
    DeclareProperty(
        "Ticks", 9, [this] { return Variant(ticks); }, nullptr);
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
    // Adjust(ByRef Value, [Delta]): returns Value and adds Delta (1 when omitted) to it.
    DeclareMethod("Adjust", 20, {{"Value", false, true}, {"Delta", true, false}}, [this](Args& a) {
      int32_t before = ArgLong(a, 0);
      a[0] = Variant(before + (HasArg(a, 1) ? ArgLong(a, 1) : 1));
      return Variant(before);
    });
    DeclareMethod("Echo", 21, {{"Value"}}, [](Args& a) { return a[0]; });
    DeclareMethod("Nop", 22, {}, [this](Args&) {
      ++nops;
      return Variant();
    });
    DeclareMethod("Fail", 23, {}, [](Args&) -> Variant {
      throw platform::ComError(0x80040E14, "Syntax error near \"FROM\"", "SampleControl");
    });
    // Notify(Text, [Style], [Title]): a message box through the container; its answer.
    DeclareMethod("Notify", 24, {{"Text"}, {"Style", true}, {"Title", true}}, [this](Args& a) {
      return Variant(static_cast<int32_t>(container_.MsgBox(
          ArgString(a, 0), HasArg(a, 1) ? ArgLong(a, 1) : 0, HasArg(a, 2) ? ArgString(a, 2) : "")));
    });
    DeclareMethod("Trace", 25, {{"Text"}}, [this](Args& a) {
      debug_.push_back(ArgString(a, 0));
      return Variant();
    });
    // StartTicking(Ms): a timer that counts its ticks in Ticks.
    DeclareMethod("StartTicking", 26, {{"Ms"}}, [this](Args& a) {
      container_.event_loop().StartTimer(ArgLong(a, 0), [this] { ++ticks; });
      return Variant();
    });
    // PostText(Text): sets Text later, from the event loop.
    DeclareMethod("PostText", 27, {{"Text"}}, [this](Args& a) {
      container_.event_loop().Post([this, later = ArgString(a, 0)] { text = later; });
      return Variant();
    });
    const char* events[] = {"Click",   "DblClick", "MouseDown", "MouseMove",       "MouseUp",
                            "KeyDown", "KeyPress", "KeyUp",     "CellValueChanged"};
    const int arg_counts[] = {2, 0, 4, 4, 4, 2, 1, 2, 2};
    for (int i = 0; i < 9; ++i) DeclareEvent(events[i], i + 1, arg_counts[i]);
  }

  void Raise(std::string_view name, std::vector<Variant> args) { Fire(name, args); }

  std::string text = "first";
  int32_t count = 0;
  int16_t small = 0;
  double ratio = 0.0;
  bool flag = false;
  int32_t ticks = 0;
  int32_t nops = 0;
  bool ended = false;
  std::shared_ptr<platform::Dispatch> picture;
  std::map<std::pair<int32_t, int32_t>, Variant> cells;

 private:
  using Args = std::vector<Variant>;
  void ReadOnly(const char* name, platform::DispId id, Variant value) {
    DeclareProperty(
        name, id, [value] { return value; }, nullptr);
  }
  // A read-write property kept in `field`, converted as the field's type is.
  template <typename T>
  void Bind(const char* name, platform::DispId id, T& field) {
    DeclareProperty(
        name, id, [&field] { return Variant(field); },
        [this, &field](const Variant& v) {
          if constexpr (std::is_same_v<T, std::string>) field = ArgString({v}, 0);
          if constexpr (std::is_same_v<T, int32_t>) field = ArgLong({v}, 0);
          if constexpr (std::is_same_v<T, int16_t>) field = ArgInt16({v}, 0);
          if constexpr (std::is_same_v<T, double>) field = ArgDouble({v}, 0);
          if constexpr (std::is_same_v<T, bool>) field = ArgBool({v}, 0);
        });
  }

  platform::HeadlessContainer& container_;
  std::vector<std::string>& debug_;
};

// The host's security manager as `set NAME secmgr` hands it out.
class SampleSecurityManager : public platform::DispatchObject {
 public:
  SampleSecurityManager() : DispatchObject("SecurityManager") {}
};

class FakeScriptHost : public ScriptHost {
 public:
  FakeScriptHost() {
    container_.SetAmbientUserMode(false);
    controls_.push_back(std::make_shared<SampleControl>(container_, debug_));
    WireWidgets();
  }

  platform::Dispatch& control() override { return current(); }
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
        << " text=" << current().text << "]\n";
    return out.str();
  }
  std::vector<std::string> TakeDebugOutput() override { return std::exchange(debug_, {}); }
  platform::FlexGrid* grid() override { return has_widgets_ ? &grid_ : nullptr; }
  platform::TextBox* editor() override { return has_widgets_ ? &editor_ : nullptr; }

  int32_t NewControl() override {
    controls_.push_back(std::make_shared<SampleControl>(container_, debug_));
    current_ = controls_.size() - 1;
    return control_count();
  }
  int32_t LoadControl(const std::string& path) override {
    auto it = files_.find(path);
    if (it == files_.end()) throw platform::ComError(53, "File not found (" + path + ")");
    NewControl();
    std::tie(current().text, current().count) = it->second;
    return control_count();
  }
  void SaveControl(const std::string& path) override {
    files_[path] = {current().text, current().count};
  }
  int32_t control_count() const override { return static_cast<int32_t>(controls_.size()); }
  void SelectControl(int32_t number) override {
    current_ = static_cast<size_t>(number - 1);
    (void)current();  // out of range: a fault of the runner's checks
  }
  void EndControl() override {
    current().ended = true;
    current_ = controls_.size();
  }
  std::shared_ptr<platform::Dispatch> SecurityManager() override { return secmgr_; }
  void ChangeLanguage(int32_t lcid) override { languages.push_back(lcid); }
  void ChangeActiveServer(const std::string& cluster, const std::string& server) override {
    bool known = (cluster == "Local" && (server == "PLANT-01" || server == "PLANT-02")) ||
                 (cluster == "Backup" && server == "SPARE");
    if (!known) throw ScriptError("no server \"" + server + "\" in cluster \"" + cluster + "\"");
    server_changes.push_back(cluster + "/" + server);
  }

  // The current control; ScriptError when `end` left none.
  SampleControl& current() {
    if (current_ >= controls_.size()) throw ScriptError("no current control");
    return *controls_[current_];
  }
  SampleControl& sample(size_t number = 1) { return *controls_.at(number - 1); }
  const std::shared_ptr<platform::Dispatch>& secmgr() const { return secmgr_; }
  platform::FlexGrid& sample_grid() { return grid_; }
  platform::TextBox& sample_editor() { return editor_; }
  // A control without a grid or an editor.
  void DropWidgets() { has_widgets_ = false; }

  std::vector<int32_t> languages;
  std::vector<std::string> server_changes;

 private:
  void WireWidgets() {
    grid_.SetRows(10);
    grid_.SetCols(6);
    grid_.Move(0, 0, 4000, 1500);
    char cell[16];
    for (int32_t r = 1; r < 10; ++r) {
      for (int32_t c = 1; c < 6; ++c) {
        std::snprintf(cell, sizeof cell, "r%dc%d", r, c);
        grid_.SetTextMatrix(r, c, cell);
      }
    }
    grid_.set_focus_scope(&focus_);
    editor_.set_focus_scope(&focus_);
    editor_.set_visible(false);
    SampleControl& ctl = sample();
    auto mouse = [&ctl](const char* name) {
      return [&ctl, name](int16_t& b, int16_t& s, float& x, float& y) {
        ctl.Raise(name, {Variant(b), Variant(s), Variant(x), Variant(y)});
      };
    };
    grid_.on_mouse_move = mouse("MouseMove");
    grid_.on_mouse_down = mouse("MouseDown");
    grid_.on_mouse_up = mouse("MouseUp");
    grid_.on_click = [this, &ctl] {
      ctl.Raise("Click", {Variant(grid_.Row()), Variant(grid_.Col())});
    };
    grid_.on_dbl_click = [&ctl] { ctl.Raise("DblClick", {}); };
    grid_.on_key_down = [&ctl](int16_t& k, int16_t& s) {
      ctl.Raise("KeyDown", {Variant(k), Variant(s)});
    };
    grid_.on_key_press = [&ctl](int16_t& k) { ctl.Raise("KeyPress", {Variant(k)}); };
    grid_.on_key_up = [&ctl](int16_t& k, int16_t& s) {
      ctl.Raise("KeyUp", {Variant(k), Variant(s)});
    };
    grid_.on_enter_cell = [this] {
      editor_.Move(grid_.CellLeft(), grid_.CellTop(), grid_.CellWidth(), grid_.CellHeight());
      editor_.set_text(grid_.Text());
      editor_.set_visible(true);
      editor_.SetFocus();
    };
    editor_.on_key_press = [this, &ctl](int16_t& k) {
      if (k != platform::kKeyReturn && k != platform::kKeyTab) return;
      if (editor_.text() != grid_.Text()) {
        grid_.SetText(editor_.text());
        ctl.Raise("CellValueChanged", {Variant(static_cast<int16_t>(grid_.Row())),
                                       Variant(static_cast<int16_t>(grid_.Col()))});
      }
      editor_.set_visible(false);
      grid_.SetFocus();
    };
  }

  platform::HeadlessContainer container_;
  std::vector<std::string> debug_;
  std::vector<std::shared_ptr<SampleControl>> controls_;
  size_t current_ = 0;
  std::shared_ptr<platform::Dispatch> secmgr_ = std::make_shared<SampleSecurityManager>();
  std::map<std::string, std::pair<std::string, int32_t>> files_;
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

}  // namespace tabulo::container::test_support
