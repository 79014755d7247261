// Control files saved and loaded, and the host's setup around a display: the periodic
// server check (it runs only when a server has its own PostgreSQL connection, and each tick
// lets the cluster follow the probed primary), and the note a failed load adds about the
// data source (a missing file is named, a data source of the ODBC driver manager, no file,
// is not).
#include "container/control_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "container/host_setup.h"
#include "control/hosted_control.h"
#include "control/persisted_properties.h"
#include "host/host_config.h"
#include "platform/automation/dispatch_object.h"
#include "platform/runtime/clock.h"
#include "platform/storage/property_bag_format.h"
#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using control::TabuloCtl;
using platform::ComError;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The error a call raises, as "number: description".
template <typename Call>
std::string ErrorOf(Call call) {
  try {
    call();
  } catch (const ComError& e) {
    return std::to_string(e.number()) + ": " + e.description();
  }
  return "no error";
}

class ControlFileTest : public control::testing::HostedControlTest {
 protected:
  // A control as opening a display creates it, before its file is loaded.
  TabuloCtl& BareControl() {
    auto ctl = std::make_unique<TabuloCtl>(container_);
    ctl->Resize(kWidth, kHeight);
    controls_.push_back(std::move(ctl));
    return *controls_.back();
  }

  std::filesystem::path File(const std::string& name) const { return folder_ / name; }
};

TEST_F(ControlFileTest, EveryPropertyComesBackFromTheFile) {
  TabuloCtl& saved = NewControl();
  control::testing::SetEveryPersistedProperty(saved);
  std::filesystem::path path = File("form.tab");
  SaveControlFile(saved, path);

  TabuloCtl& loaded = BareControl();
  LoadControlFile(path, loaded);
  control::testing::ExpectSamePersistedProperties(saved, loaded);
  EXPECT_EQ(MessageCount(), 0u);
  // Saving the loaded control gives the same file, byte for byte.
  std::filesystem::path again = File("again.tab");
  SaveControlFile(loaded, again);
  EXPECT_EQ(ReadText(again), ReadText(path));
}

TEST_F(ControlFileTest, FilesThatCannotBeReadAreRefusedBeforeTheControlIsTouched) {
  folder_.Write("truncated.tab", "TabuloPropertyBag 2\nRecordSource = String \"x\"\n");
  std::filesystem::create_directory(File("folder.tab"));
  TabuloCtl& ctl = BareControl();
  EXPECT_EQ(ErrorOf([&] { LoadControlFile(File("truncated.tab"), ctl); }),
            "321: " + File("truncated.tab").string() +
                ", line 2: unexpected end of text: missing the \"End\" line (truncated)");
  const std::string error = ErrorOf([&] { LoadControlFile(File("folder.tab"), ctl); });
  EXPECT_EQ(error.rfind("75: Path/File access error (" + File("folder.tab").string() + ": ", 0), 0u)
      << error;
  EXPECT_EQ(ctl.RecordSource(), "");
  EXPECT_EQ(ctl.Font(), nullptr);
  EXPECT_EQ(MessageCount(), 0u);
}

// An automation object that cannot be saved in a property bag.
struct Plain : platform::DispatchObject {
  Plain() : DispatchObject("Plain") {}
};

TEST_F(ControlFileTest, AFailedSaveNamesTheFileAndLeavesWhatWasThere) {
  folder_.Write("form.tab", "the old file\n");
  platform::PropertyBag unsaveable;
  unsaveable.Store("Mode", platform::Variant(int32_t{1}));
  unsaveable.Store("Odd", platform::Variant(std::shared_ptr<platform::Dispatch>(new Plain)));
  std::string raised = ErrorOf([&] { WriteControlFile(File("form.tab"), unsaveable); });
  EXPECT_EQ(raised.rfind("13: " + File("form.tab").string() + ": Type mismatch (key \"Odd\"", 0),
            0u)
      << raised;
  EXPECT_EQ(ReadText(File("form.tab")), "the old file\n");
}

TEST(ControlFileRead, ADeviceIsRefusedInsteadOfRead) {
  try {
    ReadControlFile("/dev/zero");
    ADD_FAILURE() << "no error";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.description(), "Path/File access error (/dev/zero: not a regular file)");
  }
}

TEST(ClusterWatchTest, TicksFollowThePrimaryOnlyWhereServersHaveConnections) {
  for (bool with_connection : {true, false}) {
    SCOPED_TRACE(with_connection);
    HostInstallation host;
    host.config.clusters.push_back({"P", host::kClusterTypeDizuvAdar, "", "a", {}});
    for (const char* name : {"a", "b"}) {
      host::ServerConfig server;
      server.name = name;
      if (with_connection) server.postgresql["plant"] = {"h", 1, "", "", ""};
      host.config.clusters[0].servers.push_back(server);
    }
    host.registry = host::ClusterRegistry::Create(host.config, nullptr);
    platform::VirtualClock clock;
    platform::EventLoop loop(clock);
    std::string primary = "a";
    int probes = 0;
    WatchClusterServers(
        loop, host,
        [&](const host::HostConfig&, const host::ServerConfig& s) {
          ++probes;
          return s.name == primary ? host::ServerRole::kPrimary : host::ServerRole::kStandby;
        },
        1000);
    primary = "b";
    loop.RunFor(999);
    EXPECT_EQ(host.registry->ActiveServerName("P"), "a");
    loop.RunFor(1);
    EXPECT_EQ(host.registry->ActiveServerName("P"), with_connection ? "b" : "a");
    EXPECT_EQ(probes, with_connection ? 2 : 0);
  }
}

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
