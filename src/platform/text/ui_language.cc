// The process-wide user-interface language.
#include "platform/text/ui_language.h"

#include <atomic>
#include <string>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

// One per user-interface thread, as the rest of the process state.
thread_local int32_t g_ui_language = kDefaultUserInterfaceLanguage;

}  // namespace

int32_t UserInterfaceLanguage() {
  return g_ui_language;
}

void SetUserInterfaceLanguage(int32_t lcid) {
  if (lcid <= 0) {
    throw ComError(kErrInvalidProcedureCall,
                   "Invalid user-interface language " + std::to_string(lcid), "Platform");
  }
  g_ui_language = lcid;
}

}  // namespace tabulo::platform
