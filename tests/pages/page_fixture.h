// Test fixture of the property pages: a hosting session (the host runtime's display, in
// design mode) over a fresh 20-row sample database, one control browsing its orders, and
// the control's property sheet. Message boxes and debug lines are read from the container.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "container/property_sheet.h"
#include "container/sample_db.h"
#include "container/session.h"
#include "host/test_folder.h"
#include "localization/state.h"
#include "pages/page_support.h"

namespace tabulo::pages::testing {

inline constexpr char kStatement[] = "SELECT Id, Customer, Qty FROM Orders";

class PageTest : public ::testing::Test {
 protected:
  PageTest() {
    localization::ResetLocalizationState();
    container::WriteSampleDatabase(db(), 20);
    std::ofstream(folder_ / "host.json") << R"({"format": 1,
      "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                    "servers": [{"name": "PLANT-01"}]},
                   {"name": "Plant", "type": "DizuvAdar", "coordinator": "Plant",
                    "servers": [{"name": "PLANT-02"}]},
                   {"name": "Local Logging", "type": "Logging", "coordinator": "Local"}],
      "security": {"users": [], "reason_categories": ["Correction", "Maintenance"],
                   "audit_database": ")" + (folder_ / "audit.db").string() +
                                                R"("}})";
    container::SessionOptions options;
    options.host_config = (folder_ / "host.json").string();
    options.ui_language = 1033;
    session_ = std::make_unique<container::Session>(options);
    ctl_ = &session_->NewControl();
    ctl_->SetDSNname(db());
    ctl_->SetRecordSource(kStatement);
    ctl_->SetDataTable("Orders");
    // Declared to the host, the control queries at design time and connects to its server.
    ctl_->UserModeSet();
    ctl_->Refresh(false);
  }
  ~PageTest() override {
    sheet_.reset();
    session_.reset();
    localization::ResetLocalizationState();
  }

  std::string db() const { return (folder_ / "sample.db").string(); }
  platform::HeadlessContainer& box() { return session_->container(); }
  control::TabuloCtl& ctl() { return *ctl_; }

  // Opens the sheet (once) and shows the page of class T.
  template <class T>
  T& Show() {
    if (!sheet_)
      sheet_ = std::make_unique<container::PropertySheet>(
          box(), std::shared_ptr<control::TabuloCtl>(std::shared_ptr<void>(), ctl_));
    for (size_t i = 0; i < sheet_->page_count(); ++i) {
      if (auto* page = dynamic_cast<T*>(&sheet_->page(i))) {
        sheet_->Show(*page);
        return *page;
      }
    }
    throw std::logic_error("no such page");
  }
  container::PropertySheet& sheet() { return *sheet_; }

  // The debug lines written since the last call, line ends and the control's prefix left off.
  std::vector<std::string> Debug() {
    std::vector<std::string> lines;
    const auto& all = box().debug_output();
    for (; debug_seen_ < all.size(); ++debug_seen_) {
      std::string line = all[debug_seen_];
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      lines.push_back(line.starts_with("Tabulo: ") ? line.substr(8) : line);
    }
    return lines;
  }
  // The texts of the message boxes shown since the last call.
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    const auto& all = box().message_boxes();
    for (; boxes_seen_ < all.size(); ++boxes_seen_) texts.push_back(all[boxes_seen_].text);
    return texts;
  }

  host::testing::TestFolder folder_;
  std::unique_ptr<container::Session> session_;
  control::TabuloCtl* ctl_ = nullptr;
  std::unique_ptr<container::PropertySheet> sheet_;
  size_t debug_seen_ = 0, boxes_seen_ = 0;
};

}  // namespace tabulo::pages::testing
