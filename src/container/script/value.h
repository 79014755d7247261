// Values as `tabulo script` writes them: the input forms a script uses for arguments and the
// stable output forms its results are printed in, so that two sessions compare line by line.
//
// Input: 12 and -7 (Long when they fit 32 bits, otherwise Double); 1.5, 2e10, .5 (Double);
// 0x1F (Long; 0x80000000..0xFFFFFFFF are the negative Longs with the same bits); "text" with
// "" for a quote and the escapes \r \n \t \\ \xHH (one byte); true, false, null, empty, nothing
// (any case); {V, V, ...} and {{V, V}, {V, V}} for 1-D and 2-D arrays (row, column).
//
// Output: strings quoted with the same escapes, every control character escaped (C0 and DEL
// as \xHH unless named, a C1 control as the \xHH of its two UTF-8 bytes); integers in decimal;
// doubles and singles in the shortest form that reads back exactly, with "."; currency with up to 4
// decimals; True, False, Null, Empty, Nothing, Object(ClassName); dates as #yyyy-mm-dd hh:nn:ss#;
// Error(N); arrays in braces.
#pragma once

#include <string>
#include <string_view>

#include "platform/values/variant.h"

namespace tabulo::container {

// Parses one value; raises ScriptError (without a line number) when `text` is not one.
platform::Variant ParseValue(std::string_view text);

// The output form of a value. Never raises.
std::string FormatValue(const platform::Variant& value);

// A text in the quoted output form ("a ""b""\n" -> "a ""b""\n" with the escapes).
std::string QuoteText(std::string_view text);

}  // namespace tabulo::container
