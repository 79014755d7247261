// Fuzzes the host configuration reader: any text is read or refused with ComError.
#include <string>

#include "host/cluster/host_config.h"
#include "platform/values/com_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    (void)tabulo::host::ParseHostConfig(std::string(reinterpret_cast<const char*>(data), size),
                                        "fuzz.json");
  } catch (const tabulo::platform::ComError&) {
  }
  return 0;
}
