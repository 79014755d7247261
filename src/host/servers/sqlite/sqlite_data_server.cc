// SqliteDataServer: source resolution, credentials, dispatch of queries and commands.
#include "host/servers/sqlite/sqlite_data_server.h"

#include "host/cursor_record_set.h"
#include "host/memory_row_source.h"
#include "host/servers/sqlite/connection.h"
#include "host/servers/sqlite/odbc_escapes.h"
#include "host/servers/sqlite/query_stream.h"
#include "host/servers/sqlite/sqlite_row_source.h"
#include "host/servers/sqlite/temp_store.h"
#include "host/servers/sqlite/write_statement.h"

namespace tabulo::host::sqlite {
namespace {

namespace fs = std::filesystem;
using platform::ComError;

ComError Unusable(std::string description) {
  return ComError(kErrSourceUnusable, std::move(description), kErrorSource);
}

class SqliteDataServer : public DataServer {
 public:
  explicit SqliteDataServer(SqliteServerOptions options)
      : options_(std::move(options)), store_(TempStore::Open(options_.temp_folder)) {}

  int16_t ServerType() const override { return server_type_; }
  void SetServerType(int16_t type) override { server_type_ = type; }

  std::shared_ptr<RecordSet> Query(std::string_view source, std::string_view /*empty*/,
                                   std::string_view statement, std::string_view user,
                                   std::string_view password) override {
    CheckCredentials(user, password);
    const fs::path path = ResolveSource(source);
    const std::string sql = TranslateOdbcEscapes(statement);
    if (!HasResultColumns(path, sql)) {
      RunWriteStatement(path, sql, options_.busy_timeout, &writers_);
      return NewClosedRecordSet();
    }
    SnapshotOptions snapshot;
    snapshot.busy_timeout = options_.busy_timeout;
    snapshot.memory_bound = options_.memory_bound;
    snapshot.progress.sink = options_.progress;
    return NewCursorRecordSet(OpenSnapshotSource(path, sql, store_, snapshot).source);
  }

  int64_t Stream(std::string_view source, std::string_view statement, std::string_view user,
                 std::string_view password, RowStreamSink& sink) override {
    CheckCredentials(user, password);
    return StreamQuery(ResolveSource(source), TranslateOdbcEscapes(statement),
                       options_.busy_timeout, sink);
  }

  std::shared_ptr<RecordSet> ListAll(std::string_view source, std::string_view statement,
                                     std::string_view user, std::string_view password) override {
    return Query(source, "", statement, user, password);
  }

  std::shared_ptr<RecordSet> ListSources(std::string_view source, std::string_view user,
                                         std::string_view password) override {
    return Query(source, "",
                 "SELECT name AS TABLE_NAME FROM main.sqlite_master WHERE type IN "
                 "('table', 'view') AND name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY name",
                 user, password);
  }

  std::shared_ptr<RecordSet> ListCatalogs() override {
    CheckServerType("");
    std::vector<std::vector<platform::Variant>> rows;
    if (options_.list_dsns) {
      for (auto& name : options_.list_dsns()) rows.push_back({platform::Variant(name)});
    }
    return NewCursorRecordSet(NewMemoryRowSource({{"NAME", adVarChar, 255}}, std::move(rows)));
  }

  std::string MachineName() const override { return options_.machine_name; }

 private:
  void CheckCredentials(std::string_view user, std::string_view password) const {
    if (!options_.user && !options_.password) return;
    if (user != options_.user.value_or("") || password != options_.password.value_or("")) {
      throw ComError(kErrLoginFailed, "Login failed for user '" + std::string(user) + "'.",
                     kErrorSource);
    }
  }

  void CheckServerType(std::string_view source) const {
    if (server_type_ == 1) {
      throw Unusable("Server databases are not supported yet: " + std::string(source));
    }
    if (server_type_ != 0) {
      throw Unusable("Unknown server type " + std::to_string(server_type_));
    }
  }

  fs::path ResolveSource(std::string_view source) const {
    CheckServerType(source);
    if (source.empty()) throw Unusable("No data source given");
    fs::path path(source);
    if (options_.resolve_dsn) {
      if (auto resolved = options_.resolve_dsn(source)) path = *resolved;
    }
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (!fs::exists(status)) {
      throw Unusable(
          "The data source " + std::string(source) +
          " is neither a known data source name nor an existing database file: " + path.string());
    }
    if (fs::is_directory(status)) {
      throw Unusable("The data source " + path.string() + " is a directory, not a database file");
    }
    return path;
  }

  // Prepares the statement once on a read-only connection: statement errors surface here, and
  // a statement without result columns is a command.
  bool HasResultColumns(const fs::path& path, std::string_view statement) const {
    Db db = OpenForReading(path, options_.busy_timeout);
    std::string_view tail;
    Stmt stmt = Prepare(db.get(), statement, path, &tail);
    return CheckQuery(stmt.get(), tail);
  }

  SqliteServerOptions options_;
  std::shared_ptr<TempStore> store_;
  WriteConnections writers_;
  int16_t server_type_ = 0;
};

}  // namespace

std::shared_ptr<DataServer> NewSqliteDataServer(SqliteServerOptions options) {
  return std::make_shared<SqliteDataServer>(std::move(options));
}

}  // namespace tabulo::host::sqlite
