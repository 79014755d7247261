// MemoryRowSource: a small table held in memory (schema lists, test doubles).
#pragma once

#include <memory>
#include <vector>

#include "host/row_source.h"

namespace tabulo::host {

// Rows must have one value per column; a row of another width raises ComError 5.
std::unique_ptr<RowSource> NewMemoryRowSource(std::vector<ColumnInfo> columns,
                                              std::vector<std::vector<platform::Variant>> rows);

}  // namespace tabulo::host
