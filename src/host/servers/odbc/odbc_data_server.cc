// OdbcDataServer: connections, dispatch of queries and commands, listings.
#include "host/servers/odbc/odbc_data_server.h"

#include <algorithm>
#include <cctype>

#include "host/cursor_record_set.h"
#include "host/memory_row_source.h"
#include "host/servers/odbc/odbc_handles.h"
#include "host/servers/odbc/odbc_row_source.h"
#include "host/servers/sqlite/temp_store.h"
#include "host/sql_tokens.h"

namespace tabulo::host::odbc {
namespace {

using platform::ComError;

SQLCHAR* Text(std::string& text) {
  return reinterpret_cast<SQLCHAR*>(text.data());
}

// The first keyword of a statement, in lower case.
std::string CommandWord(std::string_view sql) {
  for (const SqlToken& token : TokenizeSql(sql)) {
    if (token.kind != SqlToken::Word) continue;
    std::string word(token.text);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
  }
  return {};
}

std::string Braced(std::string_view value) {
  if (value.find_first_of(";{}= ") == std::string_view::npos) return std::string(value);
  std::string out = "{";
  for (char c : value) out += c == '}' ? std::string("}}") : std::string(1, c);
  return out + "}";
}

// The databases whose session the server sets up itself.
enum class Dbms { kPostgreSql, kSqlite, kOther };

class OdbcDataServer : public DataServer {
 public:
  explicit OdbcDataServer(OdbcServerOptions options)
      : options_(std::move(options)), store_(sqlite::TempStore::Open(options_.temp_folder)) {}

  int16_t ServerType() const override { return server_type_; }
  void SetServerType(int16_t type) override { server_type_ = type; }

  std::shared_ptr<RecordSet> Query(std::string_view source, std::string_view /*empty*/,
                                   std::string_view statement, std::string_view user,
                                   std::string_view password) override {
    std::string sql(statement);
    const std::string word = CommandWord(sql);
    if (word.empty()) throw ComError(kErrInvalidStatement, "The statement is empty", kErrorSource);
    const std::string label(source);
    // A query (a statement that asks for rows) runs on a read-only session.
    const bool asks_for_rows = IsQueryWord(word);
    const std::unique_ptr<Handle> connection = Connect(source, user, password, asks_for_rows);
    const Handle& dbc = *connection;
    Handle stmt(SQL_HANDLE_STMT, dbc.get());
    const SQLRETURN rc = SQLExecDirect(stmt.get(), Text(sql), SQL_NTS);
    if (rc != SQL_NO_DATA) Check(rc, stmt, Phase::kStatement, label);
    SQLSMALLINT columns = 0;
    if (rc != SQL_NO_DATA)
      Check(SQLNumResultCols(stmt.get(), &columns), stmt, Phase::kStatement, label);
    if (columns > 0) {
      // The rows are read once; the transaction of the read ends with the connection.
      auto rows = ReadResult(stmt, sql, store_, options_.memory_bound, label);
      RefuseMoreResults(stmt);
      return NewCursorRecordSet(std::move(rows));
    }
    if (asks_for_rows) {
      // A SELECT without rows to browse (SELECT ... INTO on a driver that let it run): the
      // connection's destructor rolls it back.
      throw ComError(kErrInvalidStatement,
                     "The query yields no rows and may only read; nothing was written. Browse "
                     "with a statement that only reads.",
                     kErrorSource);
    }
    SQLLEN changed = 0;
    if (rc != SQL_NO_DATA) Check(SQLRowCount(stmt.get(), &changed), stmt, Phase::kStatement, label);
    RefuseMoreResults(stmt);
    if ((word == "update" || word == "delete") && changed != 1) {
      // The connection's destructor rolls the change back.
      throw ComError(kErrRowNotIdentified,
                     changed == 0 ? "The row was changed or deleted since it was read; nothing "
                                    "was written."
                                  : "The statement would change " + std::to_string(changed) +
                                        " rows instead of one; nothing was written.",
                     kErrorSource);
    }
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_COMMIT), dbc, Phase::kStatement, label);
    return NewClosedRecordSet();
  }

  std::shared_ptr<RecordSet> ListAll(std::string_view source, std::string_view statement,
                                     std::string_view user, std::string_view password) override {
    return Query(source, "", statement, user, password);
  }

  std::shared_ptr<RecordSet> ListSources(std::string_view source, std::string_view user,
                                         std::string_view password) override {
    const std::string label(source);
    const std::unique_ptr<Handle> connection = Connect(source, user, password, true);
    const Handle& dbc = *connection;
    Handle stmt(SQL_HANDLE_STMT, dbc.get());
    std::string any = "%", kinds = "TABLE,VIEW";
    Check(SQLTables(stmt.get(), nullptr, 0, nullptr, 0, Text(any), SQL_NTS, Text(kinds), SQL_NTS),
          stmt, Phase::kStatement, label);
    auto listed = ReadResult(stmt, "", store_, options_.memory_bound, label);
    std::vector<std::string> names;
    for (int64_t row = 0; row < listed->Count(); ++row) {
      const platform::Variant name = listed->ReadRow(row).at(2);  // TABLE_NAME
      if (!name.IsNull()) names.push_back(name.AsString());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::vector<platform::Variant>> rows;
    for (std::string& name : names) rows.push_back({platform::Variant(std::move(name))});
    return NewCursorRecordSet(
        NewMemoryRowSource({{"TABLE_NAME", adVarChar, 255}}, std::move(rows)));
  }

  std::shared_ptr<RecordSet> ListCatalogs() override {
    std::vector<std::vector<platform::Variant>> rows;
    for (std::string& name : OdbcDataSourceNames()) rows.push_back({platform::Variant(name)});
    return NewCursorRecordSet(NewMemoryRowSource({{"NAME", adVarChar, 255}}, std::move(rows)));
  }

  std::string MachineName() const override { return options_.machine_name; }

 private:
  // A driver that ran several statements of one call: their changes are rolled back with the
  // connection, and the call refused as the embedded server refuses it.
  static void RefuseMoreResults(const Handle& stmt) {
    if (SQL_SUCCEEDED(SQLMoreResults(stmt.get())))
      throw ComError(kErrInvalidStatement,
                     "A call runs a single statement; the data source found more than one",
                     kErrorSource);
  }

  static bool IsQueryWord(const std::string& word) {
    return word == "select" || word == "values" || word == "table" || word == "with";
  }

  // Runs `sql` on the connection; its first value as text ("" for none or null).
  static std::string Run(const Handle& dbc, std::string sql, const std::string& label) {
    Handle stmt(SQL_HANDLE_STMT, dbc.get());
    Check(SQLExecDirect(stmt.get(), Text(sql), SQL_NTS), stmt, Phase::kStatement, label);
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(stmt.get(), &columns), stmt, Phase::kStatement, label);
    if (columns == 0 || !SQL_SUCCEEDED(SQLFetch(stmt.get()))) return {};
    char text[256] = {0};
    SQLLEN length = 0;
    Check(SQLGetData(stmt.get(), 1, SQL_C_CHAR, text, sizeof text, &length), stmt,
          Phase::kStatement, label);
    return length > 0 ? std::string(text) : std::string();
  }

  // Every later transaction of the session reads only: the server refuses a write with its own
  // message. Drivers of other databases rely on the roll back at the connection's end.
  static void ReadOnly(const Handle& dbc, Dbms dbms, const std::string& label) {
    if (dbms == Dbms::kPostgreSql)
      Run(dbc, "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY", label);
    if (dbms == Dbms::kSqlite) Run(dbc, "PRAGMA query_only = 1", label);
  }

  // A PostgreSQL session reads a backslash in a literal as an ordinary character whatever the
  // role or database sets, and talks UTF-8 (where no multibyte character can hide a quote);
  // a session that will not is refused.
  static void PinPostgreSqlSession(const Handle& dbc, const std::string& label) {
    Run(dbc, "SET standard_conforming_strings = on", label);
    const std::string settings = Run(dbc,
                                     "SELECT current_setting('standard_conforming_strings') || "
                                     "' ' || current_setting('client_encoding')",
                                     label);
    if (settings != "on UTF8") {
      throw ComError(kErrSourceUnusable,
                     "The ODBC data source " + label +
                         " cannot be used: its PostgreSQL session keeps "
                         "standard_conforming_strings and client_encoding at \"" +
                         settings +
                         "\" where \"on UTF8\" is needed. Use the Unicode driver "
                         "(psqlodbcw.so) for the data source.",
                     kErrorSource);
    }
  }

  std::unique_ptr<Handle> Connect(std::string_view source, std::string_view user,
                                  std::string_view password, bool read_only) {
    if (server_type_ != 0)
      throw ComError(kErrSourceUnusable, "Unknown server type " + std::to_string(server_type_),
                     kErrorSource);
    if (source.empty()) throw ComError(kErrSourceUnusable, "No data source given", kErrorSource);
    const std::string label(source);
    // The environment (and with it the driver manager) only once a data source is used.
    if (!env_) env_ = std::make_unique<Handle>(SQL_HANDLE_ENV, SQLHANDLE{SQL_NULL_HANDLE});
    auto owned = std::make_unique<Handle>(SQL_HANDLE_DBC, env_->get());
    Handle& dbc = *owned;
    // An unreachable server fails the call instead of holding the operator indefinitely.
    SQLSetConnectAttr(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    std::string text = ConnectionString(source, user, password);
    Check(SQLDriverConnect(dbc.get(), nullptr, Text(text), SQL_NTS, nullptr, 0, nullptr,
                           SQL_DRIVER_NOPROMPT),
          dbc, Phase::kConnect, label);
    dbc.set_connected();
    // Set while autocommit is on, so that they hold for the whole session.
    Dbms dbms = Dbms::kOther;
    char name[64] = {0};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc.get(), SQL_DBMS_NAME, name, sizeof name, &length))) {
      const std::string dbms_name(name);
      dbms = dbms_name == "PostgreSQL" ? Dbms::kPostgreSql
             : dbms_name == "SQLite"   ? Dbms::kSqlite
                                       : Dbms::kOther;
    }
    if (dbms == Dbms::kPostgreSql) PinPostgreSqlSession(dbc, label);
    if (read_only) ReadOnly(dbc, dbms, label);
    Check(SQLSetConnectAttr(dbc.get(), SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          dbc, Phase::kConnect, label);
    return owned;
  }

  OdbcServerOptions options_;
  std::unique_ptr<Handle> env_;
  std::shared_ptr<sqlite::TempStore> store_;
  int16_t server_type_ = 0;
};

class DataSourceRouter : public DataServer {
 public:
  DataSourceRouter(std::shared_ptr<DataServer> local, std::shared_ptr<DataServer> odbc,
                   std::function<bool(std::string_view)> is_local)
      : local_(std::move(local)), odbc_(std::move(odbc)), is_local_(std::move(is_local)) {}

  int16_t ServerType() const override { return local_->ServerType(); }
  void SetServerType(int16_t type) override {
    local_->SetServerType(type);
    odbc_->SetServerType(type);
  }
  std::shared_ptr<RecordSet> Query(std::string_view source, std::string_view empty,
                                   std::string_view statement, std::string_view user,
                                   std::string_view password) override {
    return For(source).Query(source, empty, statement, user, password);
  }
  int64_t Stream(std::string_view source, std::string_view statement, std::string_view user,
                 std::string_view password, RowStreamSink& sink) override {
    return For(source).Stream(source, statement, user, password, sink);
  }
  std::shared_ptr<RecordSet> ListAll(std::string_view source, std::string_view statement,
                                     std::string_view user, std::string_view password) override {
    return For(source).ListAll(source, statement, user, password);
  }
  std::shared_ptr<RecordSet> ListSources(std::string_view source, std::string_view user,
                                         std::string_view password) override {
    return For(source).ListSources(source, user, password);
  }
  std::shared_ptr<RecordSet> ListCatalogs() override {
    auto local = local_->ListCatalogs();
    if (ServerType() != 0) return local;
    std::vector<std::string> names;
    for (; !local->Eof(); local->MoveNext()) names.push_back(local->Item(0).Value().AsString());
    const size_t configured = names.size();
    for (std::string& name : OdbcDataSourceNames()) {
      if (std::find(names.begin(), names.begin() + static_cast<ptrdiff_t>(configured), name) ==
          names.begin() + static_cast<ptrdiff_t>(configured))
        names.push_back(std::move(name));
    }
    std::vector<std::vector<platform::Variant>> rows;
    for (std::string& name : names) rows.push_back({platform::Variant(std::move(name))});
    return NewCursorRecordSet(NewMemoryRowSource({{"NAME", adVarChar, 255}}, std::move(rows)));
  }
  std::string MachineName() const override { return local_->MachineName(); }

 private:
  DataServer& For(std::string_view source) const {
    if (ServerType() != 0 || is_local_(source)) return *local_;
    const std::vector<std::string> names = OdbcDataSourceNames();
    return std::find(names.begin(), names.end(), source) == names.end() ? *local_ : *odbc_;
  }

  std::shared_ptr<DataServer> local_;
  std::shared_ptr<DataServer> odbc_;
  std::function<bool(std::string_view)> is_local_;
};

}  // namespace

std::string ConnectionString(std::string_view dsn, std::string_view user,
                             std::string_view password) {
  std::string text = "DSN=" + Braced(dsn);
  if (!user.empty()) text += ";UID=" + Braced(user);
  if (!password.empty()) text += ";PWD=" + Braced(password);
  return text;
}

std::vector<std::string> OdbcDataSourceNames() {
  // Without a driver manager there are no such names: a missing file is then told as one.
  std::unique_ptr<Handle> owned;
  try {
    owned = std::make_unique<Handle>(SQL_HANDLE_ENV, SQLHANDLE{SQL_NULL_HANDLE});
  } catch (const ComError&) {
    return {};
  }
  const Handle& env = *owned;
  std::vector<std::string> names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1] = {0};
    SQLCHAR driver[256] = {0};
    SQLSMALLINT name_length = 0, driver_length = 0;
    const SQLRETURN rc = SQLDataSources(env.get(), direction, name, sizeof name, &name_length,
                                        driver, sizeof driver, &driver_length);
    if (!SQL_SUCCEEDED(rc)) break;
    // A name defined both for the user and for the system is one data source (the user's).
    const std::string listed(reinterpret_cast<const char*>(name));
    if (std::find(names.begin(), names.end(), listed) == names.end()) names.push_back(listed);
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

std::shared_ptr<DataServer> NewOdbcDataServer(OdbcServerOptions options) {
  return std::make_shared<OdbcDataServer>(std::move(options));
}

std::shared_ptr<DataServer> NewDataSourceRouter(std::shared_ptr<DataServer> local,
                                                std::shared_ptr<DataServer> odbc,
                                                std::function<bool(std::string_view)> is_local) {
  return std::make_shared<DataSourceRouter>(std::move(local), std::move(odbc), std::move(is_local));
}

}  // namespace tabulo::host::odbc
