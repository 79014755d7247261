// tabulo script: replays a session written in the script language against controls hosted
// in the container program.
#include <charconv>
#include <iostream>

#include "commands.h"
#include "platform/com_error.h"
#include "script_host.h"
#include "script_runner.h"
#include "session.h"
#include "view/control_scene.h"

namespace tabulo::app {
namespace {

constexpr char kUsage[] =
    "usage: tabulo script FILE|- [--host CONFIG] [--locale en-US|de-DE|fr-FR] "
    "[--ui-lang 1031|1033|1036]\n";

class SessionScriptHost : public ScriptHost {
 public:
  explicit SessionScriptHost(Session& session) : session_(session) {}

  platform::Dispatch& control() override { return session_.current(); }
  platform::HeadlessContainer& container() override { return session_.container(); }
  void Size(int32_t width_twips, int32_t height_twips) override {
    session_.current().Resize(width_twips, height_twips);
  }
  void SetMode(bool run) override { session_.SetRunMode(run); }
  void Scroll(int32_t value) override { session_.current().ScrollBar.SetValue(value); }
  std::string Render() override { return view::RenderControl(session_.current()); }
  platform::FlexGrid* grid() override { return &session_.current().Grid; }
  platform::TextBox* editor() override { return &session_.current().txtEdit; }
  std::vector<std::string> TakeDebugOutput() override {
    const std::vector<std::string>& all = session_.container().debug_output();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(debug_seen_),
                                   all.end());
    debug_seen_ = all.size();
    return fresh;
  }

 private:
  Session& session_;
  size_t debug_seen_ = 0;
};

}  // namespace

int ScriptCommand(const Args& args) {
  SessionOptions options;
  std::string path;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--host" && has_value) {
      options.host_config = args[++i];
    } else if (a == "--locale" && has_value) {
      options.locale = args[++i];
    } else if (a == "--ui-lang" && has_value) {
      const std::string& v = args[++i];
      int32_t lang = 0;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), lang);
      if (ec != std::errc() || end != v.data() + v.size() ||
          (lang != 1031 && lang != 1033 && lang != 1036)) {
        std::cerr << "tabulo script: --ui-lang takes 1031, 1033 or 1036\n";
        return 2;
      }
      options.ui_language = lang;
    } else if (path.empty() && (a == "-" || !a.starts_with("--"))) {
      path = a;
    } else {
      std::cerr << "tabulo script: unexpected argument '" << a << "'\n" << kUsage;
      return 2;
    }
  }
  if (path.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    Session session(options);
    session.NewControl();
    SessionScriptHost host(session);
    return RunScriptFile(path, host, std::cout, std::cerr);
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo script: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
