// The data source page (dsn_selection.h).
#include "pages/dsn_selection.h"

#include <vector>

#include "control/host_state.h"
#include "localization/localized_string.h"
#include "localization/page_switch.h"
#include "pages/page_support.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "querybuilder/query_builder.h"

namespace tabulo::pages {
namespace {

using platform::ComError;
using platform::Variant;

// The page's own errors (vbObjectError + 513).
constexpr int64_t kErrPage = 0x80040201;

ComError PageError(std::string text) {
  return ComError(kErrPage, std::move(text), "DSNSelection");
}

// Adds `text` before the first entry that sorts after it, as a sorted list does.
void AddSorted(platform::ListBox& list, const std::string& text) {
  const std::string key = platform::LCase(text);
  int32_t at = 0;
  while (at < list.list_count() && platform::LCase(list.list(at)) <= key) ++at;
  list.AddItem(text, at);
}

// Field 0 of every record, from the first, into `list` (sorted).
void AddFirstFields(host::RecordSet& rs, platform::ListBox& list, const platform::Locale& loc) {
  if (!(rs.Bof() && rs.Eof())) rs.MoveFirst();
  while (!rs.Bof() && !rs.Eof()) {
    AddSorted(list, platform::CStr(rs.Item(0).Value(), loc));
    rs.MoveNext();
  }
}

}  // namespace

DSNSelection::DSNSelection(platform::Container& site) : PropertyPage("DSNSelection", site) {
  platform::EventLoop& loop = site.event_loop();
  for (size_t i = 0; i < lblStep3.size(); ++i)
    lblStep3[i] = std::make_unique<platform::Label>(
        std::string("lblStep3(").append(std::to_string(i)).append(1, ')'));
  cmdListTables = std::make_unique<platform::CommandButton>("cmdListTables", loop);
  cmdBuildQuery = std::make_unique<platform::CommandButton>("cmdBuildQuery", loop);
  cmdApply = std::make_unique<platform::CommandButton>("cmdApply", loop);
  txtPWD.set_password_char("*");
  txtSQL.set_multi_line(true);

  AddWidget(fraStep3);
  AddWidget(lblCluster);
  AddWidget(cboCluster);
  AddWidget(*lblStep3[0]);
  AddWidget(cboPreference);
  AddWidget(*lblStep3[1]);
  AddWidget(cboDSNList);
  AddWidget(*lblStep3[2]);
  AddWidget(txtUID);
  AddWidget(*lblStep3[3]);
  AddWidget(txtPWD);
  AddWidget(*lblStep3[5]);
  AddWidget(txtDatabase);
  AddWidget(*lblStep3[6]);
  AddWidget(lstTable);
  AddWidget(*cmdListTables);
  AddWidget(*lblStep3[4]);
  AddWidget(txtSQL);
  AddWidget(*cmdBuildQuery);
  AddWidget(*cmdApply);
  Arrange({{&fraStep3, 120, 60, 6660, 2280},
           {&lblCluster, 240, 360, 1740, 240},
           {&cboCluster, 2040, 330, 2400, 315},
           {lblStep3[0].get(), 240, 720, 1740, 240},
           {&cboPreference, 2040, 690, 2400, 315},
           {lblStep3[1].get(), 240, 1080, 1740, 240},
           {&cboDSNList, 2040, 1050, 4560, 315},
           {lblStep3[2].get(), 240, 1440, 1740, 240},
           {&txtUID, 2040, 1410, 1560, 285},
           {lblStep3[3].get(), 3720, 1440, 1020, 240},
           {&txtPWD, 4800, 1410, 1800, 285},
           {lblStep3[5].get(), 240, 1800, 1740, 240},
           {&txtDatabase, 2040, 1770, 2400, 285},
           {lblStep3[6].get(), 120, 2460, 2400, 240},
           {&lstTable, 120, 2700, 2400, 1500},
           {cmdListTables.get(), 120, 4320, 2400, 375},
           {lblStep3[4].get(), 2760, 2460, 2400, 240},
           {&txtSQL, 2760, 2700, 4020, 1500},
           {cmdBuildQuery.get(), 2760, 4320, 1800, 375},
           {cmdApply.get(), 4980, 4320, 1800, 375}});

  cboPreference.on_click = [this] { ServerTypeChoice(); };
  cmdListTables->on_click = [this] { ListTables(); };
  lstTable.on_dbl_click = [this] { ChooseTable(); };
  cmdBuildQuery->on_click = [this] { BuildQuery(); };
  cmdApply->on_click = [this] {
    SetChanged(true);
    ApplyChanges();
  };
  for (platform::TextBox* t : {&txtUID, &txtPWD, &txtSQL})
    t->on_change = [this] { MarkChangedUnlessLoading(); };
  cboCluster.on_click = [this] {
    if (!filling_clusters_) MarkChangedUnlessLoading();
  };
}

DSNSelection::~DSNSelection() {
  ForgetApplyButton();
}

void DSNSelection::Initialize() {
  set_caption(PageText(*this, 1136));
  cmdListTables->set_caption(PageText(*this, 1142));
  cmdBuildQuery->set_caption(PageText(*this, 1163));
  cmdApply->set_caption(PageText(*this, 1164));
  fraStep3.set_caption(PageText(*this, 1096));
  constexpr int32_t kLabelTexts[] = {1100, 1104, 1103, 1102, 1143, 1101, 1165};
  for (size_t i = 0; i < lblStep3.size(); ++i)
    lblStep3[i]->set_caption(PageText(*this, kLabelTexts[i]));
  lblCluster.set_caption(PageText(*this, 1201));
  cboPreference.Clear();
  cboPreference.AddItem("ODBC", 0);
  cboPreference.AddItem("SQL Server", 1);
  load_pending_ = true;
}

void DSNSelection::Paint() {
  localization::ApplyOnPageSwitch(localization::SharedLocalization(site()), site().event_loop(),
                                  cmdApply->message_hwnd());
  ctl_ = EditedControl(*this);
  if (!load_pending_ || !ctl_) return;
  load_pending_ = false;
  loading_ = true;
  try {
    cboPreference.set_list_index(ctl_->ServerType());
  } catch (const ComError&) {
    // A stored server type the list does not offer leaves the choice empty.
  }
  cboDSNList.set_text(ctl_->DSNname());
  txtUID.set_text(ctl_->User());
  txtPWD.set_text(ctl_->Password());
  txtDatabase.set_text(ctl_->Database());
  txtSQL.set_text(ctl_->RecordSource());
  SetChanged(false);
  loading_ = false;
  FillClusterList(ctl_->ClusterName());
  cboDSNList.SetFocus();
}

void DSNSelection::FillClusterList(const std::string& name) {
  filling_clusters_ = true;
  bool data_table_servers = true;
  Variant names;
  const int16_t n = ctl_->GetClusterNames(data_table_servers, names);
  bool found = false;
  for (int16_t i = 0; i < n; ++i) {
    const std::string cluster = names.AsArray().At(i).AsString();
    cboCluster.AddItem(cluster);
    if (cluster != name) continue;
    cboCluster.set_list_index(cboCluster.list_count() - 1);
    found = true;
  }
  if (!found && cboCluster.list_count() > 0) cboCluster.set_list_index(0);
  filling_clusters_ = false;
}

void DSNSelection::ServerTypeChoice() {
  const bool odbc = cboPreference.list_index() == 0;
  lblStep3[1]->set_caption(odbc ? PageText(*this, 1104) : "Server:");
  txtDatabase.set_locked(odbc);
  txtDatabase.set_back_color(odbc ? kSysInactiveBorder : kSysWindowBackground);
  ListDataSources();
  SetChanged(true);
}

void DSNSelection::ListDataSources() {
  cboDSNList.Clear();
  cboDSNList.set_text("");
  lstTable.Clear();
  const std::shared_ptr<host::DataServer> server = control::SharedHost(site()).data_server;
  if (!server) return;
  try {
    server->SetServerType(cboPreference.list_index());
    std::shared_ptr<host::RecordSet> rs = server->ListCatalogs();
    AddFirstFields(*rs, cboDSNList, site().UserLocale());
  } catch (const ComError& e) {
    site().MsgBox(e.description(), platform::kMbOkOnly, "");
  }
}

std::string DSNSelection::SourceText() const {
  std::string source = platform::Trim(cboDSNList.text());
  if (cboPreference.list_index() == 1) source += ";DATABASE=" + txtDatabase.text();
  return source;
}

void DSNSelection::ListTables() {
  lstTable.Clear();
  if (cboDSNList.text().empty()) return;
  try {
    const std::shared_ptr<host::DataServer> server = control::SharedHost(site()).data_server;
    if (!server) throw PageError("Not connected to data server.");
    const int16_t type = static_cast<int16_t>(cboPreference.list_index());
    server->SetServerType(type);
    std::shared_ptr<host::RecordSet> rs = server->ListSources(
        SourceText(), platform::Trim(txtUID.text()), platform::Trim(txtPWD.text()));
    if (ctl_)
      ctl_->OutputDebug(type == 1 ? "g_DataServer.ListSources(SQL)"
                                  : "g_DataServer.ListSources(DSN)");
    AddFirstFields(*rs, lstTable, site().UserLocale());
  } catch (const ComError& e) {
    site().MsgBox("Error retrieving the data source list: " + e.description(), platform::kMbOkOnly,
                  "");
  }
  if (lstTable.list_count() > 0) lstTable.set_list_index(-1);
}

void DSNSelection::ChooseTable() {
  if (lstTable.list_index() < 0) return;
  try {
    txtSQL.set_text("SELECT * FROM " + lstTable.text());
    SetChanged(true);
  } catch (const ComError& e) {
    site().MsgBox(e.description(), platform::kMbOkOnly, "Error");
  }
}

void DSNSelection::BuildQuery() {
  if (txtSQL.text().empty()) ChooseTable();
  if (txtSQL.text().empty()) {
    site().MsgBox("You must first select a table from the table list.", platform::kMbInformation,
                  "Invalid Table");
    return;
  }
  try {
    querybuilder::frmQueryBuilder builder(site().UserLocale());
    builder.SetSql(txtSQL.text());
    if (builder.FromPart().empty())
      throw PageError("An invalid table name was specified in FROM portion.");
    const std::string probe = "SELECT * FROM " + builder.FromPart() + " WHERE 1=0";
    const std::shared_ptr<host::DataServer> server = control::SharedHost(site()).data_server;
    if (!server) throw PageError("Not connected to data server.");
    server->SetServerType(static_cast<int16_t>(cboPreference.list_index()));
    std::shared_ptr<host::RecordSet> rs = server->ListAll(
        SourceText(), probe, platform::Trim(txtUID.text()), platform::Trim(txtPWD.text()));
    auto columns = std::make_shared<std::vector<Variant>>();
    for (int32_t i = 0; i < rs->FieldCount(); ++i) columns->emplace_back(rs->Item(i).Name());
    rs->Close();
    builder.SetTableColumns(std::move(columns));
    builder.Show(site());
    if (builder.DialogResult() == 1) txtSQL.set_text(builder.sql());
  } catch (const ComError& e) {
    site().MsgBox("There was an error launching the query builder:\r\n\r\n" + e.description(),
                  platform::kMbOkOnly, "");
  }
}

void DSNSelection::ApplyChanges() {
  if (!ctl_) ctl_ = EditedControl(*this);
  if (!ctl_) return;
  ctl_->OutputDebug("DSNSelection.ApplyChanges()");
  site().SetMousePointer(platform::kPointerHourglass);
  const platform::Locale& loc = site().UserLocale();
  const std::string dsn = cboDSNList.text();
  if (dsn.empty() || dsn == localization::GetDialogString(localization::SharedLocalization(site()),
                                                          "VELTRA", 1092, loc)) {
    site().MsgBox(localization::GetDialogString(localization::SharedLocalization(site()), "VELTRA",
                                                1094, loc),
                  platform::kMbCritical,
                  localization::GetDialogString(localization::SharedLocalization(site()), "VELTRA",
                                                1030, loc));
    cboDSNList.SetFocus();
    site().SetMousePointer(platform::kPointerDefault);
    return;
  }
  try {
    querybuilder::frmQueryBuilder builder(loc);
    builder.SetSql(txtSQL.text());
    const int16_t type = static_cast<int16_t>(cboPreference.list_index());
    ctl_->UserModeSet();
    // The connection values go to their own properties, in the order the connection string
    // would set them, so that no value can be cut short by a ";" or lose its blanks.
    ctl_->SetDSNname("");
    ctl_->SetUser("");
    ctl_->SetPassword("");
    ctl_->SetDatabase("");
    ctl_->SetDSNname(platform::Trim(dsn));
    if (type == 1) ctl_->SetDatabase(platform::Trim(txtDatabase.text()));
    ctl_->SetUser(platform::Trim(txtUID.text()));
    ctl_->SetPassword(txtPWD.text());
    ctl_->SetDataTable(builder.FromPart());
    ctl_->SetRecordSource(txtSQL.text());
    ctl_->SetServerType(type);
    ctl_->SetClusterName(cboCluster.text());
    ctl_->Refresh(false);
    SetChanged(false);
  } catch (const ComError& e) {
    site().MsgBox("Error in ApplyChanges on DSN PropertyPage: " + e.description(),
                  platform::kMbOkOnly, "");
  }
  site().SetMousePointer(platform::kPointerDefault);
}

void DSNSelection::Terminate() {
  ForgetApplyButton();
  ctl_.reset();
}

void DSNSelection::MarkChangedUnlessLoading() {
  if (!loading_) SetChanged(true);
}

void DSNSelection::ForgetApplyButton() {
  // The remembered button outlives the page only as a number: an ended page is clicked no more.
  platform::WindowHandle& remembered = localization::SharedLocalization(site()).apply_button;
  if (remembered == cmdApply->message_hwnd()) remembered = 0;
}

}  // namespace tabulo::pages
