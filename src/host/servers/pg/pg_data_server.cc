// PgDataServer: source resolution, dispatch of queries and commands.
#include "host/servers/pg/pg_data_server.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "host/cursor_record_set.h"
#include "host/memory_row_source.h"
#include "host/servers/pg/pg_connection.h"
#include "host/servers/pg/pg_joinable.h"
#include "host/servers/pg/pg_key_source.h"
#include "host/servers/pg/pg_row_source.h"
#include "host/servers/pg/pg_stream.h"
#include "host/servers/pg/pg_values.h"
#include "host/sql_tokens.h"
#include "platform/text/plain_text.h"

namespace tabulo::host::pg {
namespace {

using platform::ComError;

ComError Unusable(std::string description) {
  return ComError(kErrSourceUnusable, std::move(description), kErrorSource);
}

// The statement without trailing semicolons, so that it can stand in a subquery; empty when
// it holds nothing but blanks, comments and semicolons.
std::string WithoutTrailingSemicolons(const std::string& sql) {
  const auto tokens = TokenizeSql(sql);
  size_t end = tokens.size();
  while (end > 0 && tokens[end - 1].kind == SqlToken::Punct && tokens[end - 1].text == ";") --end;
  if (end == 0) return {};
  if (end == tokens.size()) return sql;
  return sql.substr(0, tokens[end - 1].offset + tokens[end - 1].text.size());
}

// Folded names back in the statement's spelling: the first unquoted word equal to the name
// ignoring case.
void RespellNames(std::vector<ColumnInfo>& columns, const std::string& sql) {
  const auto tokens = TokenizeSql(sql);
  for (ColumnInfo& column : columns) {
    if (platform::AsciiLower(column.name) != column.name) continue;
    for (const SqlToken& token : tokens) {
      if (token.kind == SqlToken::Word && platform::AsciiLower(token.text) == column.name) {
        column.name = std::string(token.text);
        break;
      }
    }
  }
}

// The first keyword of a command.
std::string CommandWord(const std::string& sql) {
  for (const SqlToken& token : TokenizeSql(sql))
    if (token.kind == SqlToken::Word) return platform::AsciiLower(token.text);
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
    if (JoinableTransaction* open = JoinableFor(endpoint);
        open && IsTransactional(CommandWord(sql)) && RunJoined(*open, sql, endpoint.label))
      return NewClosedRecordSet();
    if (const std::string word = CommandWord(sql);
        (word == "update" || word == "delete") && !Returns(sql)) {
      if (WriteOneRow(endpoint, sql)) return NewClosedRecordSet();
    }
    Result described;
    Conn conn = Prepare(endpoint, sql, &described);
    const int fields = PQnfields(described.get());
    if (fields == 0 && IsQueryWord(CommandWord(sql))) {
      // A query without result columns: SELECT ... INTO, which would create a table.
      RunReadOnly(conn.get(), endpoint.label);
      KeepConnection(endpoint, std::move(conn));
      return NewClosedRecordSet();
    }
    if (fields == 0) {
      RunCommand(conn.get(), sql, endpoint.label);
      // A command may change the session (SET, SET ROLE, a temporary table): the next user of
      // the login gets it as a new one.
      ResetAndKeepIdle(endpoint, std::move(conn));
      return NewClosedRecordSet();
    }
    std::vector<ColumnInfo> columns = ColumnsOf(described.get(), sql);
    // The statement is run as given, so it may write (a function with side effects, a
    // sequence): the record set's session runs it, and every read after, read-only. A standby
    // exports no snapshot to another session's pass: there the result is copied. (One round
    // trip for the three.)
    QueryScope reading;
    const bool standby =
        std::string(PQgetvalue(Exec(conn.get(),
                                    "DEALLOCATE q; SET SESSION CHARACTERISTICS AS TRANSACTION "
                                    "READ ONLY; SELECT pg_catalog.pg_is_in_recovery()",
                                    endpoint.label)
                                   .get(),
                               0, 0)) == "t";
    if (!standby) {
      if (auto plan = PlanKeyPath(conn.get(), sql)) {
        if (auto source = OpenKeyPath(conn, endpoint, *plan, columns))
          return NewCursorRecordSet(std::move(source));
      }
    }
    return NewCursorRecordSet(CopyResult(std::move(conn), sql, std::move(columns), endpoint.label));
  }

  // One pass over the statement's rows as the server sends them: nothing copied, no key pass,
  // every value exact (a bigint beyond 2^53, a numeric of many digits).
  int64_t Stream(std::string_view source, std::string_view statement, std::string_view user,
                 std::string_view password, RowStreamSink& sink) override {
    const Endpoint endpoint = Resolve(source, user, password);
    const std::string sql = WithoutTrailingSemicolons(TranslateEscapesForPg(statement));
    // Anything but a query runs as Query runs it (a write is no stream).
    if (const std::string word = CommandWord(sql); word != "with" && !IsQueryWord(word))
      return DataServer::Stream(source, statement, user, password, sink);
    Result described;
    Conn conn = Prepare(endpoint, sql, &described);
    if (PQnfields(described.get()) == 0) {
      // SELECT ... INTO: refused as a query that writes, with nothing left.
      RunReadOnly(conn.get(), endpoint.label);
      throw ComError(kErrInvalidStatement, "The statement yields no result", kErrorSource);
    }
    const int64_t rows =
        StreamPrepared(conn.get(), "q", ColumnsOf(described.get(), sql), endpoint.label, sink);
    KeepConnection(endpoint, std::move(conn));
    return rows;
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
    const size_t mark = platform::AsciiLower(source).find(";database=");
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

  // A connection with `sql` prepared as "q" and described into `described`; raises the
  // statement's error.
  Conn Prepare(const Endpoint& endpoint, const std::string& sql, Result* described) {
    bool kept = false;
    Conn conn = TakeConnection(endpoint, &kept);
    Result prepared(PQprepare(conn.get(), "q", sql.c_str(), 0, nullptr));
    if (kept && PQstatus(conn.get()) == CONNECTION_BAD) {
      // The kept connection died while idle (a restarted server): nothing ran, so the
      // statement goes to a new one.
      conn = Connect(endpoint);
      prepared.reset(PQprepare(conn.get(), "q", sql.c_str(), 0, nullptr));
    }
    if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
      throw ErrorOf(conn.get(), prepared.get(), endpoint.label);
    described->reset(PQdescribePrepared(conn.get(), "q"));
    if (!*described || PQresultStatus(described->get()) != PGRES_COMMAND_OK)
      throw ErrorOf(conn.get(), described->get(), endpoint.label);
    return conn;
  }

  // An UPDATE or DELETE without RETURNING in two round trips: BEGIN, and the statement
  // prepared, described and run, in one pipeline; then the number of rows it changed decides
  // COMMIT (exactly one) or ROLLBACK. False, with nothing kept, should it yield rows after all.
  bool WriteOneRow(const Endpoint& endpoint, const std::string& sql) {
    bool kept = false;
    Conn conn = TakeConnection(endpoint, &kept);
    std::vector<Result> results = Pipeline(conn.get(), "BEGIN", sql);
    if (kept && PQstatus(conn.get()) == CONNECTION_BAD) {
      // The kept connection died while idle (a restarted server): nothing was committed, so
      // the statement goes to a new one.
      conn = Connect(endpoint);
      results = Pipeline(conn.get(), "BEGIN", sql);
    }
    PGconn* c = conn.get();
    // BEGIN, prepare, describe, execute: the first that failed names the error.
    for (const Result& result : results) {
      const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
      if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) continue;
      ComError error = ErrorOf(c, result.get(), endpoint.label);
      if (PQtransactionStatus(c) != PQTRANS_IDLE) PQclear(PQexec(c, "ROLLBACK"));
      KeepConnection(endpoint, std::move(conn), false);
      throw error;
    }
    if (results.size() != 4) throw ErrorOf(c, nullptr, endpoint.label);
    if (PQnfields(results[2].get()) > 0) {
      Exec(c, "ROLLBACK", endpoint.label);
      KeepConnection(endpoint, std::move(conn), false);
      return false;
    }
    const std::string changed = PQcmdTuples(results[3].get());
    if (changed != "1") {
      Exec(c, "ROLLBACK", endpoint.label);
      KeepConnection(endpoint, std::move(conn), false);
      throw NotOneRow(changed);
    }
    Exec(c, "COMMIT", endpoint.label);
    KeepConnection(endpoint, std::move(conn), false);
    return true;
  }

  // The results of `begin` (BEGIN or a SAVEPOINT) and of `sql` prepared (unnamed), described
  // and run, sent at once; fewer than four when the connection failed.
  static std::vector<Result> Pipeline(PGconn* conn, const char* begin, const std::string& sql) {
    std::vector<Result> results;
    if (!PQenterPipelineMode(conn)) return results;
    // BEGIN first: it goes through the unnamed statement too, which the prepare then replaces.
    const bool sent =
        PQsendQueryParams(conn, begin, 0, nullptr, nullptr, nullptr, nullptr, 0) &&
        PQsendPrepare(conn, "", sql.c_str(), 0, nullptr) && PQsendDescribePrepared(conn, "") &&
        PQsendQueryPrepared(conn, "", 0, nullptr, nullptr, nullptr, 0) && PQpipelineSync(conn);
    if (sent) results = PipelineResults(conn);
    PQexitPipelineMode(conn);
    return results;
  }

  // A statement with RETURNING yields rows: a query, which is never run but read-only.
  static bool Returns(const std::string& sql) {
    for (const SqlToken& token : TokenizeSql(sql))
      if (token.kind == SqlToken::Word && token.Is("RETURNING")) return true;
    return false;
  }

  static ComError NotOneRow(const std::string& changed) {
    return ComError(kErrRowNotIdentified,
                    changed == "0" ? "The row was changed or deleted since it was read; nothing "
                                     "was written."
                                   : "The statement would change " + changed +
                                         " rows instead of one; nothing was written.",
                    kErrorSource);
  }

  static std::vector<ColumnInfo> ColumnsOf(const PGresult* described, const std::string& sql) {
    std::vector<ColumnInfo> columns;
    for (int c = 0; c < PQnfields(described); ++c) columns.push_back(ColumnOf(described, c));
    RespellNames(columns, sql);
    return columns;
  }

  // Commands take an idle connection of the login from the process's pool, so that a write
  // costs no new login (about 50 ms with a password exchange). A query takes the connection
  // with it into its record set (the key path's gives it back on Close).
  Conn TakeConnection(const Endpoint& endpoint, bool* kept) {
    if (Conn conn = TakeIdle(endpoint)) {
      *kept = true;
      return conn;
    }
    *kept = false;
    return Connect(endpoint);
  }
  // Kept only when healthy, outside a transaction and with the settings of its start (a
  // command such as SET standard_conforming_strings = off changes how the next write's
  // literals read), without the command's statement.
  // `named`: the statement was prepared as "q" (else unnamed: the next prepare replaces it).
  void KeepConnection(const Endpoint& endpoint, Conn conn, bool named = true) {
    if (PQstatus(conn.get()) != CONNECTION_OK || PQtransactionStatus(conn.get()) != PQTRANS_IDLE)
      return;
    if (named) {
      Result result(PQexec(conn.get(), "DEALLOCATE q"));
      if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK) return;
    }
    KeepIdle(endpoint, std::move(conn));
  }

  // Statements that only ask for rows.
  static bool IsQueryWord(const std::string& word) {
    return word == "select" || word == "values" || word == "table";
  }

  // Runs the prepared statement "q" in a read-only transaction: a statement that writes is
  // refused with the server's message, and nothing it did stays.
  static void RunReadOnly(PGconn* conn, const std::string& label) {
    QueryScope reading;
    Exec(conn, "BEGIN READ ONLY", label);
    Result result(PQexecPrepared(conn, "q", 0, nullptr, nullptr, nullptr, 0));
    if (!result || (PQresultStatus(result.get()) != PGRES_COMMAND_OK &&
                    PQresultStatus(result.get()) != PGRES_TUPLES_OK)) {
      ComError error = ErrorOf(conn, result.get(), label);
      PQclear(PQexec(conn, "ROLLBACK"));
      throw error;
    }
    Exec(conn, "COMMIT", label);
  }

  static bool IsTransactional(const std::string& word) {
    return word == "update" || word == "delete" || word == "insert" || word == "merge";
  }

  // A write to the server and database of an open audit transaction, as its login, runs in
  // it (behind a savepoint, so that a refused write leaves the audit records for their owner
  // to roll back) and commits it: the change and its records are durable in one commit.
  // False, with nothing done, for a statement that yields rows.
  bool RunJoined(JoinableTransaction& open, const std::string& sql, const std::string& label) {
    PGconn* conn = open.conn;
    if (!Returns(sql)) {
      // The savepoint and the statement prepared, described and run in one round trip.
      std::vector<Result> results = Pipeline(conn, "SAVEPOINT tabulo_write", sql);
      for (size_t i = 0; i < results.size(); ++i) {
        const ExecStatusType status = PQresultStatus(results[i].get());
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) continue;
        ComError error = ErrorOf(conn, results[i].get(), label);
        if (i > 0) PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT tabulo_write"));
        throw error;
      }
      if (results.size() != 4) throw ErrorOf(conn, nullptr, label);
      if (PQnfields(results[2].get()) > 0) {
        Exec(conn, "ROLLBACK TO SAVEPOINT tabulo_write; RELEASE SAVEPOINT tabulo_write", label);
        return false;
      }
      const std::string word = CommandWord(sql);
      const std::string changed = PQcmdTuples(results[3].get());
      if ((word == "update" || word == "delete") && changed != "1") {
        Exec(conn, "ROLLBACK TO SAVEPOINT tabulo_write", label);
        throw NotOneRow(changed);
      }
      CommitJoined(open, label);
      return true;
    }
    Exec(conn, "SAVEPOINT tabulo_write", label);
    Result prepared(PQprepare(conn, "tabulo_write", sql.c_str(), 0, nullptr));
    Result described;
    if (prepared && PQresultStatus(prepared.get()) == PGRES_COMMAND_OK)
      described.reset(PQdescribePrepared(conn, "tabulo_write"));
    if (!described || PQresultStatus(described.get()) != PGRES_COMMAND_OK) {
      ComError error = ErrorOf(conn, described ? described.get() : prepared.get(), label);
      PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT tabulo_write"));
      throw error;
    }
    const bool rows = PQnfields(described.get()) > 0;
    if (!rows) {
      try {
        RunCommand(conn, sql, label, &open);
      } catch (const ComError&) {
        PQclear(PQexec(conn, "DEALLOCATE tabulo_write"));
        throw;
      }
    }
    PQclear(PQexec(conn, "DEALLOCATE tabulo_write"));
    if (rows) Exec(conn, "RELEASE SAVEPOINT tabulo_write", label);
    return !rows;
  }

  // Runs the prepared statement "q" (in `joined`: "tabulo_write") under the write rules.
  void RunCommand(PGconn* conn, const std::string& sql, const std::string& label,
                  JoinableTransaction* joined = nullptr) {
    const std::string word = CommandWord(sql);
    const bool one_row = word == "update" || word == "delete";
    // WITH ... SELECT ... INTO is a query that creates a table: it is undone and refused.
    const bool may_create = word == "with" && !joined;
    const bool transaction = IsTransactional(word) || may_create;
    const char* undo = joined ? "ROLLBACK TO SAVEPOINT tabulo_write" : "ROLLBACK";
    if (transaction && !joined) Exec(conn, "BEGIN", label);
    Result result(
        PQexecPrepared(conn, joined ? "tabulo_write" : "q", 0, nullptr, nullptr, nullptr, 0));
    if (!result || (PQresultStatus(result.get()) != PGRES_COMMAND_OK &&
                    PQresultStatus(result.get()) != PGRES_TUPLES_OK)) {
      ComError error = ErrorOf(conn, result.get(), label);
      if (transaction) PQclear(PQexec(conn, undo));
      throw error;
    }
    if (may_create && std::string(PQcmdStatus(result.get())).rfind("SELECT", 0) == 0) {
      PQclear(PQexec(conn, undo));
      throw ComError(kErrInvalidStatement,
                     "The query would create a table (SELECT ... INTO), and a query may only "
                     "read; nothing was written. Browse with a statement that only reads.",
                     kErrorSource);
    }
    if (one_row) {
      const std::string changed = PQcmdTuples(result.get());
      if (changed != "1") {
        Exec(conn, undo, label);
        throw NotOneRow(changed);
      }
    }
    if (joined) {
      CommitJoined(*joined, label);
    } else if (transaction) {
      Exec(conn, "COMMIT", label);
    }
  }

  // Commits the joined transaction for its owner too. A COMMIT that fails (a deferred
  // constraint, the server gone) has written neither the change nor its records.
  static void CommitJoined(JoinableTransaction& joined, const std::string& label) {
    Result result(PQexec(joined.conn, "COMMIT"));
    const bool committed = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
                           std::string(PQcmdStatus(result.get())) == "COMMIT";
    joined.state =
        committed ? JoinableTransaction::kCommittedByWrite : JoinableTransaction::kEndedByWrite;
    if (committed) return;
    if (result && PQresultStatus(result.get()) != PGRES_COMMAND_OK)
      throw ErrorOf(joined.conn, result.get(), label);
    throw ComError(kErrSourceUnusable,
                   "The transaction was rolled back at its commit; nothing was written.",
                   kErrorSource);
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
    const std::string keyword = well_formed ? platform::AsciiLower(tokens[i + 1].text) : "";
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

ConnectionCounts CountConnections() {
  return {OpenConnections(), IdleConnections(), OpenedConnections()};
}

void SetIdleConnectionLimit(size_t per_login) {
  SetIdleLimit(per_login);
}

std::shared_ptr<DataServer> NewPgDataServer(PgServerOptions options) {
  return std::make_shared<PgDataServer>(std::move(options));
}

}  // namespace tabulo::host::pg
