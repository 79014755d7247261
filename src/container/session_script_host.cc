// The script host of a hosting session (session_script_host.h).
#include "container/session_script_host.h"

#include <algorithm>
#include <sstream>

#include "container/control_file.h"
#include "container/script/error.h"
#include "pages/usr_control_properties.h"
#include "view/browser_scene.h"
#include "view/control_scene.h"
#include "view/form_renderer.h"

namespace tabulo::container {

platform::Dispatch& SessionScriptHost::control() {
  return Current();
}

void SessionScriptHost::Size(int32_t width_twips, int32_t height_twips) {
  Current().Resize(width_twips, height_twips);
}

void SessionScriptHost::Scroll(int32_t value) {
  Current().ScrollBar.SetValue(value);
}

std::string SessionScriptHost::Render() {
  // An open property page or dialog is drawn in place of the control.
  if (platform::Form* form = desk_.form()) {
    if (!laid_out_) return view::RenderForm(*form);
    std::string out = view::RenderFormLayout(*form, ansi_);
    // What the General page's Font and Color buttons ("...") stand for.
    if (auto* general = dynamic_cast<pages::UsrControlProperties*>(form)) {
      std::string font = "(none)";
      if (const auto& f = general->font()) {
        std::ostringstream size;
        size << f->size();
        font = f->name() + " " + size.str() + " pt" + (f->bold() ? " bold" : "") +
               (f->italic() ? " italic" : "") + (f->underline() ? " underline" : "") +
               (f->strikethrough() ? " strikeout" : "");
      }
      out += " Font: " + font + "   Background Color: " + view::CssColor(general->back_color()) +
             "   Font Color: " + view::CssColor(general->fore_color()) + "\n";
    }
    return out;
  }
  return view::RenderControl(Current());
}

platform::FlexGrid* SessionScriptHost::grid() {
  return &Current().Grid;
}

platform::TextBox* SessionScriptHost::editor() {
  return &Current().txtEdit;
}

std::vector<std::string> SessionScriptHost::TakeDebugOutput() {
  const std::vector<std::string>& all = session_.container().debug_output();
  std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(debug_seen_), all.end());
  debug_seen_ = all.size();
  return fresh;
}

int32_t SessionScriptHost::NewControl() {
  session_.NewControl();
  return control_count();
}

int32_t SessionScriptHost::LoadControl(const std::string& path) {
  session_.LoadControl(path);
  return control_count();
}

void SessionScriptHost::SaveControl(const std::string& path) {
  SaveControlFile(Current(), path);
}

void SessionScriptHost::SelectControl(int32_t number) {
  if (number < 1 || number > control_count()) {
    throw ScriptError("no control " + std::to_string(number) + " (the session has " +
                      std::to_string(control_count()) + ")");
  }
  session_.SelectControl(static_cast<size_t>(number - 1));
}

void SessionScriptHost::EndControl() {
  Current();
  session_.EndCurrent();
}

std::shared_ptr<platform::Dispatch> SessionScriptHost::SecurityManager() {
  return session_.security_manager();
}

void SessionScriptHost::ChangeActiveServer(const std::string& cluster, const std::string& server) {
  host::ClusterRegistry& registry = *session_.host().registry;
  const auto& clusters = registry.config().clusters;
  auto c = std::find_if(clusters.begin(), clusters.end(),
                        [&](const host::ClusterConfig& x) { return x.name == cluster; });
  if (c == clusters.end()) throw ScriptError("no cluster \"" + cluster + "\" in the host");
  bool known = std::any_of(c->servers.begin(), c->servers.end(),
                           [&](const host::ServerConfig& x) { return x.name == server; });
  if (!known) throw ScriptError("no server \"" + server + "\" in cluster \"" + cluster + "\"");
  registry.SetActiveServer(cluster, server);
}

control::TabuloCtl& SessionScriptHost::Current() {
  if (!session_.has_current())
    throw ScriptError("no current control: it was ended (use control N, new or load)");
  return session_.current();
}

}  // namespace tabulo::container
