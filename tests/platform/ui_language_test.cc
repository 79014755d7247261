// The process-wide user-interface language setting.
#include "platform/text/ui_language.h"

#include <gtest/gtest.h>

#include "common/error_of.h"
#include "platform/values/com_error.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

TEST(UserInterfaceLanguage, KeepsAnyPositiveIdentifierAndRefusesOthers) {
  SetUserInterfaceLanguage(1036);
  EXPECT_EQ(UserInterfaceLanguage(), 1036);
  SetUserInterfaceLanguage(2055);  // kept even though no component carries Swiss German
  EXPECT_EQ(UserInterfaceLanguage(), 2055);
  for (int32_t bad : {0, -1033}) {
    EXPECT_EQ(ErrorOf([&] { SetUserInterfaceLanguage(bad); }), kErrInvalidProcedureCall) << bad;
    EXPECT_EQ(UserInterfaceLanguage(), 2055);
  }
  SetUserInterfaceLanguage(kDefaultUserInterfaceLanguage);
}

}  // namespace
}  // namespace tabulo::platform
