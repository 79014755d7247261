// The note a failed load adds about the data source: a missing file is named, a data source of
// the ODBC driver manager (no file) is not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "container/host_setup.h"
#include "host/host_config.h"

namespace tabulo::container {
namespace {

TEST(MissingDatabaseNote, NamesOnlyMissingFiles) {
  const char* base = std::getenv("TABULO_TEST_TMP");
  const std::filesystem::path folder = std::filesystem::path(base && *base ? base : "/tmp") /
                                       ("odbc-note-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "odbc.ini") << "[plant-odbc]\nDriver=SQLite3\n";
  std::ofstream(folder / "odbcinst.ini") << "";
  std::ofstream(folder / "present.db") << "";
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", (folder / "odbc.ini").c_str(), 1);
  const host::HostConfig config = host::DefaultHostConfig("PLANT-01");
  const std::string missing = (folder / "missing.db").string();
  const struct {
    std::string db, note;
  } rows[] = {
      {"plant-odbc", ""},
      {(folder / "present.db").string(), ""},
      {missing, "no database file at " + missing},
      {"plant-other", "no database file at plant-other"},
  };
  for (const auto& row : rows) EXPECT_EQ(MissingDatabaseNote(config, row.db), row.note) << row.db;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tabulo::container
