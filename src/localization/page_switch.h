// The routine every property page's paint handler calls, so that leaving the data source
// page applies its pending changes exactly once.
#pragma once

#include "localization/state.h"
#include "platform/runtime/event_loop.h"

namespace tabulo::localization {

// When `button` differs from state.apply_button: clicks the remembered button, if any
// (left button down, then up, posted to it), lets every pending message run on `loop` so
// the click's handler has finished, and remembers `button`. The data source page passes
// its apply button, every other page 0. When both are equal, nothing happens.
void ApplyOnPageSwitch(LocalizationState& state, platform::EventLoop& loop,
                       platform::WindowHandle button);

}  // namespace tabulo::localization
