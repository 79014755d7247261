#include "container/session.h"

#include <cstdlib>

#include "container/control_file.h"
#include "host/audit/security_manager.h"
#include "platform/text/ui_language.h"
#include "platform/values/com_error.h"

namespace tabulo::container {

int32_t UiLanguageFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string v(value);
    if (v.rfind("de", 0) == 0) return 1031;
    if (v.rfind("fr", 0) == 0) return 1036;
    return 1033;
  }
  return 1033;
}

Session::Session(const SessionOptions& options,
                 std::unique_ptr<platform::HeadlessContainer> display)
    : container_(display ? std::move(display) : std::make_unique<platform::HeadlessContainer>()),
      state_(std::make_shared<platform::ProcessState>()),
      host_(InstallHost(options.host_config, state_)),
      site_(std::make_shared<HostControlSite>(host::NewSecurityManager(
          host_.config, *container_,
          options.operator_name.empty() ? host::LocalUserName() : options.operator_name))),
      width_(options.width),
      height_(options.height) {
  const platform::Locale* locale = platform::Locale::Find(options.locale);
  if (!locale)
    throw platform::ComError(
        5, "Unknown locale \"" + options.locale + "\" (use en-US, de-DE or fr-FR)");
  container_->SetProcessState(state_);
  SetLoadProgressSink(*state_, options.load_progress);
  container_->SetUserLocale(*locale);
  // A display opens in design mode; the host switches it to run mode.
  container_->SetAmbientUserMode(false);
  container_->SetHostRuntime(true);
  container_->SetModuleFileName("C:\\Program Files\\VELTRA\\Brindle\\Brindle.exe");
  WatchClusterServers(container_->event_loop(), host_);
  // The records of a change a killed process left pending are settled before any control
  // starts; a store that cannot be written keeps them pending and is the next write's error.
  try {
    ResolvePendingAuditIntents(host_.config);
  } catch (const platform::ComError&) {
  }
  platform::SetUserInterfaceLanguage(options.ui_language ? options.ui_language
                                                         : UiLanguageFromEnvironment());
}

Session::~Session() {
  for (auto& c : controls_) c->Terminate();
  controls_.clear();
  UninstallHost(*state_);
}

control::TabuloCtl& Session::NewControl() {
  auto ctl = std::make_unique<control::TabuloCtl>(*container_);
  ctl->InitNew();
  return Place(std::move(ctl));
}

control::TabuloCtl& Session::LoadControl(const std::filesystem::path& path) {
  auto ctl = std::make_unique<control::TabuloCtl>(*container_);
  // A file that cannot be read raises before the control is touched: it is dropped without
  // Terminate, which would release the data server the other controls share.
  LoadControlFile(path, *ctl);
  // A data source file named by a relative path is the one beside the control file, where
  // the file was saved with it, whatever folder the display runs in.
  if (ctl->ServerType() == 0 && !ctl->DSNname().empty() && path.has_parent_path()) {
    const std::filesystem::path source(ctl->DSNname());
    std::error_code error;
    const std::filesystem::path beside = path.parent_path() / source;
    if (source.is_relative() && std::filesystem::is_regular_file(beside, error))
      ctl->SetDSNname(beside.string());
  }
  return Place(std::move(ctl));
}

control::TabuloCtl& Session::Place(std::unique_ptr<control::TabuloCtl> ctl) {
  ctl->Resize(width_, height_);
  ctl->Show();
  ctl->SetControlSite(static_cast<int32_t>(controls_.size() + 1), site_, 1033, 1033, 0, "");
  if (container_->AmbientUserMode()) ctl->UserModeSet();
  controls_.push_back(std::move(ctl));
  ended_.push_back(false);
  current_ = controls_.size() - 1;
  return *controls_.back();
}

control::TabuloCtl& Session::current() {
  if (!has_current()) throw platform::ComError::ObjectNotSet();
  return *controls_[current_];
}

void Session::SelectControl(size_t index) {
  if (index >= controls_.size()) throw platform::ComError(9, "Subscript out of range");
  current_ = index;
}

void Session::EndCurrent() {
  current().Terminate();
  ended_[current_] = true;
  current_ = controls_.size();
}

void Session::ChangeLanguage(int32_t lcid) {
  for (size_t i = 0; i < controls_.size(); ++i)
    if (!ended_[i]) controls_[i]->OnLanguageChange(lcid);
}

std::shared_ptr<platform::Dispatch> Session::security_manager() const {
  return site_->GetService(host::kServiceSecurityManager);
}

void Session::SetRunMode(bool run) {
  container_->SetAmbientUserMode(run);
  if (run)
    for (auto& c : controls_) c->UserModeSet();
}

void Session::Run(int64_t ms) {
  container_->event_loop().RunFor(ms);
}

}  // namespace tabulo::container
