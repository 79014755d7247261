// One throw-away PostgreSQL server per test binary (tests/common/pg_server.sh), started on first
// use and stopped and removed when the binary ends — also after a crash, by the script's
// watcher. Tests call PgFixture::Server() and skip when it says why there is none.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tabulo::test_support {

class PgFixture {
 public:
  struct Instance {
    std::string dir;   // server folder (also its socket folder)
    int port = 0;      // on 127.0.0.1
    std::string skip;  // non-empty: why no server could be had
  };
  // Starts (once) and returns a server; `primary_port` > 0 makes a standby of that server.
  static Instance Start(int primary_port = 0);
  static void Stop(const Instance& instance);
  static void Promote(const Instance& instance);
  // The shared server of the binary.
  static const Instance& Server();
  // Runs SQL as the superuser over the socket (psql); fails the test on error.
  static void Psql(const Instance& instance, const std::string& sql,
                   const std::string& database = "postgres");
  // The first value `sql` yields (psql's unaligned output, trimmed); "" on error.
  static std::string Query(const Instance& instance, const std::string& sql);
};

}  // namespace tabulo::test_support

#define TABULO_REQUIRE_PG(instance) \
  if (!(instance).skip.empty()) GTEST_SKIP() << (instance).skip
