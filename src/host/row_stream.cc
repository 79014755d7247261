#include "host/row_stream.h"

#include <cmath>

#include "host/data_server.h"
#include "host/record_set.h"
#include "platform/values/com_error.h"

namespace tabulo::host {

using platform::Variant;
using platform::VarType;

StreamValue ToStreamValue(const Variant& value) {
  StreamValue v;
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
      break;
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      v.kind = StreamValue::Integer;
      v.i = value.AsLong();
      break;
    case VarType::Single:
    case VarType::Double:
      v.kind = StreamValue::Real;
      v.d = value.AsDouble();
      break;
    case VarType::String:
      v.kind = StreamValue::Text;
      v.bytes = value.AsString();
      break;
    default:
      v.kind = StreamValue::Other;
      v.other = &value;
  }
  return v;
}

int64_t StreamRecordSet(RecordSet& rs, RowStreamSink& sink) {
  std::vector<StreamColumn> columns;
  for (int32_t i = 0; i < rs.FieldCount(); ++i)
    columns.push_back({rs.Item(i).Name(), rs.Item(i).Type()});
  sink.Begin(columns);
  std::vector<Variant> values(columns.size());
  std::vector<StreamValue> row(columns.size());
  int64_t rows = 0;
  for (; !rs.Eof(); rs.MoveNext(), ++rows) {
    for (size_t i = 0; i < values.size(); ++i) {
      values[i] = rs.Item(static_cast<int32_t>(i)).Value();
      row[i] = ToStreamValue(values[i]);
    }
    sink.Row(row.data());
  }
  return rows;
}

int64_t DataServer::Stream(std::string_view source, std::string_view statement,
                           std::string_view user, std::string_view password, RowStreamSink& sink) {
  std::shared_ptr<RecordSet> rs = Query(source, "", statement, user, password);
  if (rs->State() != 1)
    throw platform::ComError(kErrInvalidStatement, "The statement yields no result", "DataServer");
  return StreamRecordSet(*rs, sink);
}

}  // namespace tabulo::host
