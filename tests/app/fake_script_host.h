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

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"
#include "script_error.h"
#include "script_host.h"
#include "script_runner.h"

namespace tabulo::app::test_support {

using platform::Variant;

class SampleControl : public platform::DispatchObject {
 public:
  SampleControl(platform::HeadlessContainer& container, std::vector<std::string>& debug)
      : DispatchObject("SampleControl"), container_(container), debug_(debug) {
    DeclareProperty(
        "Text", 1, [this] { return Variant(text); },
        [this](const Variant& v) { text = ArgString({v}, 0); });
    DeclareProperty(
        "Count", 2, [this] { return Variant(count); },
        [this](const Variant& v) { count = ArgLong({v}, 0); });
    DeclareProperty(
        "Small", 3, [this] { return Variant(small); },
        [this](const Variant& v) { small = ArgInt16({v}, 0); });
    DeclareProperty(
        "Ratio", 4, [this] { return Variant(ratio); },
        [this](const Variant& v) { ratio = ArgDouble({v}, 0); });
    DeclareProperty(
        "Flag", 5, [this] { return Variant(flag); },
        [this](const Variant& v) { flag = ArgBool({v}, 0); });
    DeclareProperty(
        "Amount", 6, [] { return Variant::CurrencyScaled(123456); }, nullptr);
    DeclareProperty(
        "Born", 7, [] { return Variant::Date(46027.25); }, nullptr);  // 2026-01-05 06:00
    DeclareProperty(
        "Version", 8, [] { return Variant("1.0"); }, nullptr);
    DeclareProperty(
        "Ticks", 9, [this] { return Variant(ticks); }, nullptr);
    DeclareObjectProperty(
        "Picture", 10, [this] { return Variant(picture); },
        [this](const Variant& v) { picture = ArgObject({v}, 0); });
    DeclareMember("Cell", 11, platform::MemberKind::PropertyGet, {{"Row"}, {"Col"}},
                  [this](std::vector<Variant>& args) {
                    auto it = cells.find({ArgLong(args, 0), ArgLong(args, 1)});
                    return it == cells.end() ? Variant() : it->second;
                  });
    DeclareMember("Cell", 11, platform::MemberKind::PropertyLet, {{"Row"}, {"Col"}, {"Value"}},
                  [this](std::vector<Variant>& args) {
                    cells[{ArgLong(args, 0), ArgLong(args, 1)}] = args[2];
                    return Variant();
                  });
    // Adjust(ByRef Value, [Delta]): returns Value and adds Delta (1 when omitted) to it.
    DeclareMethod("Adjust", 20, {{"Value", false, true}, {"Delta", true, false}},
                  [this](std::vector<Variant>& args) {
                    int32_t before = ArgLong(args, 0);
                    args[0] = Variant(before + (HasArg(args, 1) ? ArgLong(args, 1) : 1));
                    return Variant(before);
                  });
    DeclareMethod("Echo", 21, {{"Value"}}, [](std::vector<Variant>& args) { return args[0]; });
    DeclareMethod("Nop", 22, {}, [this](std::vector<Variant>&) {
      ++nops;
      return Variant();
    });
    DeclareMethod("Fail", 23, {}, [](std::vector<Variant>&) -> Variant {
      throw platform::ComError(0x80040E14, "Syntax error near \"FROM\"", "SampleControl");
    });
    // Notify(Text, [Style], [Title]): a message box through the container; its answer.
    DeclareMethod(
        "Notify", 24, {{"Text"}, {"Style", true}, {"Title", true}},
        [this](std::vector<Variant>& args) {
          int32_t style = HasArg(args, 1) ? ArgLong(args, 1) : 0;
          std::string title = HasArg(args, 2) ? ArgString(args, 2) : "";
          return Variant(static_cast<int32_t>(container_.MsgBox(ArgString(args, 0), style, title)));
        });
    DeclareMethod("Trace", 25, {{"Text"}}, [this](std::vector<Variant>& args) {
      debug_.push_back(ArgString(args, 0));
      return Variant();
    });
    // StartTicking(Ms): a timer that counts its ticks in Ticks.
    DeclareMethod("StartTicking", 26, {{"Ms"}}, [this](std::vector<Variant>& args) {
      container_.event_loop().StartTimer(ArgLong(args, 0), [this] { ++ticks; });
      return Variant();
    });
    // PostText(Text): sets Text later, from the event loop.
    DeclareMethod("PostText", 27, {{"Text"}}, [this](std::vector<Variant>& args) {
      std::string later = ArgString(args, 0);
      container_.event_loop().Post([this, later] { text = later; });
      return Variant();
    });
    DeclareEvent("Click", 1, 2);
    DeclareEvent("DblClick", 2, 0);
    DeclareEvent("MouseDown", 3, 4);
    DeclareEvent("MouseMove", 4, 4);
    DeclareEvent("MouseUp", 5, 4);
    DeclareEvent("KeyDown", 6, 2);
    DeclareEvent("KeyPress", 7, 1);
    DeclareEvent("KeyUp", 8, 2);
    DeclareEvent("CellValueChanged", 9, 2);
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
  FakeScriptHost()
      : control_(std::make_shared<SampleControl>(container_, debug_)),
        secmgr_(std::make_shared<SampleSecurityManager>()) {
    container_.SetAmbientUserMode(false);
    controls_.push_back(control_);
    WireWidgets();
  }

  platform::Dispatch& control() override { return current(); }

  int32_t NewControl() override {
    controls_.push_back(std::make_shared<SampleControl>(container_, debug_));
    current_ = controls_.size() - 1;
    return control_count();
  }
  int32_t LoadControl(const std::string& path) override {
    auto it = files_.find(path);
    if (it == files_.end()) throw platform::ComError(53, "File not found (" + path + ")");
    NewControl();
    current().text = it->second.first;
    current().count = it->second.second;
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
  SampleControl& sample(size_t number) { return *controls_.at(number - 1); }
  const std::shared_ptr<platform::Dispatch>& secmgr() const { return secmgr_; }

  std::vector<int32_t> languages;
  std::vector<std::string> server_changes;
  platform::HeadlessContainer& container() override { return container_; }
  void Size(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
  }
  // Refuses a negative value as a scroll bar does, so that hook errors can be seen.
  void Scroll(int32_t value) override {
    if (value < 0) throw platform::ComError::InvalidPropertyValue("VScroll");
    scroll_ = value;
  }
  std::string Render() override {
    std::string out = "[";
    out += std::to_string(width_);
    out += 'x';
    out += std::to_string(height_);
    out += container_.AmbientUserMode() ? " run" : " design";
    out += " at=";
    out += std::to_string(scroll_);
    out += " text=";
    out += current().text;
    out += "]\n";
    return out;
  }
  std::vector<std::string> TakeDebugOutput() override { return std::exchange(debug_, {}); }
  platform::FlexGrid* grid() override { return has_widgets_ ? &grid_ : nullptr; }
  platform::TextBox* editor() override { return has_widgets_ ? &editor_ : nullptr; }

  SampleControl& sample() { return *control_; }  // control 1
  platform::FlexGrid& sample_grid() { return grid_; }
  platform::TextBox& sample_editor() { return editor_; }
  // A control without a grid or an editor.
  void DropWidgets() { has_widgets_ = false; }

 private:
  void WireWidgets() {
    grid_.SetRows(10);
    grid_.SetCols(6);
    grid_.Move(0, 0, 4000, 1500);
    for (int32_t r = 1; r < 10; ++r) {
      for (int32_t c = 1; c < 6; ++c) {
        std::string text = "r";  // operator+ on a literal trips a false GCC 12 -Wrestrict
        text += std::to_string(r);
        text += 'c';
        text += std::to_string(c);
        grid_.SetTextMatrix(r, c, text);
      }
    }
    grid_.set_focus_scope(&focus_);
    editor_.set_focus_scope(&focus_);
    editor_.set_visible(false);
    auto mouse = [this](const char* name) {
      return [this, name](int16_t& b, int16_t& s, float& x, float& y) {
        control_->Raise(name, {Variant(b), Variant(s), Variant(x), Variant(y)});
      };
    };
    grid_.on_mouse_move = mouse("MouseMove");
    grid_.on_mouse_down = mouse("MouseDown");
    grid_.on_mouse_up = mouse("MouseUp");
    grid_.on_click = [this] {
      control_->Raise("Click", {Variant(grid_.Row()), Variant(grid_.Col())});
    };
    grid_.on_dbl_click = [this] { control_->Raise("DblClick", {}); };
    grid_.on_key_down = [this](int16_t& k, int16_t& s) {
      control_->Raise("KeyDown", {Variant(k), Variant(s)});
    };
    grid_.on_key_press = [this](int16_t& k) { control_->Raise("KeyPress", {Variant(k)}); };
    grid_.on_key_up = [this](int16_t& k, int16_t& s) {
      control_->Raise("KeyUp", {Variant(k), Variant(s)});
    };
    grid_.on_enter_cell = [this] {
      editor_.Move(grid_.CellLeft(), grid_.CellTop(), grid_.CellWidth(), grid_.CellHeight());
      editor_.set_text(grid_.Text());
      editor_.set_visible(true);
      editor_.SetFocus();
    };
    editor_.on_key_press = [this](int16_t& k) {
      if (k != platform::kKeyReturn && k != platform::kKeyTab) return;
      if (editor_.text() != grid_.Text()) {
        grid_.SetText(editor_.text());
        control_->Raise("CellValueChanged", {Variant(static_cast<int16_t>(grid_.Row())),
                                             Variant(static_cast<int16_t>(grid_.Col()))});
      }
      editor_.set_visible(false);
      grid_.SetFocus();
    };
  }

  platform::HeadlessContainer container_;
  std::vector<std::string> debug_;
  std::shared_ptr<SampleControl> control_;
  std::vector<std::shared_ptr<SampleControl>> controls_;
  size_t current_ = 0;
  std::shared_ptr<platform::Dispatch> secmgr_;
  std::map<std::string, std::pair<std::string, int32_t>> files_;
  platform::FocusScope focus_;
  platform::FlexGrid grid_{"Grid"};
  platform::TextBox editor_{"txtEdit"};
  bool has_widgets_ = true;
  int32_t width_ = 9600;
  int32_t height_ = 3600;
  int32_t scroll_ = 0;
};

// What a script run on a fake host ends with: its exit status and both streams.
struct Outcome {
  int code;
  std::string out;
  std::string err;
};

inline Outcome RunScript(FakeScriptHost& host, const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  int code = ScriptRunner(host, out, err).Run(in);
  return {code, out.str(), err.str()};
}

}  // namespace tabulo::app::test_support
