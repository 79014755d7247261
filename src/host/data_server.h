// DataServer: the host component through which the control reaches databases. One object is
// shared by every control of the process; the cluster manager hands it out.
//
// Source names a data source: with ServerType 0 a data source name of the host configuration
// (or, for the embedded server, a database file path); with ServerType 1 "<server>;DATABASE=
// <database>". Failures raise platform::ComError with these numbers:
//   0x80040E4D  user name or password refused
//   0x80004005  data source not usable (missing, unreadable, read-only for a write, ...)
//   0x80030021  the database is locked by another connection beyond the server's wait
//   0x80030070  the disk is full (the database's, or the one holding the snapshot files)
//   0x80030109  the file is damaged or is no database
//   0x8003001D  the disk failed to read or write the file (an I/O error)
//   0x80040E14  statement invalid (the description is the database's own message), a
//               malformed ODBC escape, or more than one statement in one call
//   0x80040E38  an UPDATE or DELETE that would change no row (the row was changed or deleted
//               since it was read) or more than one (the row cannot be identified uniquely)
// Descriptions are sentences a control can show after "Tabulo: ".
//
// Writes. A statement without result columns runs on its own: an UPDATE or DELETE is committed
// only when it changes exactly one row, else rolled back and refused with 0x80040E38. A failed
// write leaves the database unchanged and no transaction open. ODBC date and time escapes
// ({d '...'}, {t '...'}, {ts '...'}) are understood in every statement; comparisons of a column
// with one compare date and time values, not texts.
// The record sets returned are owned by the caller (shared) and stay usable after the server
// is gone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/record_set.h"
#include "host/row_stream.h"

namespace tabulo::host {

inline constexpr uint32_t kErrLoginFailed = 0x80040E4D;
inline constexpr uint32_t kErrSourceUnusable = 0x80004005;
inline constexpr uint32_t kErrInvalidStatement = 0x80040E14;
inline constexpr uint32_t kErrRowNotIdentified = 0x80040E38;
inline constexpr uint32_t kErrSourceLocked = 0x80030021;
inline constexpr uint32_t kErrDiskFull = 0x80030070;
inline constexpr uint32_t kErrSourceDamaged = 0x80030109;
inline constexpr uint32_t kErrDiskFault = 0x8003001D;

class DataServer {
 public:
  virtual ~DataServer() = default;

  // 0 data source names (ODBC), 1 server databases. Later calls interpret Source by it.
  virtual int16_t ServerType() const = 0;
  virtual void SetServerType(int16_t type) = 0;

  // Runs `statement`. A query yields an open record set (a static snapshot of its rows);
  // any other statement is executed and yields a closed record set. `empty` is unused and
  // kept for the argument order callers rely on.
  virtual std::shared_ptr<RecordSet> Query(std::string_view source, std::string_view empty,
                                           std::string_view statement, std::string_view user,
                                           std::string_view password) = 0;
  // Runs a query and hands its rows to `sink` once, in order, as they are read; returns how
  // many. Raises as Query does, and 0x80040E14 for a statement without result columns. This
  // default reads them through Query's record set (which runs any other statement first: a
  // caller that must not write passes only queries); a server that can read the statement's
  // rows directly, in one pass, does so.
  virtual int64_t Stream(std::string_view source, std::string_view statement, std::string_view user,
                         std::string_view password, RowStreamSink& sink);
  // Runs a query for design-time listings; the same record set as Query.
  virtual std::shared_ptr<RecordSet> ListAll(std::string_view source, std::string_view statement,
                                             std::string_view user, std::string_view password) = 0;
  // The tables and views of the source: one field, TABLE_NAME, sorted by name.
  virtual std::shared_ptr<RecordSet> ListSources(std::string_view source, std::string_view user,
                                                 std::string_view password) = 0;
  // The data source names (ServerType 0) or server names (1): one field, NAME.
  virtual std::shared_ptr<RecordSet> ListCatalogs() = 0;
  // The name of the computer the server runs on.
  virtual std::string MachineName() const = 0;
};

}  // namespace tabulo::host
