#include "container/export.h"

#include <cctype>
#include <fstream>

#include "container/host_setup.h"
#include "host/data_server.h"
#include "host/field_types.h"
#include "platform/storage/atomic_file.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

int64_t WriteResult(host::RecordSet& rs, RowFormat format, std::ostream& out,
                    const ExportProgress& progress) {
  std::vector<std::string> names;
  std::vector<bool> binary;
  for (int32_t i = 0; i < rs.FieldCount(); ++i) {
    names.push_back(rs.Item(i).Name());
    binary.push_back(host::IsBinaryType(rs.Item(i).Type()));
  }
  RowWriter writer(out, format, names, binary);
  const int64_t total = rs.RecordCount();
  std::vector<platform::Variant> values(names.size());
  int64_t done = 0;
  for (; !rs.Eof(); rs.MoveNext()) {
    for (size_t i = 0; i < values.size(); ++i) values[i] = rs.Item(static_cast<int32_t>(i)).Value();
    try {
      writer.Write(values);
    } catch (const platform::ComError& e) {
      throw platform::ComError(
          e.number(), "record " + std::to_string(done + 1) + ": " + e.description(), e.source());
    }
    if (++done % kExportProgressEvery == 0 && progress) progress(done, total);
  }
  if (!out) throw platform::ComError(platform::kErrPathFileAccess, "the output cannot be written");
  return done;
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
  std::shared_ptr<host::DataServer> server = NewHostDataServer(config, DefaultServer(config));
  std::shared_ptr<host::RecordSet> rs;
  try {
    rs = server->Query(request.db, "", request.sql, "", "");
  } catch (const platform::ComError& e) {
    const std::string note = e.code() == host::kErrSourceUnusable
                                 ? MissingDatabaseNote(config, request.db)
                                 : std::string();
    if (note.empty()) throw;
    throw platform::ComError(e.code(), e.description() + " (" + note + ")", e.source());
  }
  if (rs->State() != 1)
    throw platform::ComError(host::kErrInvalidStatement, "the statement yields no result");
  if (request.out.empty()) return WriteResult(*rs, request.format, out, progress);
  int64_t written = 0;
  platform::ReplaceFileWith(request.out, [&](const std::filesystem::path& temporary) {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    written = WriteResult(*rs, request.format, file, progress);
    file.close();
    if (!file)
      throw platform::ComError(platform::kErrPathFileAccess, "cannot write " + temporary.string());
  });
  return written;
}

}  // namespace tabulo::container
