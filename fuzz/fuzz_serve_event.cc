// Fuzzes what POST /event runs on the operator display: each line of the input is one posted
// body, read by ParseServeEvent and handed to a real display (one control on a small SQLite
// sample, with its property sheet, as `tabulo serve --design` shows it) that runs on its own
// thread on a virtual clock. Every reply must be JSON with a status the display gives; a
// dialog left open is answered and the display brought back to a window's size, so that
// later inputs reach the control again and stay quick.
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>

#include "container/sample_db.h"
#include "container/serve_session.h"
#include "fuzz_input.h"
#include "platform/runtime/clock.h"

namespace {

using nlohmann::json;
using tabulo::container::ServeSession;

constexpr size_t kMaxEvents = 8;
constexpr char kWindow[] =
    R"({"widget":"display","control":0,"action":"resize","width":400,"height":150})";

struct Display {
  // The display's thread runs while an input is being posted and waits between inputs, so
  // that its idle rounds neither cost time nor add coverage of their own.
  std::mutex mu;
  std::condition_variable cv;
  bool active = false;
  bool parked = false;  // the display's thread waits for the next input
  tabulo::platform::VirtualClock clock;
  std::unique_ptr<ServeSession> display;
  tabulo::web::UpdateCursor cursor;
};

// Ends an input: the display's thread finishes its round and waits (so that nothing runs
// when the process exits after the last input).
void Park(Display& d) {
  std::unique_lock lock(d.mu);
  d.active = false;
  d.cv.wait(lock, [&] { return d.parked; });
}

// One display for the whole run, never torn down: its thread runs until the process ends.
Display& TheDisplay() {
  static Display* d = [] {
    // The sample, the saved control and the audit database in a folder of ours (the
    // working folder stays: libFuzzer reads its corpus from there).
    char folder[] = "/tmp/fuzz_serve_event.XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    const std::filesystem::path here = folder;
    setenv("XDG_STATE_HOME", folder, 1);
    tabulo::container::WriteSampleDatabase(here / "sample.db", 30);
    auto* made = new Display;
    tabulo::container::ServeRequest request;
    tabulo::container::BrowseRequest control;
    control.db = (here / "sample.db").string();
    control.sql = "SELECT Id, Customer, Qty FROM Orders";
    request.controls.push_back(control);
    request.design = true;
    request.save_path = (here / "saved.ctl").string();
    made->display = std::make_unique<ServeSession>(request, made->clock);
    std::thread([made] {
      made->display->Run([made] {
        std::unique_lock lock(made->mu);
        made->parked = true;
        made->cv.notify_all();
        made->cv.wait(lock, [made] { return made->active; });
        made->parked = false;
        made->clock.Advance(50);
        return false;
      });
    }).detach();
    {
      std::lock_guard lock(made->mu);
      made->active = true;
    }
    made->cv.notify_all();
    // A small window: each round's scene is then quick to make.
    made->display->Post(kWindow);
    Park(*made);
    return made;
  }();
  return *d;
}

void CheckReply(const tabulo::web::Reply& reply) {
  if (reply.status != 200 && reply.status != 400 && reply.status != 409 && reply.status != 503)
    tabulo::fuzz::Broken();
  if (!json::accept(reply.body)) tabulo::fuzz::Broken();
}

// Answers the dialog the latest scene shows, if any.
void CloseDialog(Display& d, uint8_t how) {
  json scene;
  while (std::optional<tabulo::web::Update> u =
             d.display->NextUpdate(d.cursor, std::chrono::milliseconds(0)))
    if (u->event == "scene") scene = json::parse(u->data);
  if (!scene.is_object() || !scene["dialog"].is_object()) return;
  const json& dialog = scene["dialog"];
  json answer = {{"widget", "dialog"}, {"id", dialog["id"]}};
  if (how & 1)
    answer["cancel"] = true;
  else if (dialog["kind"] == "message")
    answer["button"] = dialog["default"];
  else if (dialog["kind"] == "menu")
    answer["choice"] = -1;
  else
    answer["cancel"] = true;
  CheckReply(d.display->Post(answer.dump()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Display& d = TheDisplay();
  {
    std::lock_guard lock(d.mu);
    d.active = true;
  }
  d.cv.notify_all();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  uint8_t how = size > 0 ? data[0] : 0;
  bool resized = false;
  for (size_t events = 0; events < kMaxEvents && !input.empty(); ++events) {
    const size_t end = input.find('\n');
    const std::string body(input.substr(0, end));
    const tabulo::web::Reply reply = d.display->Post(body);
    CheckReply(reply);
    resized = resized || (reply.status == 200 && body.find("resize") != std::string::npos);
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  CloseDialog(d, how);
  // Back to the small window: a display left at its largest makes every later input slow.
  if (resized) CheckReply(d.display->Post(kWindow));
  Park(d);
  return 0;
}
