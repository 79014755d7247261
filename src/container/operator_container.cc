// The operator's display (operator_container.h). Each question is put to the operator and
// the answer queued, so that the headless container's own rules record it as shown.
#include "container/operator_container.h"

#include <algorithm>

#include "platform/values/conversions.h"

namespace tabulo::container {

OperatorContainer::OperatorContainer(Operator& person, platform::Clock& clock)
    : person_(person), clock_(clock), loop_(std::make_unique<platform::EventLoop>(clock)) {}

OperatorContainer::~OperatorContainer() = default;

int OperatorContainer::ShowMessageBox(const std::string& text, int32_t style,
                                      const std::string& title) {
  if (pending_answers() == 0) {
    int answer = person_.AnswerMessageBox(text, style, title);
    // An answer the box does not offer would be a value no real box returns.
    std::vector<int> buttons = platform::MsgBoxButtons(style);
    if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end())
      answer = platform::MsgBoxDefaultAnswer(style);
    QueueAnswer(answer);
  }
  return HeadlessContainer::ShowMessageBox(text, style, title);
}

platform::Variant OperatorContainer::ShowDialog(std::string dialog,
                                                std::vector<platform::Variant>& args) {
  if (dialog == platform::kDialogESignature && pending_dialog_answers() == 0) {
    SignatureRequest request;
    const platform::Locale& locale = UserLocale();
    if (args.size() > 3 && !args[3].IsEmpty()) request.prompt = platform::CStr(args[3], locale);
    if (args.size() > 4 && !args[4].IsEmpty()) request.signer = platform::CLng(args[4], locale);
    std::optional<Signature> signed_by = person_.Sign(request);
    if (signed_by) {
      QueueDialogAnswer(platform::DialogAnswer::Ok(
          platform::Variant(true),
          {platform::Variant(signed_by->user), platform::Variant(signed_by->password),
           platform::Variant(signed_by->reason)}));
    } else {
      QueueDialogAnswer(platform::DialogAnswer::Cancel());
    }
  } else if ((dialog == platform::kDialogColor || dialog == platform::kDialogChooseFontW) &&
             pending_dialog_answers() == 0) {
    if (std::optional<platform::DialogAnswer> answer = person_.Choose(dialog, args))
      QueueDialogAnswer(std::move(*answer));
  }
  return HeadlessContainer::ShowDialog(std::move(dialog), args);
}

int OperatorContainer::PopupMenu(std::vector<std::string> captions, double x, double y) {
  QueuePopupChoice(person_.ChooseFromMenu(captions));
  return HeadlessContainer::PopupMenu(std::move(captions), x, y);
}

}  // namespace tabulo::container
