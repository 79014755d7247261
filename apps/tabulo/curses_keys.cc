#include "curses_keys.h"

#include <curses.h>

namespace tabulo::app {

int ExtendedKey(const char* name) {
  char* sequence = tigetstr(name);
  if (sequence == nullptr || sequence == reinterpret_cast<char*>(-1)) return -1;
  const int code = key_defined(sequence);
  return code > 0 ? code : -1;
}

}  // namespace tabulo::app
