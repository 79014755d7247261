// tabulo script: replays a session written in the script language against controls hosted
// in the container program.
#include <algorithm>
#include <charconv>
#include <iostream>

#include "commands.h"
#include "control_file.h"
#include "platform/values/com_error.h"
#include "script_error.h"
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

  platform::Dispatch& control() override { return Current(); }
  platform::HeadlessContainer& container() override { return session_.container(); }
  void Size(int32_t width_twips, int32_t height_twips) override {
    Current().Resize(width_twips, height_twips);
  }
  void SetMode(bool run) override { session_.SetRunMode(run); }
  void Scroll(int32_t value) override { Current().ScrollBar.SetValue(value); }
  std::string Render() override { return view::RenderControl(Current()); }
  platform::FlexGrid* grid() override { return &Current().Grid; }
  platform::TextBox* editor() override { return &Current().txtEdit; }
  std::vector<std::string> TakeDebugOutput() override {
    const std::vector<std::string>& all = session_.container().debug_output();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(debug_seen_),
                                   all.end());
    debug_seen_ = all.size();
    return fresh;
  }

  int32_t NewControl() override {
    session_.NewControl();
    return control_count();
  }
  int32_t LoadControl(const std::string& path) override {
    session_.LoadControl(path);
    return control_count();
  }
  void SaveControl(const std::string& path) override { SaveControlFile(Current(), path); }
  int32_t control_count() const override { return static_cast<int32_t>(session_.control_count()); }
  void SelectControl(int32_t number) override {
    if (number < 1 || number > control_count()) {
      throw ScriptError("no control " + std::to_string(number) + " (the session has " +
                        std::to_string(control_count()) + ")");
    }
    session_.SelectControl(static_cast<size_t>(number - 1));
  }
  void EndControl() override {
    Current();
    session_.EndCurrent();
  }
  std::shared_ptr<platform::Dispatch> SecurityManager() override {
    return session_.security_manager();
  }
  void ChangeLanguage(int32_t lcid) override { session_.ChangeLanguage(lcid); }
  void ChangeActiveServer(const std::string& cluster, const std::string& server) override {
    host::ClusterRegistry& registry = *session_.host().registry;
    const auto& clusters = registry.config().clusters;
    auto c = std::find_if(clusters.begin(), clusters.end(),
                          [&](const host::ClusterConfig& x) { return x.name == cluster; });
    if (c == clusters.end()) throw ScriptError("no cluster \"" + cluster + "\" in the host");
    bool known = std::any_of(c->servers.begin(), c->servers.end(),
                             [&](const host::ServerConfig& x) { return x.name == server; });
    if (!known) {
      throw ScriptError("no server \"" + server + "\" in cluster \"" + cluster + "\"");
    }
    registry.SetActiveServer(cluster, server);
  }

 private:
  control::TabuloCtl& Current() {
    if (!session_.has_current()) {
      throw ScriptError("no current control: it was ended (use control N, new or load)");
    }
    return session_.current();
  }

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
