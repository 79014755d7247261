#include "common/pg_fixture.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tabulo::test_support {
namespace {

std::string Run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    *status = -1;
    return out;
  }
  std::array<char, 256> buffer;
  while (fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
  const int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

const std::string kScript = TABULO_PG_SERVER_SCRIPT;

PgFixture::Instance* shared = nullptr;

class StopAtEnd : public ::testing::Environment {
 public:
  void TearDown() override {
    if (shared && !shared->dir.empty()) PgFixture::Stop(*shared);
  }
};
[[maybe_unused]] ::testing::Environment* const kStopAtEnd =
    ::testing::AddGlobalTestEnvironment(new StopAtEnd);

}  // namespace

PgFixture::Instance PgFixture::Start(int primary_port) {
  Instance instance;
  char pattern[] = "/tmp/tabulo-pg.XXXXXX";
  if (!mkdtemp(pattern)) {
    instance.skip = "no temporary folder for a PostgreSQL server";
    return instance;
  }
  instance.dir = pattern;
  int status = 0;
  std::string command = kScript;
  for (const std::string& arg :
       {std::string("start"), instance.dir, std::to_string(getpid()), std::to_string(primary_port)})
    command.append(" ").append(arg);
  command += " 2>&1";
  const std::string out = Run(command, &status);
  if (status != 0) {
    instance.skip = "no PostgreSQL test server: " + out;
    std::filesystem::remove_all(instance.dir);
    instance.dir.clear();
    return instance;
  }
  instance.port = std::atoi(out.c_str());
  return instance;
}

void PgFixture::Stop(const Instance& instance) {
  int status = 0;
  Run(kScript + " stop " + instance.dir, &status);
}

void PgFixture::Promote(const Instance& instance) {
  int status = 0;
  const std::string out = Run(kScript + " promote " + instance.dir + " 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
}

const PgFixture::Instance& PgFixture::Server() {
  if (!shared) shared = new Instance(Start());
  return *shared;
}

void PgFixture::Psql(const Instance& instance, const std::string& sql,
                     const std::string& database) {
  const std::string file = instance.dir + "/input.sql";
  FILE* f = fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs(sql.c_str(), f);
  fclose(f);
  int status = 0;
  const std::string out = Run("PGPASSWORD=secret psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " +
                                  std::to_string(instance.port) + " -U postgres -d " + database +
                                  " -f " + file + " 2>&1",
                              &status);
  ASSERT_EQ(status, 0) << out;
}

std::string PgFixture::Query(const Instance& instance, const std::string& sql) {
  Psql(instance, "\\o " + instance.dir + "/output.txt\n\\pset format unaligned\n\\t on\n" + sql);
  std::ifstream in(instance.dir + "/output.txt");
  std::string value;
  std::getline(in, value);
  return value;
}

}  // namespace tabulo::test_support
