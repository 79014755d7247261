// Keys the terminal's description names beyond curses' own function keys.
#pragma once

namespace tabulo::app {

// The key code curses gives a key the terminal's description names (e.g. "kEND5", Ctrl+End;
// "kNXT5", Ctrl+PgDn); -1 when it names none. Call after curses has started.
int ExtendedKey(const char* name);

}  // namespace tabulo::app
