#include "host/servers/odbc/odbc_handles.h"

#include "host/data_server.h"

namespace tabulo::host::odbc {

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
    handle_ = SQL_NULL_HANDLE;
    throw platform::ComError(kErrSourceUnusable, "The ODBC driver manager cannot allocate a handle",
                             kErrorSource);
  }
  if (type == SQL_HANDLE_ENV)
    SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

Handle::~Handle() {
  if (handle_ == SQL_NULL_HANDLE) return;
  if (connected_) {
    // A transaction still open is rolled back: the driver refuses to disconnect from one.
    SQLEndTran(SQL_HANDLE_DBC, handle_, SQL_ROLLBACK);
    SQLDisconnect(handle_);
  }
  SQLFreeHandle(type_, handle_);
}

uint32_t ErrorNumberOf(std::string_view state, Phase phase, std::string_view message) {
  const std::string_view cls = state.substr(0, 2);
  if (cls == "28") return kErrLoginFailed;
  if (state == "08001" && message.find("authentication failed") != std::string_view::npos)
    return kErrLoginFailed;
  if (phase == Phase::kConnect || cls == "08" || cls == "IM" || state == "HYT00" ||
      state == "HYT01" || state == "HY001")
    return kErrSourceUnusable;
  return kErrInvalidStatement;
}

platform::ComError ErrorOf(const Handle& handle, Phase phase, const std::string& label) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {0};
  SQLSMALLINT length = 0;
  const SQLRETURN rc =
      SQLGetDiagRec(handle.type(), handle.get(), 1, state, &native, text, sizeof text, &length);
  if (!SQL_SUCCEEDED(rc)) {
    return platform::ComError(kErrSourceUnusable,
                              "The ODBC data source " + label + " failed without a message",
                              kErrorSource);
  }
  const std::string sqlstate(reinterpret_cast<const char*>(state));
  std::string message(reinterpret_cast<const char*>(text));
  if (phase == Phase::kConnect) message = "The ODBC data source " + label + ": " + message;
  return platform::ComError(ErrorNumberOf(sqlstate, phase, message), message, kErrorSource);
}

void Check(SQLRETURN rc, const Handle& handle, Phase phase, const std::string& label) {
  if (!SQL_SUCCEEDED(rc)) throw ErrorOf(handle, phase, label);
}

}  // namespace tabulo::host::odbc
