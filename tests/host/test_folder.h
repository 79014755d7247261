// Test helpers: a fresh folder per test, and direct SQLite access to set up databases.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace tabulo::host::testing {

// A fresh, empty folder under TABULO_TEST_TMP (or the system temp folder), removed afterwards.
class TestFolder {
 public:
  TestFolder() {
    const char* base = std::getenv("TABULO_TEST_TMP");
    std::filesystem::path root =
        base && *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("host-") + (info ? info->test_suite_name() : "x") + "-" +
                       (info ? info->name() : "y") + "-" + std::to_string(::getpid());
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = root / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

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

  // Runs SQL; returns SQLite's result code (and fails the test on an error unless allowed).
  int Exec(const std::string& sql, bool allow_error = false) {
    char* message = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    if (!allow_error) {
      EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (message ? message : "");
    }
    sqlite3_free(message);
    return rc;
  }
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace tabulo::host::testing
