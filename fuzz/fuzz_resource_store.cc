// Fuzzes the resource store file: any text is read or refused with ComError 31037, and a
// store that was read answers every lookup without raising.
#include <string>

#include "fuzz_input.h"
#include "host/resource_store.h"
#include "platform/values/com_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::shared_ptr<tabulo::host::ResourceStore> store;
  try {
    store = tabulo::host::ResourceStore::Parse(
        std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.txt");
  } catch (const tabulo::platform::ComError& e) {
    if (e.number() != tabulo::host::kErrResourceFileFormat) tabulo::fuzz::Broken();
    return 0;
  }
  for (int32_t language : {0, 1031, 1033, 1036}) (void)store->Find("Tabulo", 1210, language);
  return 0;
}
