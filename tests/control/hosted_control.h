// Test fixture: TabuloCtl instances in a headless container inside the host runtime, with the
// real cluster manager and SQLite data servers over files in a fresh folder per test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "control/host_state.h"
#include "control/tabulo_ctl.h"
#include "fake_data_server.h"
#include "host/cluster/cluster_manager.h"
#include "host/cluster/host_config.h"
#include "host/host_services.h"
#include "host/orders_db.h"
#include "host/servers/sqlite/sqlite_data_server.h"
#include "host/test_folder.h"
#include "localization/state.h"
#include "platform/runtime/headless_container.h"

namespace tabulo::control::testing {

using host::testing::TestDb;
using host::testing::TestFolder;

// The control site the host runtime hands each control: its one service is the given security
// manager (none by default); it records the services asked for, and fails when told to.
class TestSite : public host::ControlSite {
 public:
  explicit TestSite(std::shared_ptr<platform::Dispatch> manager = nullptr)
      : manager_(std::move(manager)) {}
  std::shared_ptr<platform::Dispatch> GetService(int32_t number) override {
    asked.push_back(number);
    if (fail) throw platform::ComError(0x80004002, "No such interface supported");
    return number == host::kServiceSecurityManager ? manager_ : nullptr;
  }
  std::vector<int32_t> asked;
  bool fail = false;

 private:
  std::shared_ptr<platform::Dispatch> manager_;
};

class HostedControlTest : public ::testing::Test {
 protected:
  // 80 characters wide, 3000 twips of grid (12 rows of 240) above the status bar.
  static constexpr double kWidth = 9600;
  static constexpr double kHeight = 3000 + platform::kStatusBarHeight;

  ~HostedControlTest() override {
    controls_.clear();
    host::InstallClusterManager(container_.process_state(), nullptr);
    registry_.reset();
  }

  // What the controls of this test share (the container's fresh process state).
  HostState& shared() { return SharedHost(container_); }
  localization::LocalizationState& shared_localization() {
    return localization::SharedLocalization(container_);
  }
  // Back to a fresh process's values (the installed host stays).
  void ResetShared() {
    shared() = {};
    shared_localization() = {};
  }

  // Installs a host of the given configuration whose servers are SQLite data servers.
  void InstallHost(host::HostConfig config) { InstallHostWith(std::move(config), SqliteServers()); }

  // Embedded SQLite data servers over the files the configuration names.
  host::DataServerFactory SqliteServers() const {
    std::filesystem::path temp = folder_ / "snapshots";
    return [temp](const host::HostConfig& c, const host::ServerConfig& s) {
      host::sqlite::SqliteServerOptions options;
      options.machine_name = s.name;
      options.temp_folder = temp / s.name;
      options.busy_timeout = std::chrono::milliseconds(50);
      options.resolve_dsn = [c, s](std::string_view dsn) {
        return std::optional<std::string>(host::ResolveDataSource(c, s, std::string(dsn)));
      };
      return host::sqlite::NewSqliteDataServer(std::move(options));
    };
  }

  // Installs a host whose data servers come from `factory` (test doubles).
  void InstallHostWith(host::HostConfig config, host::DataServerFactory factory) {
    registry_ = host::ClusterRegistry::Create(std::move(config), std::move(factory));
    std::weak_ptr<host::ClusterRegistry> weak = registry_;
    host::InstallClusterManager(container_.process_state(),
                                [weak]() -> std::unique_ptr<host::ClusterManager> {
                                  auto registry = weak.lock();
                                  if (!registry) return nullptr;
                                  return registry->NewManager();
                                });
  }

  void InstallDefaultHost() { InstallHost(host::DefaultHostConfig("TESTBOX")); }

  // Installs the default host whose one data server is a counting double of `rows` rows.
  std::shared_ptr<FakeDataServer> InstallFakeHost(int64_t rows) {
    auto fake = std::make_shared<FakeDataServer>();
    fake->rows = rows;
    InstallHostWith(host::DefaultHostConfig("TESTBOX"),
                    [fake](const host::HostConfig&, const host::ServerConfig&) { return fake; });
    return fake;
  }

  // A new control placed in design mode, given its site by the host as the runtime does.
  TabuloCtl& NewControl(bool in_host = true) {
    container_.SetAmbientUserMode(false);
    auto ctl = std::make_unique<TabuloCtl>(container_);
    ctl->InitNew();
    ctl->Resize(kWidth, kHeight);
    ctl->Show();
    if (in_host) ctl->SetControlSite(1, std::make_shared<TestSite>(), 1033, 1033, 0, "");
    controls_.push_back(std::move(ctl));
    return *controls_.back();
  }

  // A control as opening a display creates it: no new-instance values, nothing loaded yet.
  TabuloCtl& BareControl() {
    controls_.push_back(std::make_unique<TabuloCtl>(container_));
    controls_.back()->Resize(kWidth, kHeight);
    return *controls_.back();
  }

  // Switches the container to run mode and lets the first timer tick load the data.
  void EnterRunMode() {
    container_.SetAmbientUserMode(true);
    for (auto& c : controls_) c->UserModeSet();
    container_.event_loop().RunFor(250);
  }

  // A new control in design mode set to browse `sql` on `dsn`.
  TabuloCtl& Configured(const std::filesystem::path& dsn, const std::string& sql,
                        bool auto_refresh = false, bool in_host = true) {
    TabuloCtl& ctl = NewControl(in_host);
    ctl.SetDSNname(dsn.string());
    ctl.SetRecordSource(sql);
    if (auto_refresh) ctl.SetAutoRefresh(true);
    return ctl;
  }
  // A control in run mode browsing `sql` on `dsn` (a database file or a data source name).
  TabuloCtl& Browse(const std::filesystem::path& dsn, const std::string& sql) {
    TabuloCtl& ctl = Configured(dsn, sql);
    EnterRunMode();
    return ctl;
  }
  // A control in run mode browsing kOrders on an Orders database of `rows` records.
  static constexpr char kOrders[] = "SELECT Id, Customer, Qty FROM Orders ORDER BY Id";
  TabuloCtl& BrowseOrders(int rows) { return Browse(OrdersDb(rows), kOrders); }
  void Run(int64_t ms) { container_.event_loop().RunFor(ms); }

  // An Orders database (host/orders_db.h) of `rows` records.
  std::filesystem::path OrdersDb(int rows, const std::string& name = "orders.db") {
    std::filesystem::path path = folder_ / name;
    TestDb db(path);
    host::testing::CreateOrders(db, rows);
    return path;
  }

  // Sets fields of column descriptors, as (descriptor, field, value) with the fields 1 visible,
  // 2 caption, 3 width and 4 unique, through the GridArray exchange as a property page does.
  static void EditColumns(
      TabuloCtl& ctl,
      std::initializer_list<std::tuple<int32_t, int32_t, platform::Variant>> fields) {
    platform::SafeArray a = ctl.GridColumns().AsArray();
    for (const auto& [i, f, v] : fields) a.At(i, f) = v;
    ctl.SetGridArray(platform::Variant(std::move(a)));
  }

  // The texts of grid row r, from column 0 to the last.
  static std::vector<std::string> RowText(const TabuloCtl& ctl, int32_t r) {
    std::vector<std::string> out;
    for (int32_t c = 0; c < ctl.Grid.Cols(); ++c) out.push_back(ctl.Grid.TextMatrix(r, c));
    return out;
  }

  // The grid shows records first + 1 on of an Orders result of `count` records browsed as
  // "SELECT Id, Customer, Qty", from row 1.
  static void ExpectOrdersFrom(const TabuloCtl& ctl, int64_t first, int64_t count) {
    EXPECT_EQ(ctl.FirstRow(), first);
    for (int32_t r = 1; r < ctl.Grid.Rows(); ++r) {
      const int64_t id = first + r;
      std::vector<std::string> row(4);
      if (id <= count)
        row = {std::to_string(id), std::to_string(id),
               std::string("C").append(std::to_string(id % 97)), std::to_string(id % 500)};
      EXPECT_EQ(RowText(ctl, r), row) << "row " << r;
    }
  }

  // What the control shows: the first column of its window down to the first empty row, then
  // the connection panel.
  static std::string Shown(const TabuloCtl& ctl) {
    std::string out;
    for (int32_t r = 1;
         r < ctl.Grid.Rows() && ctl.Grid.Cols() > 1 && !ctl.Grid.TextMatrix(r, 1).empty(); ++r)
      out += ctl.Grid.TextMatrix(r, 1) + ", ";
    return out + ctl.sBar.Panels(2).text();
  }

  // The property changes told to the container since the `from`th, and how many named `name`.
  std::vector<std::string> NotesSince(size_t from) const {
    const auto& all = container_.property_changes();
    return std::vector<std::string>(all.begin() + static_cast<long>(from), all.end());
  }
  size_t NotesOf(const std::string& name) const {
    const auto& all = container_.property_changes();
    return static_cast<size_t>(std::count(all.begin(), all.end(), name));
  }

  size_t MessageCount() const { return container_.message_boxes().size(); }
  // The message boxes shown since `before`, as "title|text".
  std::vector<std::string> MessagesSince(size_t before) const {
    std::vector<std::string> out;
    for (size_t i = before; i < MessageCount(); ++i)
      out.push_back(container_.message_boxes()[i].title + "|" + container_.message_boxes()[i].text);
    return out;
  }
  const platform::MsgBoxRecord& LastMessage() const { return container_.message_boxes().back(); }
  // The last message box as "title|style|text".
  std::string LastBox() const {
    const platform::MsgBoxRecord& m = LastMessage();
    return m.title + "|" + std::to_string(m.style) + "|" + m.text;
  }

  TestFolder folder_;
  platform::HeadlessContainer container_;
  std::shared_ptr<host::ClusterRegistry> registry_;
  std::vector<std::unique_ptr<TabuloCtl>> controls_;
};

// The same inside the host's default configuration.
class DefaultHostTest : public HostedControlTest {
 protected:
  void SetUp() override { InstallDefaultHost(); }
};

}  // namespace tabulo::control::testing
