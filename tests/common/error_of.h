// The error number a call raised: 0 when it returned normally.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/values/com_error.h"

namespace tabulo::test_support {

inline int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::ComError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace tabulo::test_support
