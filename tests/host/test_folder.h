// A fresh folder per test, direct SQLite access to databases, and the error a call raised.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/values/com_error.h"

namespace tabulo::host::testing {

// A fresh, empty folder under TABULO_TEST_TMP (or the system temp folder), removed afterwards.
class TestFolder {
 public:
  TestFolder() {
    const char* base = std::getenv("TABULO_TEST_TMP");
    const std::filesystem::path root =
        base && *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(root);
    std::string name = (root / "host-XXXXXX").string();
    EXPECT_NE(::mkdtemp(name.data()), nullptr) << name;
    path_ = name;
  }
  ~TestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Writes `content` to the file `name` and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ / name, std::ios::binary) << content;
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

// A read-write connection of the test itself (creates the file).
class TestDb {
 public:
  explicit TestDb(const std::filesystem::path& path) {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    sqlite3_busy_timeout(db_, 2000);
  }
  ~TestDb() { sqlite3_close_v2(db_); }
  TestDb(const TestDb&) = delete;
  TestDb& operator=(const TestDb&) = delete;

  // Runs SQL, adding the rows it gives to `rows`; returns SQLite's result code (and fails the
  // test on an error unless allowed).
  int Exec(const std::string& sql, bool allow_error = false,
           std::vector<std::vector<std::string>>* rows = nullptr) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), rows ? AddRow : nullptr, rows, &message);
    EXPECT_TRUE(allow_error || rc == SQLITE_OK)
        << rc << ", " << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    return rc;
  }
  // Every row of a query, each as its columns' texts (NULL as "<null>"), read past the server.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    Exec(sql, false, &rows);
    return rows;
  }
  // The first column of the first row ("" for none).
  std::string Text(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() ? "" : rows[0].at(0);
  }
  sqlite3* get() const { return db_; }

 private:
  static int AddRow(void* rows, int n, char** texts, char**) {
    auto& out = static_cast<std::vector<std::vector<std::string>>*>(rows)->emplace_back();
    for (int i = 0; i < n; ++i) out.push_back(texts[i] ? texts[i] : "<null>");
    return 0;
  }
  sqlite3* db_ = nullptr;
};

// The error a call raised; fails the test when it raised none.
inline platform::ComError Raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return platform::ComError(0, "");
}

}  // namespace tabulo::host::testing
