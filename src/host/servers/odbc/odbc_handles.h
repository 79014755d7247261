// unixODBC handles of the ODBC data server and the mapping of driver diagnostics to the data
// server's error numbers (data_server.h). Internal to host/servers/odbc.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/values/com_error.h"

namespace tabulo::host::odbc {

inline constexpr const char* kErrorSource = "DataServer";

// One handle of a type, freed (and a connection disconnected first) when destroyed.
class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent);
  ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }
  void set_connected() { connected_ = true; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
  bool connected_ = false;
};

// When a failure happened: while connecting every failure but a refused login makes the source
// unusable; while running a statement, failures of the connection or driver make it unusable
// and everything else is the statement's fault.
enum class Phase { kConnect, kStatement };

// The error number of a diagnostic with SQLSTATE `state` (five characters):
//   28xxx                                    0x80040E4D login refused
//   08xxx, IMxxx, HYT00, HYT01, HY001 (and any state while connecting) 0x80004005
//   anything else (42xxx syntax and access rule violations, ...) 0x80040E14
// Drivers that report every failed connection as 08001 (the PostgreSQL one) are understood by
// `message`: a refused connection whose message says the authentication failed is a refused
// login.
uint32_t ErrorNumberOf(std::string_view state, Phase phase, std::string_view message = {});

// The error of the failed call on `handle`: its first diagnostic record's number and message
// ("<label>: <message>" when connecting, the driver's message for a statement).
platform::ComError ErrorOf(const Handle& handle, Phase phase, const std::string& label);

// Raises ErrorOf unless `rc` is SQL_SUCCESS or SQL_SUCCESS_WITH_INFO.
void Check(SQLRETURN rc, const Handle& handle, Phase phase, const std::string& label);

}  // namespace tabulo::host::odbc
