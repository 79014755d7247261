#include "platform/runtime/container.h"

#include <algorithm>

#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "platform/widgets/form.h"

namespace tabulo::platform {
namespace {

constexpr char kSource[] = "Container";

// Twips per unit of a scale mode along one axis.
double TwipsPerUnit(int mode, double twips_per_character) {
  switch (mode) {
    case kScaleTwips:
      return 1.0;
    case kScalePoints:
      return 20.0;
    case kScalePixels:
      return kTwipsPerPixel;
    case kScaleCharacters:
      return twips_per_character;
    case kScaleInches:
      return 1440.0;
    case kScaleMillimeters:
      return 1440.0 / 25.4;
    case kScaleCentimeters:
      return 1440.0 / 2.54;
  }
  throw ComError::InvalidProcedureCall(kSource);
}

double Scale(double value, int from_mode, int to_mode, double twips_per_character) {
  double from = TwipsPerUnit(from_mode, twips_per_character);
  double to = TwipsPerUnit(to_mode, twips_per_character);
  if (from_mode == to_mode) return value;
  return value * from / to;
}

}  // namespace

std::vector<int> MsgBoxButtons(int32_t style) {
  switch (style & 7) {
    case kMbOkOnly:
      return {kIdOk};
    case kMbOkCancel:
      return {kIdOk, kIdCancel};
    case kMbAbortRetryIgnore:
      return {kIdAbort, kIdRetry, kIdIgnore};
    case kMbYesNoCancel:
      return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo:
      return {kIdYes, kIdNo};
    case kMbRetryCancel:
      return {kIdRetry, kIdCancel};
  }
  throw ComError::InvalidProcedureCall(kSource);
}

int MsgBoxDefaultAnswer(int32_t style) {
  std::vector<int> buttons = MsgBoxButtons(style);
  size_t index = static_cast<size_t>((style & 0x300) >> 8);
  return index < buttons.size() ? buttons[index] : buttons[0];
}

const char* ButtonCaption(int answer) {
  static constexpr const char* kCaptions[] = {"",      "OK",     "Cancel", "Abort",
                                              "Retry", "Ignore", "Yes",    "No"};
  return answer >= kIdOk && answer <= kIdNo ? kCaptions[answer] : "";
}

ComError DialogCancelled(std::string source) {
  return ComError(kErrDialogCancelled, "Cancel was selected.", std::move(source));
}

AmbientListenerToken Container::AddAmbientListener(AmbientListener listener) {
  AmbientListenerToken token = next_token_++;
  listeners_.push_back({token, std::make_shared<AmbientListener>(std::move(listener))});
  return token;
}

void Container::RemoveAmbientListener(AmbientListenerToken token) {
  std::erase_if(listeners_, [token](const Listener& l) { return l.token == token; });
}

void Container::NotifyAmbientChanged(std::string_view name) {
  std::vector<Listener> snapshot = listeners_;
  for (const Listener& l : snapshot) {
    bool still_registered = std::any_of(listeners_.begin(), listeners_.end(),
                                        [&l](const Listener& x) { return x.token == l.token; });
    if (!still_registered) continue;
    try {
      (*l.call)(name);
    } catch (const ComError&) {
    }
  }
}

int Container::MsgBox(std::string text, int32_t style, std::string title) {
  MsgBoxButtons(style);  // rejects an unknown button set before anything is shown
  if (title.empty()) title = std::string(kDefaultMsgBoxTitle);
  return ShowMessageBox(text, style, title);
}

std::optional<int32_t> Container::ChooseColor(int32_t initial) {
  std::vector<Variant> args{Variant(initial), Variant(int32_t{3})};
  Variant result;
  try {
    result = ShowDialog(std::string(kDialogColor), args);
  } catch (const ComError& e) {
    if (e.number() == kErrDialogCancelled) return std::nullopt;
    throw;
  }
  return CLng(result, UserLocale());
}

bool Container::ChooseFont(StdFont& font) {
  std::vector<Variant> args{Variant(font.Clone())};
  Variant result;
  try {
    result = ShowDialog(std::string(kDialogFont), args);
  } catch (const ComError& e) {
    if (e.number() == kErrDialogCancelled) return false;
    throw;
  }
  auto chosen = result.IsObject() ? std::dynamic_pointer_cast<StdFont>(result.AsObject()) : nullptr;
  if (!chosen) throw ComError::TypeMismatch(kSource);
  font.SetWeight(chosen->weight());
  font.SetBold(chosen->weight() >= StdFont::kWeightBold);
  font.SetItalic(chosen->italic());
  font.SetUnderline(chosen->underline());
  font.SetStrikethrough(chosen->strikethrough());
  font.SetName(chosen->name());
  font.SetSize(chosen->size());
  font.SetCharset(chosen->charset());
  return true;
}

bool Container::ChooseFontW(LogFontRecord& record) {
  std::vector<Variant> args{Variant(record.weight),    Variant(record.italic),
                            Variant(record.underline), Variant(record.strike_out),
                            Variant(record.face_name), Variant(record.point_size),
                            Variant(record.charset)};
  try {
    ShowDialog(std::string(kDialogChooseFontW), args);
  } catch (const ComError& e) {
    if (e.number() == kErrDialogCancelled) return false;
    throw;
  }
  const Locale& loc = UserLocale();
  record.weight = CLng(args[0], loc);
  record.italic = CLng(args[1], loc);
  record.underline = CLng(args[2], loc);
  record.strike_out = CLng(args[3], loc);
  record.face_name = CStr(args[4], loc);
  record.point_size = CLng(args[5], loc);
  record.charset = CLng(args[6], loc);
  return true;
}

void Container::ShowModal(Form& form) {
  form.set_shown(true);
  try {
    if (modal_runner_) modal_runner_(form);
  } catch (...) {
    form.set_shown(false);
    throw;
  }
  form.set_shown(false);
}

double Container::ScaleX(double value, int from_mode, int to_mode) const {
  return Scale(value, from_mode, to_mode, kTwipsPerCharacterX);
}

double Container::ScaleY(double value, int from_mode, int to_mode) const {
  return Scale(value, from_mode, to_mode, kTwipsPerCharacterY);
}

void Container::SetMousePointer(int16_t pointer) {
  if ((pointer < 0 || pointer > 15) && pointer != 99) throw ComError::InvalidPropertyValue(kSource);
  ApplyMousePointer(pointer);
}

}  // namespace tabulo::platform
