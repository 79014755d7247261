// The display of an interactive session: a container whose message boxes, signature dialog
// and popup menus are answered by an operator (a person at a terminal, or a test standing
// in for one) as they come, and whose timers run on a clock it is handed (the machine's
// clock for the terminal, a virtual one for tests). Everything shown is also recorded, as
// the headless container records it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/headless_container.h"

namespace tabulo::container {

// What the signature dialog asks of one signer.
struct SignatureRequest {
  std::string prompt;
  int signer = 1;  // 1, or 2 for the second signer of a dual signature
};

struct Signature {
  std::string user, password, reason;
};

// The person answering the display's questions.
class Operator {
 public:
  virtual ~Operator() = default;
  // One of platform::MsgBoxButtons(style) (kIdOk ...).
  virtual int AnswerMessageBox(const std::string& text, int32_t style,
                               const std::string& title) = 0;
  // Nothing when the operator cancels.
  virtual std::optional<Signature> Sign(const SignatureRequest& request) = 0;
  // The chosen caption's index, or -1 for none.
  virtual int ChooseFromMenu(const std::vector<std::string>& captions) = 0;
  // The colour picker or the font chooser (platform::kDialogColor, kDialogChooseFontW, with
  // the dialog's arguments): the answer, or nothing where the operator is offered neither
  // (the dialog is then cancelled).
  virtual std::optional<platform::DialogAnswer> Choose(std::string_view /*dialog*/,
                                                       const std::vector<platform::Variant>&) {
    return std::nullopt;
  }
};

class OperatorContainer : public platform::HeadlessContainer {
 public:
  // Neither is owned; both outlive the container.
  OperatorContainer(Operator& person, platform::Clock& clock);
  ~OperatorContainer() override;

  // The signature dialog, the colour picker and the font chooser go to the operator; other
  // dialogs are cancelled.
  platform::Variant ShowDialog(std::string dialog, std::vector<platform::Variant>& args) override;
  int PopupMenu(std::vector<std::string> captions, double x, double y) override;
  platform::Clock& clock() override { return clock_; }
  platform::EventLoop& event_loop() override { return *loop_; }

 protected:
  int ShowMessageBox(const std::string& text, int32_t style, const std::string& title) override;

 private:
  Operator& person_;
  platform::Clock& clock_;
  std::unique_ptr<platform::EventLoop> loop_;
};

}  // namespace tabulo::container
