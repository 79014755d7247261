// Fuzzes the SQL literals: input byte 0 picks the type, byte 1 the locale and the date
// format, the rest is the value text (and, read as a double, a timestamp). Never raises;
// quoted types double every quote and change nothing else; a literal is either the text
// unchanged or a converted form.
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "sql/sql_literal.h"

namespace fz = tabulo::fuzz;
namespace sql = tabulo::sql;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t type = fz::TypeFromByte(data[0]);
  const sql::SqlLiteralContext ctx{fz::LocaleFromByte(data[1]),
                                   std::string(fz::DateFormatFromByte(data[1] / 3))};
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  const std::string quote = sql::GetSqlQuote(type);
  const std::string literal = sql::GetSqlLiteral(text, type, ctx);
  if (quote == "'") {
    std::string undoubled;
    for (size_t i = 0; i < literal.size(); ++i) {
      undoubled += literal[i];
      if (literal[i] == '\'') {
        if (i + 1 >= literal.size() || literal[i + 1] != '\'') fz::Broken();
        ++i;
      }
    }
    if (undoubled != text) fz::Broken();
  } else if (!quote.empty()) {
    fz::Broken();
  }

  double date = 0;
  if (text.size() >= sizeof date) {
    std::memcpy(&date, text.data(), sizeof date);
    const std::string ts = sql::GetSqlTimestampLiteral(date);
    // {ts 'yyyy-mm-dd hh:nn:ss.mmm'} or nothing.
    if (!ts.empty() && (ts.size() != 30 || ts.rfind("{ts '", 0) != 0)) fz::Broken();
  }
  return 0;
}
