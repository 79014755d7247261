// Fuzzes the value check: byte 0 picks the type, byte 1 the locale, the rest is the text.
// Whatever the check accepts for an unquoted type must reach the statement as a literal of
// that type, never as SQL text: digits for integers, a converted number, a date escape.
#include <string>

#include "fuzz_input.h"
#include "sql/sql_literal.h"
#include "sql/value_check.h"

namespace fz = tabulo::fuzz;
namespace host = tabulo::host;
namespace sql = tabulo::sql;

namespace {

bool OnlyOf(const std::string& s, const char* allowed) {
  return s.find_first_not_of(allowed) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t type = fz::TypeFromByte(data[0]);
  const tabulo::platform::Locale& loc = fz::LocaleFromByte(data[1]);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  const sql::ValueCheck check = sql::CheckValueForType(text, type, loc);
  if (!check.ok() || !sql::GetSqlQuote(type).empty()) return 0;

  const sql::SqlLiteralContext ctx{loc};
  const std::string literal = sql::GetSqlLiteral(text, type, ctx);
  switch (type) {
    case host::adSingle:
    case host::adDouble:
    case host::adCurrency:
    case host::adDecimal:
    case host::adNumeric:
      if (!OnlyOf(literal, " -0123456789.e+")) fz::Broken();
      break;
    case host::adDate:
    case host::adDBDate:
    case host::adDBTime:
    case host::adDBTimeStamp:
      if (literal.rfind("{", 0) != 0 || !OnlyOf(literal, "{}dts '0123456789-:")) fz::Broken();
      break;
    case host::adBoolean:
      if (!OnlyOf(literal, " \t+-0123456789TtRrUuEeFfAaLlSs")) fz::Broken();
      break;
    default:
      if (!OnlyOf(literal, " \t+-.0123456789")) fz::Broken();
      break;
  }
  return 0;
}
