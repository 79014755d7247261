// Names in the statements the control writes. A column name comes from the result and a
// table name from the DataTable property; either may hold blanks, reserved words, quotes or
// a whole clause, so neither is ever pasted into a statement as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tabulo::sql {

// `name` as an identifier of a statement: unchanged when it is a plain name (a letter or
// "_", then letters, digits and "_") that is no keyword, so that the database applies its
// own case rules as for any unquoted name; otherwise between double quotes with inner
// double quotes doubled ("my col", "group", "a=1 --").
std::string QuoteIdentifier(std::string_view name);

// A DataTable value as the table of an UPDATE: one name or "schema.table", each part a plain
// name (quoted by QuoteIdentifier when it is a keyword) or already quoted as "...", [...] or
// `...`; blanks at either end are dropped. Anything else (a clause, a second statement, an
// empty part) is no table name: nullopt.
std::optional<std::string> TableIdentifier(std::string_view table);

}  // namespace tabulo::sql
