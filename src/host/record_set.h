// RecordSet and Field: the result of a data-server query as the control browses it — a static
// cursor over a fixed list of records with the classic ADO navigation members.
//
// Positions. An open record set of N records has a current position that is either a record
// (0..N-1), BOF (before the first record) or EOF (after the last). An empty record set is both
// at BOF and at EOF. A non-empty record set opens on its first record.
//
// Errors. Every member except State() raises platform::ComError:
//   kErrClosed (0x800A0E78) "Operation is not allowed when the object is closed." on a closed
//     record set, and from the fields of a closed record set;
//   kErrNoCurrentRecord (0x800A0BCD) "Either BOF or EOF is True, or the current record has been
//     deleted. Requested operation requires a current record." where a member needs a current
//     record and the position is BOF or EOF, and for moves that start from BOF or EOF in the
//     direction they already lie in.
//   Reading a record may also fail in the store behind the record set (0x80004005).
//
// Values. Which records a record set holds, and in which order, never changes while it is
// open (RecordCount stays exact). Their values are a snapshot taken by the query, unaffected by
// later writes — except where the data server says it serves a key-set view (values read
// when the record is read; a record deleted since reads as the server's deleted marker).
// Field::SetValue changes only the record set's copy of the current record (the database is
// written with statements).
//
// Thread safety: none; a record set belongs to the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "host/scan_record.h"
#include "platform/values/com_error.h"
#include "platform/values/variant.h"

namespace tabulo::host {

inline constexpr uint32_t kErrNoCurrentRecord = 0x800A0BCD;  // ADO 3021
inline constexpr uint32_t kErrClosed = 0x800A0E78;           // ADO 3704

platform::ComError NoCurrentRecordError();
platform::ComError ClosedError();

// One column of a record set. A Field is owned by its record set and stays valid (as an
// object) as long as the record set lives; after Close its members raise kErrClosed.
class Field {
 public:
  virtual ~Field() = default;

  // The column's name as the statement gives it.
  virtual std::string Name() const = 0;
  // The ADO DataTypeEnum code (adInteger, adVarChar, ..., field_types.h).
  virtual int32_t Type() const = 0;
  // The declared size in characters (or the type's default size).
  virtual int32_t DefinedSize() const = 0;

  // REQUIRES: a current record (not BOF, not EOF). Null for a database null. The result is a
  // copy: it stays valid whatever the record set does next.
  virtual platform::Variant Value() const = 0;
  // REQUIRES: a current record. Replaces the value of this column in the current record of this
  // record set only; the value is kept as given (no conversion to the field's type).
  virtual void SetValue(platform::Variant value) = 0;
};

class RecordSet {
 public:
  virtual ~RecordSet() = default;

  // 1 when open, 0 when closed. Never raises.
  virtual int32_t State() const = 0;

  // True after the last record, and for an empty record set.
  virtual bool Eof() const = 0;
  // True before the first record, and for an empty record set.
  virtual bool Bof() const = 0;
  // The exact number of records.
  virtual int64_t RecordCount() const = 0;

  // REQUIRES: at least one record. Moves to the first record.
  virtual void MoveFirst() = 0;
  // Moves n records from the current one (n < 0 backwards). Landing past the last record
  // leaves the record set at EOF, before the first at BOF. REQUIRES: a current record, or at
  // BOF with n > 0, or at EOF with n < 0. O(1) in the distance moved.
  virtual void Move(int64_t n) = 0;
  // REQUIRES: not EOF. From the last record goes to EOF.
  virtual void MoveNext() = 0;
  // REQUIRES: not BOF. From the first record goes to BOF.
  virtual void MovePrevious() = 0;

  // Closes the record set and releases what it holds (connections, temporary stores).
  // REQUIRES: open.
  virtual void Close() = 0;

  // Number of fields. REQUIRES: open.
  virtual int32_t FieldCount() const = 0;
  // The field with a zero-based index; an index outside 0..FieldCount()-1 raises ComError 9
  // (Subscript out of range). REQUIRES: open. The reference stays valid for the record set's
  // life (see Field).
  virtual Field& Item(int32_t index) = 0;

  // Hands the records from position `first` (0-based) on to `visit` — forward first,
  // first + 1, ...; backwards first, first - 1, ... — at most `count` and never past either
  // end, until `visit` returns false; returns how many were handed over. Each record reads as
  // its fields would on it (the record set's own copy of written values included). For a
  // search through the whole result: a record set that reads its store directly hands the
  // cells over without making their values and leaves its position where it was; this one
  // moves through the records (and may leave the record set on another one).
  // REQUIRES: open, 0 <= first < RecordCount(); `visit` neither moves nor reads the record set.
  virtual int64_t Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit);
};

}  // namespace tabulo::host
