// The record set over a RowSource: navigation, positions, errors and the record set's own
// copy of written values, shared by every data server.
#pragma once

#include <memory>

#include "host/record_set.h"
#include "host/row_source.h"

namespace tabulo::host {

// An open record set over `source`; takes ownership of it and releases it on Close.
std::shared_ptr<RecordSet> NewCursorRecordSet(std::unique_ptr<RowSource> source);

// A closed record set: what a statement that returns no rows yields.
std::shared_ptr<RecordSet> NewClosedRecordSet();

}  // namespace tabulo::host
