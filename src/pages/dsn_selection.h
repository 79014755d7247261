// DSNSelection: the data source page. The designer picks the cluster, the kind of server,
// the data source or server, the database, the credentials and the statement; the page lists
// data sources and tables through the shared data server, turns a table into a statement, opens the
// query builder on the statement, and writes everything into the control when applied (then
// the control refreshes). Its apply button is reported to the page-switch routine, so that
// showing another page applies this one.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "control/tabulo_ctl.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/frame.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/property_page.h"
#include "platform/widgets/text_box.h"

namespace tabulo::pages {

class DSNSelection : public platform::PropertyPage {
 public:
  explicit DSNSelection(platform::Container& site);
  ~DSNSelection() override;

  void Initialize() override;
  void Paint() override;
  void ApplyChanges() override;
  void Terminate() override;

  platform::Frame fraStep3{"fraStep3"};
  platform::Label lblCluster{"lblCluster"};
  platform::ComboBox cboCluster{"cboCluster", platform::kComboDropDownList};
  std::array<std::unique_ptr<platform::Label>, 7> lblStep3;
  platform::ComboBox cboPreference{"cboPreference", platform::kComboDropDownList};
  platform::ComboBox cboDSNList{"cboDSNList", platform::kComboDropDown};
  platform::TextBox txtUID{"txtUID"}, txtPWD{"txtPWD"}, txtDatabase{"txtDatabase"};
  platform::ListBox lstTable{"lstTable"};
  platform::TextBox txtSQL{"txtSQL"};
  std::unique_ptr<platform::CommandButton> cmdListTables, cmdBuildQuery, cmdApply;

 private:
  void FillClusterList(const std::string& name);
  void ServerTypeChoice();
  void ListDataSources();
  void ListTables();
  void ChooseTable();
  void BuildQuery();
  // The source text the data server reads for the chosen server type.
  std::string SourceText() const;
  void MarkChangedUnlessLoading();
  void ForgetApplyButton();

  std::shared_ptr<control::TabuloCtl> ctl_;
  bool load_pending_ = false;
  bool loading_ = false;
  bool filling_clusters_ = false;
};

}  // namespace tabulo::pages
