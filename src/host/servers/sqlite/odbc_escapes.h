// ODBC date and time escapes, translated into SQLite's own terms before a statement runs, as an
// ODBC driver does: {d 'yyyy-mm-dd'}, {t 'hh:mm:ss[.fff]'}, {ts 'yyyy-mm-dd hh:mm:ss[.fff]'}
// (keyword in any case, blanks allowed inside the braces, one to three fraction digits).
//
// SQLite keeps dates as texts in several equivalent forms ("2024-01-02", "2024-01-02 00:00:00",
// "2024-01-02T00:00:00.000"), so a plain text comparison with a literal misses equal values.
// An escape that is one side of a comparison (=, ==, <>, !=, <, <=, >, >=) whose other side is
// a column name compares VALUES: the column is normalized by SQLite's date functions and the
// escape becomes the same normal form, exact to the millisecond:
//   col OP {d '2024-02-29'}            ->  date(col) OP '2024-02-29'   (the day of col)
//   col OP {t '13:45:10'}              ->  strftime('%H:%M:%f', col) OP '13:45:10.000'
//   col OP {ts '2020-01-01 00:00:37'}  ->  strftime('%Y-%m-%d %H:%M:%f', col)
//                                            OP '2020-01-01 00:00:37.000'
// (the same with the escape on the left). A column without a date SQLite understands (null,
// other text) matches no such comparison.
//
// Everywhere else (SET assignments, VALUES lists, function arguments) an escape becomes the
// text in the form the data server stores: 'yyyy-mm-dd', 'hh:mm:ss', 'yyyy-mm-dd hh:mm:ss',
// with ".fff" appended only when the milliseconds are not zero, which is also how SQLite's own
// datetime() writes whole seconds. The record set reads each form back as the same Date.
//
// Escapes inside string literals, quoted names and comments are text and stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace tabulo::host::sqlite {

// The statement with its escapes translated (unchanged when it has none). A brace that does
// not open a well-formed date or time escape (an unknown keyword, a missing or bad literal, an
// invalid date, a missing closing brace) raises ComError 0x80040E14 naming the escape.
std::string TranslateOdbcEscapes(std::string_view sql);

}  // namespace tabulo::host::sqlite
