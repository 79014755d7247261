// Container: the services a hosted control reaches through its site. The control calls
// nothing else of its host's user interface: ambient properties and their change
// notification, the property-changed notification, message boxes, modal dialogs (with the
// colour picker and font chooser on top of them), scale conversion, the mouse pointer, popup
// menus, the debug output, the user's locale, the clock and the event loop, and what the
// container says about itself (host runtime or not, its module file name).
//
// The non-virtual members hold the rules every container shares (default title, default
// answers, scale factors, dialog names); the virtual ones are what a container supplies.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"
#include "platform/runtime/process_state.h"
#include "platform/text/locale.h"
#include "platform/values/variant.h"
#include "platform/widgets/std_font.h"

namespace tabulo::platform {

class Form;

// Message box style bits: one button set, plus an icon and a default button.
inline constexpr int32_t kMbOkOnly = 0;
inline constexpr int32_t kMbOkCancel = 1;
inline constexpr int32_t kMbAbortRetryIgnore = 2;
inline constexpr int32_t kMbYesNoCancel = 3;
inline constexpr int32_t kMbYesNo = 4;
inline constexpr int32_t kMbRetryCancel = 5;
inline constexpr int32_t kMbCritical = 16;
inline constexpr int32_t kMbQuestion = 32;
inline constexpr int32_t kMbExclamation = 48;
inline constexpr int32_t kMbInformation = 64;
inline constexpr int32_t kMbDefaultButton2 = 256;
inline constexpr int32_t kMbDefaultButton3 = 512;

// Message box answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The title a message box shows when the caller gives none.
inline constexpr std::string_view kDefaultMsgBoxTitle = "Tabulo";

// The buttons of a style's button set, left to right (style & 7; 5 is the last set).
// An unknown set raises 5.
std::vector<int> MsgBoxButtons(int32_t style);
// The answer of the default button: the first, or the second/third with kMbDefaultButton2/3
// when the set has that many buttons (otherwise the first).
int MsgBoxDefaultAnswer(int32_t style);
// The caption of an answer's button ("OK" for kIdOk ... "No" for kIdNo); "" for another.
const char* ButtonCaption(int answer);

// Names of the modal dialogs a control shows through ShowDialog.
inline constexpr std::string_view kDialogESignature = "ESignature";
inline constexpr std::string_view kDialogColor = "Color";
inline constexpr std::string_view kDialogFont = "Font";
inline constexpr std::string_view kDialogPropertyPages = "PropertyPages";
inline constexpr std::string_view kDialogChooseFontW = "ChooseFontW";

// The font chooser's record (the fields a caller fills and reads back): the style flags are
// bytes, and the chooser reports a set flag as any non-zero value (255 as a rule).
struct LogFontRecord {
  int32_t height = 0;  // minus the cell height in pixels
  int32_t weight = 400;
  int32_t italic = 0, underline = 0, strike_out = 0;
  int32_t charset = 0;
  std::string face_name;   // may hold a zero character: the name ends there
  int32_t point_size = 0;  // tenths of a point
};

// The common dialog's cancel error, raised by ShowDialog when the user cancels.
inline constexpr int32_t kErrDialogCancelled = 32755;
ComError DialogCancelled(std::string source = {});  // 32755 "Cancel was selected."

// Scale modes understood by ScaleX/ScaleY.
inline constexpr int kScaleTwips = 1;
inline constexpr int kScalePoints = 2;
inline constexpr int kScalePixels = 3;
inline constexpr int kScaleCharacters = 4;
inline constexpr int kScaleInches = 5;
inline constexpr int kScaleMillimeters = 6;
inline constexpr int kScaleCentimeters = 7;

inline constexpr double kTwipsPerPixel = 15.0;
inline constexpr double kTwipsPerCharacterX = 120.0;
inline constexpr double kTwipsPerCharacterY = 240.0;

// Mouse pointers the control uses (any of 0..15 and 99 is accepted).
inline constexpr int16_t kPointerDefault = 0;
inline constexpr int16_t kPointerHourglass = 11;

using AmbientListener = std::function<void(std::string_view name)>;
using AmbientListenerToken = int64_t;

class Container {
 public:
  virtual ~Container() = default;

  // Ambient properties. UserMode true is run mode.
  virtual bool AmbientUserMode() const = 0;
  // The container's font object itself; a control that changes it must clone it first.
  virtual std::shared_ptr<StdFont> AmbientFont() const = 0;
  virtual std::string AmbientDisplayName() const = 0;

  // Ambient change notification: listeners are called with the property's name, in the
  // order they registered. A listener's ComError is dropped (the container cannot act on a
  // control's failure) and the others are still called. Removing a listener while
  // notifications run takes effect at once.
  // A control removes its listener before it ends.
  AmbientListenerToken AddAmbientListener(AmbientListener listener);
  void RemoveAmbientListener(AmbientListenerToken token);

  // The control tells the container that one of its properties changed.
  virtual void PropertyChanged(std::string_view name) = 0;

  // A message box; returns the answer (kIdOk ...). An empty title shows kDefaultMsgBoxTitle.
  // An unknown button set raises 5.
  int MsgBox(std::string text, int32_t style, std::string title);

  // A named modal dialog (kDialog...). The dialog may change `args` (by-reference values)
  // and returns its result; a cancelled dialog raises DialogCancelled().
  virtual Variant ShowDialog(std::string dialog, std::vector<Variant>& args) = 0;
  // The colour picker (kDialogColor, args: the colour, flags 3 = start from it with custom
  // colours open); the chosen colour, or nothing when cancelled.
  std::optional<int32_t> ChooseColor(int32_t initial);
  // The font chooser (kDialogFont, args: the font). The dialog answers with a font object;
  // its attributes are copied onto `font` in place (Weight, Bold, Italic, Underline,
  // Strikethrough, Name, Size, Charset). False when cancelled; `font` is then unchanged.
  bool ChooseFont(StdFont& font);
  // The font chooser on a record (kDialogChooseFontW, args by reference: weight, italic,
  // underline, strike-out, face name, point size in tenths, charset). True when a font was
  // chosen and copied into `record`; false when cancelled (the record is then unchanged).
  bool ChooseFontW(LogFontRecord& record);

  // Shows `form` modally: the modal runner drives it (a real container runs a message loop
  // for it) until the form hides itself; the form is then hidden whatever happened. Without
  // a runner the form closes at once, as a dialog the user dismissed.
  using ModalRunner = std::function<void(Form& form)>;
  void SetModalRunner(ModalRunner runner) { modal_runner_ = std::move(runner); }
  void ShowModal(Form& form);

  // value converted between scale modes (kScale...); an unknown mode raises 5.
  double ScaleX(double value, int from_mode, int to_mode) const;
  double ScaleY(double value, int from_mode, int to_mode) const;

  // The screen's mouse pointer. A value outside 0..15 and 99 raises 380.
  virtual int16_t MousePointer() const = 0;
  void SetMousePointer(int16_t pointer);

  // A popup menu at (x, y) in twips; the chosen item's index, or -1 when none was chosen.
  virtual int PopupMenu(std::vector<std::string> captions, double x, double y) = 0;

  // The platform's debug output; the text is taken as written (line ends included).
  virtual void OutputDebugString(std::string_view text) = 0;

  virtual const Locale& UserLocale() const = 0;
  virtual Clock& clock() = 0;
  virtual EventLoop& event_loop() = 0;

  // Whether the container is the host runtime; its module's file name.
  virtual bool IsHostRuntime() const = 0;
  virtual std::string ModuleFileName() const = 0;

  // The process-wide values of the controls sited here (process_state.h). A container has
  // a fresh one of its own until its session hands it the session's.
  ProcessState& process_state() { return *process_state_; }
  void SetProcessState(std::shared_ptr<ProcessState> state) { process_state_ = std::move(state); }

 protected:
  // Calls the ambient listeners with `name`.
  void NotifyAmbientChanged(std::string_view name);
  // What a container does to show a box (the title already substituted, the style checked).
  virtual int ShowMessageBox(const std::string& text, int32_t style, const std::string& title) = 0;
  virtual void ApplyMousePointer(int16_t pointer) = 0;

 private:
  struct Listener {
    AmbientListenerToken token;
    std::shared_ptr<AmbientListener> call;
  };
  std::vector<Listener> listeners_;
  AmbientListenerToken next_token_ = 1;
  ModalRunner modal_runner_;
  std::shared_ptr<ProcessState> process_state_ = std::make_shared<ProcessState>();
};

}  // namespace tabulo::platform
