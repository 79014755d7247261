// The process-wide state of localization.
#include "localization/state.h"

#include "localization/string_table.h"

namespace tabulo::localization {

thread_local std::shared_ptr<platform::Dispatch> g_ResourceStore;
thread_local bool g_ResourceStoreTried = false;
thread_local int32_t g_Language = kLanguageEnglish;
thread_local platform::WindowHandle g_ApplyButtonWindow = 0;

void ResetLocalizationState() {
  g_ResourceStore.reset();
  g_ResourceStoreTried = false;
  g_Language = kLanguageEnglish;
  g_ApplyButtonWindow = 0;
}

}  // namespace tabulo::localization
