// The row source of ODBC record sets: the result read once, in memory up to a bound and in a
// record file of the store beyond it (host/servers/sqlite/record_file.h), so that RecordCount is
// exact, a Move to any position reads one block of the file and the memory held stays bounded
// whatever the driver offers (no key, no snapshot, forward-only cursors). The statement is no
// longer needed once the source exists. Internal to host/servers/odbc.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "host/row_source.h"
#include "host/servers/odbc/odbc_handles.h"
#include "host/servers/sqlite/temp_store.h"

namespace tabulo::host::odbc {

// Reads every row of the executed statement `stmt` (which has result columns); `sql` is its
// text (empty for a catalog function), whose spelling a name folded to one case takes back.
std::unique_ptr<RowSource> ReadResult(const Handle& stmt, const std::string& sql,
                                      std::shared_ptr<sqlite::TempStore> store, size_t memory_bound,
                                      const std::string& label);

}  // namespace tabulo::host::odbc
