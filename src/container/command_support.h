// What the container program's small commands take from the layers below: the string
// table's listing (`tabulo strings`) and the password hash line of a host configuration's
// user (`tabulo hash-password`).
#pragma once

#include <string>

#include "host/audit/password_hash.h"

namespace tabulo::container {

using host::HashPassword;
using host::kDefaultPasswordIterations;
using host::kMaxPasswordIterations;
using host::kMinPasswordIterations;

// The built-in string table: a header line, then one line per text (its id and its
// 1031, 1033 and 1036 versions).
std::string StringTableListing();

}  // namespace tabulo::container
