// PgDataServer: source resolution, dispatch of queries and commands.
#include "host/pg/pg_data_server.h"

#include <cctype>

#include "host/cursor_record_set.h"
#include "host/memory_row_source.h"
#include "host/pg/pg_connection.h"
#include "host/pg/pg_key_source.h"
#include "host/pg/pg_row_source.h"
#include "host/pg/pg_values.h"
#include "host/sql_tokens.h"

namespace tabulo::host::pg {
namespace {

using platform::ComError;

ComError Unusable(std::string description) {
  return ComError(kErrSourceUnusable, std::move(description), kErrorSource);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The statement without trailing semicolons, so that it can stand in a subquery.
std::string WithoutTrailingSemicolons(const std::string& sql) {
  const auto tokens = TokenizeSql(sql);
  size_t end = tokens.size();
  while (end > 0 && tokens[end - 1].kind == SqlToken::Punct && tokens[end - 1].text == ";") --end;
  if (end == tokens.size()) return sql;
  return end == 0 ? std::string()
                  : sql.substr(0, tokens[end - 1].offset + tokens[end - 1].text.size());
}

// Folded names back in the statement's spelling: the first unquoted word equal to the name
// ignoring case.
void RespellNames(std::vector<ColumnInfo>& columns, const std::string& sql) {
  const auto tokens = TokenizeSql(sql);
  for (ColumnInfo& column : columns) {
    if (Lower(column.name) != column.name) continue;
    for (const SqlToken& token : tokens) {
      if (token.kind == SqlToken::Word && Lower(token.text) == column.name) {
        column.name = std::string(token.text);
        break;
      }
    }
  }
}

// The first keyword of a command.
std::string CommandWord(const std::string& sql) {
  for (const SqlToken& token : TokenizeSql(sql))
    if (token.kind == SqlToken::Word) return Lower(token.text);
  return {};
}

class PgDataServer : public DataServer {
 public:
  explicit PgDataServer(PgServerOptions options) : options_(std::move(options)) {}

  int16_t ServerType() const override { return server_type_; }
  void SetServerType(int16_t type) override { server_type_ = type; }

  std::shared_ptr<RecordSet> Query(std::string_view source, std::string_view /*empty*/,
                                   std::string_view statement, std::string_view user,
                                   std::string_view password) override {
    const Endpoint endpoint = Resolve(source, user, password);
    const std::string sql = WithoutTrailingSemicolons(TranslateEscapesForPg(statement));
    if (sql.empty()) throw ComError(kErrInvalidStatement, "The statement is empty", kErrorSource);
    Conn conn = Connect(endpoint);
    Result prepared(PQprepare(conn.get(), "q", sql.c_str(), 0, nullptr));
    if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
      throw ErrorOf(conn.get(), prepared.get(), endpoint.label);
    Result described(PQdescribePrepared(conn.get(), "q"));
    if (!described || PQresultStatus(described.get()) != PGRES_COMMAND_OK)
      throw ErrorOf(conn.get(), described.get(), endpoint.label);
    const int fields = PQnfields(described.get());
    if (fields == 0) {
      RunCommand(conn.get(), sql, endpoint.label);
      return NewClosedRecordSet();
    }
    std::vector<ColumnInfo> columns;
    for (int c = 0; c < fields; ++c) columns.push_back(ColumnOf(described.get(), c));
    RespellNames(columns, sql);
    Exec(conn.get(), "DEALLOCATE q", endpoint.label);
    // A standby exports no snapshot to another session's pass: there the result is copied.
    const bool standby =
        std::string(PQgetvalue(
            Exec(conn.get(), "SELECT pg_catalog.pg_is_in_recovery()", endpoint.label).get(), 0,
            0)) == "t";
    if (!standby) {
      if (auto plan = PlanKeyPath(conn.get(), sql)) {
        if (auto source = OpenKeyPath(conn, endpoint, *plan, columns))
          return NewCursorRecordSet(std::move(source));
      }
    }
    return NewCursorRecordSet(CopyResult(std::move(conn), sql, std::move(columns), endpoint.label));
  }

  std::shared_ptr<RecordSet> ListAll(std::string_view source, std::string_view statement,
                                     std::string_view user, std::string_view password) override {
    return Query(source, "", statement, user, password);
  }

  std::shared_ptr<RecordSet> ListSources(std::string_view source, std::string_view user,
                                         std::string_view password) override {
    return Query(source, "",
                 "SELECT c.relname AS \"TABLE_NAME\" FROM pg_catalog.pg_class c "
                 "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                 "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') "
                 "AND n.nspname NOT IN ('pg_catalog', 'information_schema') "
                 "AND n.nspname NOT LIKE 'pg!_%' ESCAPE '!' "
                 "AND pg_catalog.pg_table_is_visible(c.oid) "
                 "AND pg_catalog.has_table_privilege(c.oid, 'SELECT') "
                 "ORDER BY c.relname COLLATE \"C\"",
                 user, password);
  }

  std::shared_ptr<RecordSet> ListCatalogs() override {
    std::vector<std::vector<platform::Variant>> rows;
    for (const auto& [name, connection] : options_.connections)
      rows.push_back({platform::Variant(name)});
    return NewCursorRecordSet(NewMemoryRowSource({{"NAME", adVarChar, 255}}, std::move(rows)));
  }

  std::string MachineName() const override { return options_.machine_name; }

 private:
  // "<server>;DATABASE=<database>" -> where and as whom to connect.
  Endpoint Resolve(std::string_view source, std::string_view user,
                   std::string_view password) const {
    if (server_type_ != 1) throw Unusable("Unknown server type " + std::to_string(server_type_));
    std::string server(source), database;
    const size_t mark = Lower(source).find(";database=");
    if (mark != std::string::npos) {
      server = std::string(source.substr(0, mark));
      database = std::string(source.substr(mark + 10));
    }
    if (server.empty()) throw Unusable("No server given");
    Endpoint e;
    e.label = server;
    auto configured = options_.connections.find(server);
    if (configured != options_.connections.end()) {
      const PgConnection& c = configured->second;
      e.host = c.host;
      e.port = c.port;
      e.database = c.database;
      e.user = c.user;
      e.password = c.password;
    } else {
      e.host = server;
      const size_t colon = server.rfind(':');
      if (colon != std::string::npos && server.find(':') == colon) {
        e.host = server.substr(0, colon);
        const std::string port = server.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos)
          throw Unusable("The server " + server + " names no valid port");
        e.port = std::stoi(port);
      }
    }
    if (!database.empty()) e.database = database;
    if (!user.empty() || !password.empty()) {
      e.user = std::string(user);
      e.password = std::string(password);
    }
    return e;
  }

  // Runs the prepared statement "q" under the write rules.
  void RunCommand(PGconn* conn, const std::string& sql, const std::string& label) {
    const std::string word = CommandWord(sql);
    const bool one_row = word == "update" || word == "delete";
    const bool transaction = one_row || word == "insert" || word == "merge";
    if (transaction) Exec(conn, "BEGIN", label);
    Result result(PQexecPrepared(conn, "q", 0, nullptr, nullptr, nullptr, 0));
    if (!result || (PQresultStatus(result.get()) != PGRES_COMMAND_OK &&
                    PQresultStatus(result.get()) != PGRES_TUPLES_OK)) {
      ComError error = ErrorOf(conn, result.get(), label);
      if (transaction) PQclear(PQexec(conn, "ROLLBACK"));
      throw error;
    }
    if (one_row) {
      const std::string changed = PQcmdTuples(result.get());
      if (changed != "1") {
        Exec(conn, "ROLLBACK", label);
        throw ComError(kErrRowNotIdentified,
                       changed == "0"
                           ? "The row was changed or deleted since it was read; nothing was "
                             "written."
                           : "The statement would change " + changed +
                                 " rows instead of one; nothing was written.",
                       kErrorSource);
      }
    }
    if (transaction) Exec(conn, "COMMIT", label);
  }

  PgServerOptions options_;
  int16_t server_type_ = 1;
};

}  // namespace

std::string TranslateEscapesForPg(std::string_view sql) {
  const auto tokens = TokenizeSql(sql);
  std::string out;
  size_t copied = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != SqlToken::Punct || tokens[i].text != "{") continue;
    const bool well_formed = i + 3 < tokens.size() && tokens[i + 1].kind == SqlToken::Word &&
                             tokens[i + 2].kind == SqlToken::String &&
                             tokens[i + 3].kind == SqlToken::Punct && tokens[i + 3].text == "}";
    const std::string keyword = well_formed ? Lower(tokens[i + 1].text) : "";
    const char* type = keyword == "d"    ? "DATE "
                       : keyword == "t"  ? "TIME "
                       : keyword == "ts" ? "TIMESTAMP "
                                         : nullptr;
    if (!type) {
      throw ComError(
          kErrInvalidStatement,
          "Malformed date or time escape at: " + std::string(sql.substr(tokens[i].offset, 40)),
          kErrorSource);
    }
    out += sql.substr(copied, tokens[i].offset - copied);
    out += type;
    out += tokens[i + 2].text;
    copied = tokens[i + 3].offset + 1;
    i += 3;
  }
  out += sql.substr(copied);
  return out;
}

std::shared_ptr<DataServer> NewPgDataServer(PgServerOptions options) {
  return std::make_shared<PgDataServer>(std::move(options));
}

}  // namespace tabulo::host::pg
