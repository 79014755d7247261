#include "container/export.h"

#include <cctype>
#include <fstream>
#include <optional>

#include "container/host_setup.h"
#include "host/data_server.h"
#include "host/field_types.h"
#include "platform/storage/atomic_file.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

// Writes each streamed row as it comes; the header once the columns are known.
class ExportSink : public host::RowStreamSink {
 public:
  ExportSink(std::ostream& out, RowFormat format, const ExportProgress& progress)
      : out_(out), format_(format), progress_(progress) {}

  void Begin(const std::vector<host::StreamColumn>& columns) override {
    std::vector<std::string> names;
    std::vector<bool> binary;
    for (const host::StreamColumn& column : columns) {
      names.push_back(column.name);
      binary.push_back(host::IsBinaryType(column.type));
    }
    writer_.emplace(out_, format_, std::move(names), std::move(binary));
  }

  void Row(const host::StreamValue* values) override {
    try {
      writer_->Append(values);
    } catch (const platform::ComError& e) {
      throw platform::ComError(
          e.number(), "record " + std::to_string(done_ + 1) + ": " + e.description(), e.source());
    }
    if (++done_ % kExportProgressEvery == 0 && progress_) progress_(done_);
  }

  // Writes out what is still kept; raises when the output cannot be written.
  void Finish() {
    if (writer_) writer_->Flush();
    if (!out_)
      throw platform::ComError(platform::kErrPathFileAccess, "the output cannot be written");
  }

 private:
  std::ostream& out_;
  RowFormat format_;
  const ExportProgress& progress_;
  std::optional<RowWriter> writer_;
  int64_t done_ = 0;
};

// Streams the statement's rows into `out`.
int64_t WriteResult(host::DataServer& server, const std::string& source, const std::string& sql,
                    RowFormat format, std::ostream& out, const ExportProgress& progress) {
  ExportSink sink(out, format, progress);
  const int64_t rows = server.Stream(source, sql, "", "", sink);
  sink.Finish();
  return rows;
}

}  // namespace

bool IsSelect(std::string_view sql) {
  const size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || sql.size() - start < 7) return false;
  for (size_t i = 0; i < 6; ++i)
    if (std::toupper(static_cast<unsigned char>(sql[start + i])) != "SELECT"[i]) return false;
  return std::isspace(static_cast<unsigned char>(sql[start + 6])) != 0;
}

int64_t Export(const ExportRequest& request, std::ostream& out, const ExportProgress& progress) {
  const host::HostConfig config = request.host_config.empty()
                                      ? host::DefaultHostConfig(host::LocalMachineName())
                                      : host::LoadHostConfig(request.host_config);
  // Nothing but a query runs: the data server would execute any other statement.
  if (!IsSelect(request.sql))
    throw platform::ComError(host::kErrInvalidStatement,
                             "only a statement beginning with SELECT is exported");
  std::shared_ptr<host::DataServer> server =
      NewHostDataServer(config, DefaultServer(config), request.load_progress);
  std::string source = request.db;
  if (request.server_type != 0) {
    server->SetServerType(request.server_type);
    source += ";DATABASE=" + request.database;
  }
  // Runs the export, adding to a missing data source's error the file it missed.
  auto write = [&](std::ostream& stream) {
    try {
      return WriteResult(*server, source, request.sql, request.format, stream, progress);
    } catch (const platform::ComError& e) {
      const std::string note = e.code() == host::kErrSourceUnusable && request.server_type == 0
                                   ? MissingDatabaseNote(config, request.db)
                                   : std::string();
      if (note.empty()) throw;
      throw platform::ComError(e.code(), e.description() + " (" + note + ")", e.source());
    }
  };
  if (request.out.empty()) return write(out);
  int64_t written = 0;
  platform::ReplaceFileWith(request.out, [&](const std::filesystem::path& temporary) {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    written = write(file);
    file.close();
    if (!file)
      throw platform::ComError(platform::kErrPathFileAccess, "cannot write " + temporary.string());
  });
  return written;
}

}  // namespace tabulo::container
