// The script host of a hosting session: `tabulo script` (and the commands that share the
// script language) drive the session's controls through it. Control 1 is the one the
// session holds when the host is made; the input commands reach the current control's grid
// and cell editor.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "container/design_desk.h"
#include "container/script/host.h"
#include "container/session.h"

namespace tabulo::container {

class SessionScriptHost : public ScriptHost {
 public:
  explicit SessionScriptHost(Session& session) : session_(session), desk_(session) {}

  platform::Dispatch& control() override;
  platform::HeadlessContainer& container() override { return session_.container(); }
  void Size(int32_t width_twips, int32_t height_twips) override;
  void SetMode(bool run) override { session_.SetRunMode(run); }
  void Scroll(int32_t value) override;
  std::string Render() override;
  platform::FlexGrid* grid() override;
  platform::TextBox* editor() override;
  std::vector<std::string> TakeDebugOutput() override;

  int32_t NewControl() override;
  int32_t LoadControl(const std::string& path) override;
  void SaveControl(const std::string& path) override;
  int32_t control_count() const override { return static_cast<int32_t>(session_.control_count()); }
  void SelectControl(int32_t number) override;
  void EndControl() override;
  std::shared_ptr<platform::Dispatch> SecurityManager() override;
  void ChangeLanguage(int32_t lcid) override { session_.ChangeLanguage(lcid); }
  void ChangeActiveServer(const std::string& cluster, const std::string& server) override;
  // The designer's commands (design_desk.h).
  void AddCommands(CommandTable& table) override { desk_.AddCommands(table); }
  DesignDesk& desk() { return desk_; }
  // An open page or dialog drawn as laid out (view::RenderFormLayout) rather than listed;
  // `ansi` underlines access keys and marks the focus.
  void DrawFormsLaidOut(bool ansi) {
    laid_out_ = true;
    ansi_ = ansi;
  }

 private:
  // The current control; ScriptError when the script ended it.
  control::TabuloCtl& Current();

  Session& session_;
  DesignDesk desk_;
  bool laid_out_ = false, ansi_ = false;
  size_t debug_seen_ = 0;
};

}  // namespace tabulo::container
