// The localization values every control instance, property page and dialog of a session
// shares: its part of the session's process state (platform/runtime/process_state.h).
#pragma once

#include <cstdint>
#include <memory>

#include "localization/string_table.h"
#include "platform/automation/dispatch.h"
#include "platform/runtime/container.h"
#include "platform/runtime/event_loop.h"

namespace tabulo::localization {

struct LocalizationState {
  // The resource store, once created; null when there is none.
  std::shared_ptr<platform::Dispatch> resource_store;
  // Creation of the store has been attempted (successfully or not); it is never retried.
  bool resource_store_tried = false;
  // The controls' language: 1031, 1033 or 1036; 1033 until a control sets it.
  int32_t language = kLanguageEnglish;
  // The data source page's apply button remembered by ApplyOnPageSwitch; 0 = none.
  platform::WindowHandle apply_button = 0;
};

// The part of the process state `site` carries.
inline LocalizationState& SharedLocalization(platform::Container& site) {
  return site.process_state().Get<LocalizationState>();
}

}  // namespace tabulo::localization
