// The browser display run on its own thread on a virtual clock that moves 50 ms each round of
// the user-interface loop; the test thread posts as the HTTP server's threads do.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "container/sample_db.h"
#include "container/serve_display.h"
#include "platform/runtime/clock.h"

namespace tabulo::container::testing {

class ServeFixture : public ::testing::Test {
 protected:
  // A sample database of `rows` records, one file per test: ctest runs the cases side by side
  // in one folder.
  void WriteDatabase(int rows) {
    const char* tmp = std::getenv("TABULO_TEST_TMP");
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    db_ = std::filesystem::path(tmp ? tmp : "/tmp") / ("serve_" + name + ".db");
    WriteSampleDatabase(db_, rows);
  }
  void TearDown() override {
    if (ui_.joinable()) Stop();  // a failed assertion left the display running
    if (!db_.empty()) std::filesystem::remove(db_);
  }

  void Start() {
    display_ = std::make_unique<ServeDisplay>(request_, clock_);
    ui_ = std::thread([this] {
      display_->Run([this] {
        clock_.Advance(50);
        return stop_.load();
      });
    });
  }
  void Stop() {
    stop_ = true;
    ui_.join();
  }

  // The first scene from now on that `holds` (null when none came): a bounded wait.
  nlohmann::json SceneWhere(const std::function<bool(const nlohmann::json&)>& holds) {
    for (int round = 0; round < 200; ++round) {
      std::optional<web::Update> u = display_->NextUpdate(cursor_, std::chrono::milliseconds(50));
      if (!u || u->event != "scene") continue;
      nlohmann::json scene = nlohmann::json::parse(u->data);
      if (holds(scene)) return scene;
    }
    ADD_FAILURE() << "no such scene";
    return nullptr;
  }

  void ExpectReply(const std::string& body, int status, const std::string& text) {
    SCOPED_TRACE(body);
    const web::Reply reply = display_->Post(body);
    EXPECT_EQ(reply.status, status);
    EXPECT_NE(reply.body.find(text), std::string::npos) << reply.body;
  }

  std::filesystem::path db_;
  ServeRequest request_;
  platform::VirtualClock clock_;
  std::unique_ptr<ServeDisplay> display_;
  std::atomic<bool> stop_{false};
  std::thread ui_;
  web::UpdateCursor cursor_;
};

}  // namespace tabulo::container::testing
