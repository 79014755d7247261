// Applying the data source page's changes when another page is shown.
#include "localization/page_switch.h"

namespace tabulo::localization {

void ApplyOnPageSwitch(LocalizationState& state, platform::EventLoop& loop,
                       platform::WindowHandle button) {
  if (button == state.apply_button) return;
  if (state.apply_button != 0) {
    loop.PostMessage(state.apply_button, platform::kWmLButtonDown, 0, 0);
    loop.PostMessage(state.apply_button, platform::kWmLButtonUp, 0, 0);
  }
  try {
    loop.DoEvents();
  } catch (...) {
    // The click was delivered; remember the new button anyway so it is not clicked again.
    state.apply_button = button;
    throw;
  }
  state.apply_button = button;
}

}  // namespace tabulo::localization
