// A configuration whose number is beyond a double's range is refused as a bad file, not a
// crash (found by fuzzing).
#include <gtest/gtest.h>

#include "common/error_of.h"
#include "host/host_config.h"

namespace tabulo::host {
namespace {

TEST(HostConfigNumbers, OutOfRangeNumbersAreAConfigurationError) {
  for (const char* text : {"[2E501", "{\"clusters\": 1e999}"}) {
    // The configuration's errors are 0x80004005, as every refusal of the file.
    EXPECT_EQ(
        static_cast<uint32_t>(test_support::ErrorOf([&] { ParseHostConfig(text, "host.json"); })),
        0x80004005u)
        << text;
  }
}

}  // namespace
}  // namespace tabulo::host
