// A ScriptHost for tests: a sample automation class in place of the control (a text, a
// number, an object and an indexed property, a method that echoes and one that writes debug
// output and returns nothing, a few events), hosted in a real HeadlessContainer in design
// mode at 9600 x 3600 twips. Its grid (10 rows, 6 columns, in 4000 x 1500 twips: rows 7 to 9
// and column 5 off screen) opens the editor over a data cell the operator enters, as the
// control's grid does. `new` adds sample controls (numbered from 1, the newest current; the
// widgets stay with the first); the other session commands keep the host's defaults.
#pragma once

#include <gtest/gtest.h>

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

}  // namespace tabulo::container::test_support
