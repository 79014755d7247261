// What the tests of an operator's browse session share: an installation, an operator who answers
// every box with OK, cancels signatures and closes menus, and a session over the sample database
// opened at 80 x 12 characters (the header, its rule and 9 records in view) after its first load.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/browse_session.h"
#include "container/sample_db.h"
#include "host/test_folder.h"
#include "platform/runtime/clock.h"

namespace tabulo::container::fixtures {

// An installation of one cluster and no users.
inline constexpr char kLocalHost[] = R"({"format": 1,
  "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                "servers": [{"name": "PLANT-01"}]}], "security": {"users": []}})";

// Keeps what it was asked, one line per question: "box TEXT", "sign PROMPT", "menu CAPTION".
class ScriptedOperator : public Operator {
 public:
  int AnswerMessageBox(const std::string& text, int32_t, const std::string&) override {
    asked.push_back("box " + text);
    return platform::kIdOk;
  }
  std::optional<Signature> Sign(const SignatureRequest& request) override {
    asked.push_back("sign " + request.prompt);
    return std::nullopt;  // cancelled
  }
  int ChooseFromMenu(const std::vector<std::string>& captions) override {
    asked.push_back("menu " + captions.at(0));
    return -1;  // closed without a choice
  }
  std::vector<std::string> asked;
};

class BrowseFixture : public ::testing::Test {
 protected:
  // Opens `request` on db_ in run mode; `setup` sets the control up before it starts.
  BrowseSession& OpenSession(BrowseRequest request,
                             const std::function<void(control::TabuloCtl&)>& setup = nullptr) {
    request.db = db_.string();
    browse_.reset();  // one session at a time: the host installation is the process's
    browse_ = std::make_unique<BrowseSession>(request, person_, clock_);
    if (setup) setup(browse_->control());
    browse_->Resize(80, 12);
    browse_->Start();
    clock_.Advance(250);
    browse_->Pump();
    return *browse_;
  }

  host::testing::TestFolder folder_;
  const std::filesystem::path db_ = folder_ / "sample.db";
  ScriptedOperator person_;
  platform::VirtualClock clock_;
  std::unique_ptr<BrowseSession> browse_;
};

}  // namespace tabulo::container::fixtures
