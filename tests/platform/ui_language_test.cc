// Tests of the process-wide user-interface language setting.
#include "platform/text/ui_language.h"

#include <gtest/gtest.h>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

TEST(UserInterfaceLanguage, KeepsAnyPositiveIdentifierAndRefusesOthers) {
  SetUserInterfaceLanguage(1036);
  EXPECT_EQ(UserInterfaceLanguage(), 1036);
  SetUserInterfaceLanguage(2055);  // kept even though no component carries Swiss German
  EXPECT_EQ(UserInterfaceLanguage(), 2055);
  for (int32_t bad : {0, -1033}) {
    try {
      SetUserInterfaceLanguage(bad);
      ADD_FAILURE() << bad << " was accepted";
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), kErrInvalidProcedureCall);
    }
    EXPECT_EQ(UserInterfaceLanguage(), 2055);
  }
  SetUserInterfaceLanguage(kDefaultUserInterfaceLanguage);
}

}  // namespace
}  // namespace tabulo::platform
