// Applying the data source page's changes when another page is shown.
#include "localization/page_switch.h"

#include "localization/state.h"

namespace tabulo::localization {

void ApplyOnPageSwitch(platform::EventLoop& loop, platform::WindowHandle button) {
  if (button == g_ApplyButtonWindow) return;
  if (g_ApplyButtonWindow != 0) {
    loop.PostMessage(g_ApplyButtonWindow, platform::kWmLButtonDown, 0, 0);
    loop.PostMessage(g_ApplyButtonWindow, platform::kWmLButtonUp, 0, 0);
  }
  try {
    loop.DoEvents();
  } catch (...) {
    // The click was delivered; remember the new button anyway so it is not clicked again.
    g_ApplyButtonWindow = button;
    throw;
  }
  g_ApplyButtonWindow = button;
}

}  // namespace tabulo::localization
