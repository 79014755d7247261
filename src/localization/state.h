// The process-wide state of localization, shared by every control instance, property page
// and dialog of the process. Only the user-interface thread touches it, so it has no lock;
// each user-interface thread has its own.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/automation/dispatch.h"
#include "platform/runtime/event_loop.h"

namespace tabulo::localization {

// The resource store, once created; null when there is none.
extern thread_local std::shared_ptr<platform::Dispatch> g_ResourceStore;
// Creation of the store has been attempted (successfully or not); it is never retried.
extern thread_local bool g_ResourceStoreTried;
// The controls' language: 1031, 1033 or 1036; 1033 until a control sets it.
extern thread_local int32_t g_Language;
// The data source page's apply button remembered by ApplyOnPageSwitch; 0 = none.
extern thread_local platform::WindowHandle g_ApplyButtonWindow;

// Back to the state of a fresh process (no store, not tried, 1033, no button). For tests.
void ResetLocalizationState();

}  // namespace tabulo::localization
