// Fuzzes what POST /event runs on the operator display: each line of the input is one posted
// body, read by ParseServeEvent and handed to a real display (one control on a small SQLite
// sample, with its property sheet, as `tabulo serve --design` shows it) that runs on its own
// thread on a virtual clock. Every reply must be JSON with a status the display gives; a
// dialog left open is answered and the display brought back to a window's size, so that
// later inputs reach the control again and stay quick.
//
// The display's thread runs one round per event posted: it takes the event, runs the
// controls' timers (the clock moves on 50 ms), publishes the scene and then waits in its
// stop check until the next event is posted. Waiting there rather than in the display's own
// 20 ms poll for events keeps each input as quick as its work: nothing idles, and the scene
// of the last event is published before the input ends. While a post waits for its reply
// the stop check never waits, so the display takes the event however late it is queued.
//
// The display lives for the whole run by design and keeps memory across inputs (its scene,
// the grid's records, the audit database's pages), so libFuzzer's leak check after each
// input would only stop the world to find nothing: fuzz/fuzz_serve_event.flags turns it off.
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
#include "container/serve_event.h"
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
  std::mutex mu;
  std::condition_variable cv;
  bool posting = false;  // a post waits for its reply: the display's thread must take it
  bool idle = false;     // the display's thread has finished its round and waits
  tabulo::platform::VirtualClock clock;
  std::unique_ptr<ServeSession> display;
  tabulo::web::UpdateCursor cursor;
};

// The display's stop check: between posts it waits for the next one; then the clock moves on.
// Reached while a post waits, the event has been handled (its reply is on its way) or is not
// queued yet: the check waits for the reply as long as the display's poll would, then polls.
bool NextRound(Display& d) {
  std::unique_lock lock(d.mu);
  if (d.posting && !d.cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return !d.posting; }))
    return false;
  d.idle = true;
  d.cv.notify_all();
  d.cv.wait(lock, [&] { return d.posting; });
  d.idle = false;
  d.clock.Advance(50);
  return false;
}

// Waits until the display's thread has finished the round of the event last posted.
void AwaitRound(Display& d) {
  std::unique_lock lock(d.mu);
  d.cv.wait(lock, [&] { return d.idle; });
}

void CheckReply(const tabulo::web::Reply& reply) {
  if (reply.status != 200 && reply.status != 400 && reply.status != 409 && reply.status != 503)
    tabulo::fuzz::Broken();
  if (!json::accept(reply.body)) tabulo::fuzz::Broken();
}

// Posts one body and returns its reply once the display has finished the event's round. A
// body the display refuses to read is answered at once with 400 and starts no round.
tabulo::web::Reply PostEvent(Display& d, const std::string& body) {
  bool readable = true;
  try {
    (void)tabulo::container::ParseServeEvent(body, d.display->control_count());
  } catch (const tabulo::container::BadEvent&) {
    readable = false;
  }
  if (readable) {
    {
      std::lock_guard lock(d.mu);
      d.posting = true;
      d.idle = false;
    }
    d.cv.notify_all();
  }
  tabulo::web::Reply reply = d.display->Post(body);
  if (readable) {
    {
      std::lock_guard lock(d.mu);
      d.posting = false;
    }
    d.cv.notify_all();
  }
  CheckReply(reply);
  if ((reply.status == 400) == readable) tabulo::fuzz::Broken();
  if (readable) AwaitRound(d);
  return reply;
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
    std::thread([made] { made->display->Run([made] { return NextRound(*made); }); }).detach();
    AwaitRound(*made);  // the display is placed and its first scene published
    // A small window: each round's scene is then quick to make.
    PostEvent(*made, kWindow);
    return made;
  }();
  return *d;
}

// Answers the dialog the latest scene shows, if any.
void CloseDialog(Display& d, uint8_t how) {
  std::string latest;
  while (std::optional<tabulo::web::Update> u =
             d.display->NextUpdate(d.cursor, std::chrono::milliseconds(0)))
    if (u->event == "scene") latest = std::move(u->data);
  // The dialog comes last in the scene: one that shows none needs no reading.
  if (latest.empty() || latest.ends_with(R"(,"dialog":null})")) return;
  const json scene = json::parse(latest);
  if (!scene["dialog"].is_object()) return;
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
  PostEvent(d, answer.dump());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Display& d = TheDisplay();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  uint8_t how = size > 0 ? data[0] : 0;
  bool resized = false;
  for (size_t events = 0; events < kMaxEvents && !input.empty(); ++events) {
    const size_t end = input.find('\n');
    const std::string body(input.substr(0, end));
    const tabulo::web::Reply reply = PostEvent(d, body);
    resized = resized || (reply.status == 200 && body.find("resize") != std::string::npos);
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  CloseDialog(d, how);
  // Back to the small window: a display left at its largest makes every later input slow.
  if (resized) PostEvent(d, kWindow);
  return 0;
}
