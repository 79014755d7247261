// One operator's session of the display in a browser (serve_session.h).
#include "container/serve_session.h"

#include <algorithm>

#include "container/control_file.h"
#include "container/script/error.h"
#include "pages/usr_control_properties.h"
#include "platform/runtime/container.h"
#include "platform/text/ui_language.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "view/browser_scene.h"
#include "view/form_scene.h"

namespace tabulo::container {
namespace {

using nlohmann::json;

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kReplyWait = std::chrono::seconds(60);
constexpr int64_t kBusyAfterMs = 300;  // shorter work needs no progress note

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

json Error(const std::string& message) {
  return {{"error", message}};
}

// A reply's text. A message may quote what came in (a body that is not UTF-8) or what a
// database said: bytes that are not UTF-8 are shown replaced.
std::string Text(const json& body) {
  return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* IconOf(int32_t style) {
  switch (style & 0x70) {
    case platform::kMbCritical:
      return "critical";
    case platform::kMbQuestion:
      return "question";
    case platform::kMbExclamation:
      return "exclamation";
    case platform::kMbInformation:
      return "information";
    default:
      return "";
  }
}

const char* Doing(const ServeEvent::Kind& kind) {
  return std::visit(Overloaded{
                        [](const ServeEvent::Resize&) { return "resizing the display"; },
                        [](const ServeEvent::Drag&) { return "moving to the records asked for"; },
                        [](const ServeEvent::Scroll&) { return "moving to the records asked for"; },
                        [](const ServeEvent::Wheel&) { return "moving to the records asked for"; },
                        [](const auto&) { return "handling the operator's input"; },
                    },
                    kind);
}

// The sheet's tabs: the control's pages by class name, in the control's order.
std::vector<std::string> PageNames() {
  std::vector<std::string> names;
  for (const std::string& progid : control::TabuloCtl::PropertyPages())
    names.push_back(progid.substr(progid.find('.') + 1));
  return names;
}

// Marks the cells that show a database NULL ("n") and gives the record count and whether the
// control takes edits, so that the page can tell a NULL from an empty text, name each row's
// place in the whole result and open its viewer where Enter opens no editor.
void ReadingMarks(const control::TabuloCtl& ctl, json& scene) {
  const platform::FlexGrid& grid = ctl.Grid;
  scene["count"] = ctl.NumberRows();
  scene["readOnly"] = !ctl.AllowUpdates();
  json& g = scene["grid"];
  for (json& row : g["rows"]) {
    const int32_t r = row["r"].get<int32_t>();
    json& cells = row["cells"];
    for (size_t k = 0; k < cells.size() && k < g["cols"].size(); ++k) {
      const int32_t c = g["cols"][k]["c"].get<int32_t>();
      if (grid.CellIsNullAt(r, c)) cells[k]["n"] = true;
    }
  }
}

// Reading the result, for the page: the view's note (sorted, filtered), what the last find,
// go-to or export said, whether a find runs, the found cell (grid row and column) and the
// columns a filter may name.
json ViewScene(const BrowseSession& b) {
  json found = nullptr;
  if (const std::optional<GridCell> cell = b.FoundCell())
    found = {{"row", cell->row}, {"col", cell->col}};
  json columns = json::array();
  for (const control::GridColumn& c : b.control().Columns())
    if (c.Visible && !c.Name.empty()) columns.push_back(c.Name);
  return {{"note", b.ViewNote()},
          {"message", b.Note()},
          {"finding", b.Finding()},
          {"found", found},
          {"columns", columns},
          {"plain", b.View().Plain()},
          {"sort", b.View().sort_column},
          {"order", b.View().order == SortOrder::kDescending  ? "descending"
                    : b.View().order == SortOrder::kAscending ? "ascending"
                                                              : ""}};
}

// An ostream's buffer that hands what is written to a download in pieces; a page that went
// away fails the stream, which ends the export.
class DownloadBuffer : public std::streambuf {
 public:
  explicit DownloadBuffer(const std::function<bool(std::string_view)>& write) : write_(write) {
    setp(buffer_, buffer_ + sizeof buffer_);
  }
  ~DownloadBuffer() override { sync(); }
  int sync() override {
    const std::ptrdiff_t n = pptr() - pbase();
    if (n > 0 && !write_(std::string_view(pbase(), static_cast<size_t>(n)))) return -1;
    setp(buffer_, buffer_ + sizeof buffer_);
    return 0;
  }
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

 private:
  const std::function<bool(std::string_view)>& write_;
  char buffer_[1 << 16];
};

// The design pane's tab captions (the pages' own, beside their class names in "pages") and,
// on the General page, what its Font and Color buttons stand for: the font (name, size, style)
// and the colours the page will apply.
void AddDesignCaptionsAndPreview(PropertySheet* sheet, json& scene) {
  if (!sheet) return;
  json captions = json::array();
  for (size_t i = 0; i < sheet->page_count(); ++i) captions.push_back(sheet->page(i).caption());
  scene["captions"] = std::move(captions);
  auto* general = dynamic_cast<pages::UsrControlProperties*>(sheet->current());
  if (!general) return;
  json preview = {{"back", view::CssColor(general->back_color())},
                  {"fore", view::CssColor(general->fore_color())}};
  if (const auto& font = general->font()) {
    preview["font"] = {{"name", font->name()},           {"size", font->size()},
                       {"bold", font->bold()},           {"italic", font->italic()},
                       {"underline", font->underline()}, {"strikeout", font->strikethrough()}};
  }
  scene["preview"] = std::move(preview);
}

// The calling thread's user-interface language, leaving the thread the default one.
int32_t TakeUiLanguage() {
  const int32_t language = platform::UserInterfaceLanguage();
  platform::SetUserInterfaceLanguage(platform::kDefaultUserInterfaceLanguage);
  return language;
}

}  // namespace

ServeSession::ServeSession(const ServeRequest& request, platform::Clock& clock)
    : clock_(clock),
      session_(request.session,
               std::make_unique<OperatorContainer>(static_cast<Operator&>(*this), clock)),
      last_active_(clock.NowMillis()),
      host_config_(request.session.host_config) {
  for (const BrowseRequest& r : request.controls)
    controls_.push_back(std::make_unique<BrowseSession>(r, session_));
  if (request.design) {
    if (!request.save_path.empty() && controls_.size() != 1)
      throw platform::ComError(5, "--save writes one control's file: give one control");
    save_path_ = request.save_path;
    for (size_t i = 0; i < controls_.size(); ++i)
      desks_.push_back(std::make_unique<DesignDesk>(session_));
  }
  ui_language_ = TakeUiLanguage();
}

ServeSession::~ServeSession() {
  // The controls end in their own language, on the destroying thread.
  platform::SetUserInterfaceLanguage(ui_language_);
}

void ServeSession::End(const std::string& why) {
  {
    std::lock_guard lock(tasks_mu_);
    if (ended_) return;
    why_ended_ = why;
    ended_ = true;
  }
  tasks_cv_.notify_all();
  scene_cv_.notify_all();
}

std::string ServeSession::why_ended() {
  std::lock_guard lock(tasks_mu_);
  return why_ended_;
}

void ServeSession::Run(const std::function<bool()>& stop) {
  platform::SetUserInterfaceLanguage(ui_language_);
  stop_ = [this, stop] { return ended_ || stop(); };
  Publish();
  if (!controls_.empty()) controls_.front()->Start();
  // Each sheet opens on the first page of its control.
  for (size_t i = 0; i < desks_.size(); ++i) {
    session_.SelectControl(i);
    desks_[i]->OpenPage(PageNames().front());
  }
  // The scene is made again only after an event or when timers or posted work ran: an idle
  // display of a thousand rows costs nothing.
  bool changed = true;
  while (!stop_()) {
    // A running find goes on between events, so it does not wait for them.
    if (std::shared_ptr<Task> task = Pop(Finding() ? std::chrono::milliseconds(0) : kPoll)) {
      Handle(task);
      changed = true;
    }
    changed = TakeNotes() || changed;
    SetBusy("running the controls' timers (loading or refreshing records)");
    for (auto& c : controls_) changed = c->Pump() > 0 || changed;
    SetBusy("");
    if (changed) Publish();
    changed = false;
  }
  {
    std::lock_guard lock(tasks_mu_);
    closed_ = true;
    for (auto& t : tasks_)
      Answer(*t, ended_ ? 410 : 503, Error(ended_ ? why_ended_ : "the display has closed"));
    tasks_.clear();
  }
  scene_cv_.notify_all();
  ui_language_ = TakeUiLanguage();
}

web::Reply ServeSession::Post(const std::string& body) {
  auto task = std::make_shared<Task>();
  try {
    task->event = ParseServeEvent(body, controls_.size());
  } catch (const BadEvent& e) {
    return {400, Text(Error(e.what()))};
  }
  std::future<web::Reply> reply = task->reply.get_future();
  {
    std::lock_guard lock(tasks_mu_);
    if (ended_) return {410, Text(Error(why_ended_))};
    if (closed_) return {503, Error("the display has closed").dump()};
    last_active_ = clock_.NowMillis();
    tasks_.push_back(task);
  }
  tasks_cv_.notify_one();
  if (reply.wait_for(kReplyWait) != std::future_status::ready)
    return {503, Error("the display is busy; the event waits its turn").dump()};
  return reply.get();
}

std::optional<web::Update> ServeSession::NextUpdate(web::UpdateCursor& cursor,
                                                    std::chrono::milliseconds wait) {
  if (ended_) {
    std::lock_guard lock(tasks_mu_);
    return web::Update{"ended", Text(Error(why_ended_))};
  }
  std::unique_lock lock(scene_mu_);
  scene_cv_.wait_for(lock, wait, [&] { return version_ > cursor.seen || ended_; });
  if (version_ > cursor.seen) {
    cursor.seen = version_;
    cursor.told_busy = false;
    return web::Update{"scene", scene_};
  }
  const int64_t since = busy_since_;
  if (since != 0 && NowMs() - since >= kBusyAfterMs) {
    cursor.told_busy = true;
    return web::Update{"busy",
                       json{{"doing", doing_}, {"seconds", (NowMs() - since) / 1000}}.dump()};
  }
  if (since == 0 && cursor.told_busy) {
    cursor.told_busy = false;
    return web::Update{"busy", json{{"doing", ""}}.dump()};
  }
  return std::nullopt;
}

std::shared_ptr<ServeSession::Task> ServeSession::Pop(std::chrono::milliseconds wait) {
  std::unique_lock lock(tasks_mu_);
  if (!tasks_cv_.wait_for(lock, wait, [&] { return !tasks_.empty(); })) return nullptr;
  std::shared_ptr<Task> task = tasks_.front();
  tasks_.pop_front();
  return task;
}

void ServeSession::Answer(Task& task, int status, const json& body) {
  if (task.replied) return;
  task.replied = true;
  task.reply.set_value({status, Text(body)});
}

void ServeSession::Handle(const std::shared_ptr<Task>& task) {
  current_ = task;
  SetBusy(Doing(task->event.what));
  Apply(task->event, *task);
  SetBusy("");
  Answer(*task, 200, {{"ok", true}});
  current_ = nullptr;
}

void ServeSession::Apply(const ServeEvent& e, Task& task) {
  BrowseSession& b = *controls_[e.control];
  std::visit(Overloaded{
                 [&](const ServeEvent::Click& c) {
                   if (!b.ClickGridCell(c.row, c.col, c.right_button))
                     Answer(task, 409, Error("that cell is no longer in view"));
                 },
                 [&](const ServeEvent::Wheel& w) { b.Wheel(w.notches); },
                 [&](const ServeEvent::Key& k) { b.Press(k.key); },
                 [&](const ServeEvent::Type& t) { b.Type(t.text); },
                 [&](const ServeEvent::Scroll& s) { b.ClickScrollBar(s.part); },
                 [&](const ServeEvent::Drag& d) { b.DragThumb(d.positions); },
                 [&](const ServeEvent::Resize& r) {
                   b.ResizeTo(r.width * view::kTwipsPerPixel, r.height * view::kTwipsPerPixel);
                 },
                 [&](const ServeEvent::Answer&) { Answer(task, 409, Error("no dialog is open")); },
                 [&](const ServeEvent::Design& d) { ApplyDesign(e.control, d, task); },
                 [&](const ServeEvent::ColumnWidth& w) {
                   if (!b.SetColumnWidth(w.col, w.width * view::kTwipsPerPixel))
                     Answer(task, 409, Error("that column is no longer in the grid"));
                 },
                 [&](const ServeEvent::FitColumn& f) {
                   if (!b.FitColumn(f.col)) Answer(task, 409, Error("that column is not in view"));
                 },
                 [&](const ServeEvent::View& v) { ApplyView(b, v); },
             },
             e.what);
}

void ServeSession::ApplyDesign(size_t control, const ServeEvent::Design& e, Task& task) {
  using D = ServeEvent::Design::Action;
  if (desks_.empty())
    return Answer(task, 409, Error("the display shows no property sheets (serve --design)"));
  DesignDesk& desk = *desks_[control];
  desk.WatchModal(
      [this, control](const std::function<bool()>& closed) { RunModal(control, closed); });
  try {
    switch (e.action) {
      case D::kPage:
        session_.SelectControl(control);
        return desk.OpenPage(e.name);
      case D::kFill:
        return desk.Fill(e.name, e.text);
      case D::kChoose:
        return desk.Choose(e.name, e.value);
      case D::kCheck:
        return desk.Check(e.name, static_cast<int16_t>(e.value));
      case D::kPress:
        return desk.Press(e.name);
      case D::kKey:
        return desk.Key(e.name);
      case D::kCell:
        return desk.ClickCell(e.name, e.row, e.col);
      case D::kApply:
        return desk.Apply();
      case D::kClose:
        return desk.Close();
      case D::kSave:
        if (save_path_.empty()) return Answer(task, 409, Error("no --save FILE was given"));
        // A sorted or filtered view is the operator's, not the control's: its own statement
        // is saved.
        controls_[control]->WithOwnStatement(
            [&] { SaveControlFile(controls_[control]->control(), save_path_); });
        return Answer(task, 200, {{"ok", true}, {"saved", save_path_}});
    }
  } catch (const ScriptError& error) {
    Answer(task, 409, Error(error.what()));
  } catch (const platform::ComError& error) {
    Answer(task, 409, Error(error.description()));
  } catch (const std::exception& error) {
    Answer(task, 409, Error(error.what()));
  }
}

void ServeSession::RunModal(size_t control, const std::function<bool()>& closed) {
  const std::shared_ptr<Task> opener = current_;
  if (opener) Answer(*opener, 200, {{"ok", true}});
  Publish();
  while (!closed() && !stop_()) {
    std::shared_ptr<Task> task = Pop(kPoll);
    if (!task) continue;
    if (std::holds_alternative<ServeEvent::Design>(task->event.what) &&
        task->event.control == control) {
      Handle(task);
      Publish();
    } else {
      Answer(*task, 409, Error("a dialog waits for its answer"));
    }
  }
  current_ = opener;
}

std::optional<ServeEvent::Answer> ServeSession::AskOperator(json dialog) {
  const uint64_t id = ++dialogs_;
  dialog["id"] = id;
  dialog_ = std::move(dialog);
  // The event that raised the question has been taken; its answer comes with the dialog's.
  if (current_) Answer(*current_, 200, {{"ok", true}, {"dialog", id}});
  const int64_t busy = busy_since_.exchange(0);
  Publish();
  std::optional<ServeEvent::Answer> answer;
  while (!answer && !stop_()) {
    std::shared_ptr<Task> task = Pop(kPoll);
    if (!task) continue;
    const auto* given = std::get_if<ServeEvent::Answer>(&task->event.what);
    if (given && given->dialog == id) {
      answer = *given;
      Answer(*task, 200, {{"ok", true}});
    } else {
      Answer(*task, 409, Error("a dialog waits for its answer"));
    }
  }
  dialog_ = nullptr;
  busy_since_ = busy;
  Publish();
  return answer;
}

int ServeSession::AnswerMessageBox(const std::string& text, int32_t style,
                                   const std::string& title) {
  json buttons = json::array();
  for (int id : platform::MsgBoxButtons(style))
    buttons.push_back({{"id", id}, {"caption", platform::ButtonCaption(id)}});
  const int fallback = platform::MsgBoxDefaultAnswer(style);
  std::optional<ServeEvent::Answer> answer =
      AskOperator({{"kind", "message"},
                   {"title", title.empty() ? std::string(platform::kDefaultMsgBoxTitle) : title},
                   {"text", text},
                   {"icon", IconOf(style)},
                   {"default", fallback},
                   {"buttons", buttons}});
  if (answer && answer->button != 0) return answer->button;
  if (ended_) {
    // An ended session's question is refused, whatever its default: nothing is written.
    const std::vector<int> offered = platform::MsgBoxButtons(style);
    for (int refusal : {platform::kIdCancel, platform::kIdNo})
      if (std::find(offered.begin(), offered.end(), refusal) != offered.end()) return refusal;
  }
  return fallback;
}

std::optional<Signature> ServeSession::Sign(const SignatureRequest& request) {
  std::optional<ServeEvent::Answer> answer =
      AskOperator({{"kind", "signature"},
                   {"title", request.signer == 2 ? "Electronic signature (second signer)"
                                                 : "Electronic signature"},
                   {"prompt", request.prompt},
                   {"signer", request.signer},
                   {"reasons", session_.host().config.security.reason_categories}});
  if (!answer || answer->cancel || answer->button != 0 || answer->choice != -1) return std::nullopt;
  return Signature{answer->user, answer->password, answer->reason};
}

int ServeSession::ChooseFromMenu(const std::vector<std::string>& captions) {
  std::optional<ServeEvent::Answer> answer = AskOperator({{"kind", "menu"}, {"items", captions}});
  if (!answer || answer->choice < 0 || answer->choice >= static_cast<int>(captions.size()))
    return -1;
  return answer->choice;
}

std::optional<platform::DialogAnswer> ServeSession::Choose(
    std::string_view dialog, const std::vector<platform::Variant>& args) {
  const platform::Locale& locale = session_.container().UserLocale();
  auto arg = [&](size_t i) { return i < args.size() ? args[i] : platform::Variant(); };
  std::optional<ServeEvent::Answer> answer;
  if (dialog == platform::kDialogColor) {
    answer = AskOperator({{"kind", "color"},
                          {"title", "Color"},
                          {"value", view::CssColor(platform::CLng(arg(0), locale))}});
    if (answer && answer->color) return DesignDesk::ColorAnswer(*answer->color);
  } else {
    answer = AskOperator({{"kind", "font"},
                          {"title", "Font"},
                          {"name", platform::CStr(arg(4), locale)},
                          {"size", platform::CLng(arg(5), locale) / 10.0},
                          {"bold", platform::CLng(arg(0), locale) >= 700},
                          {"italic", platform::CLng(arg(1), locale) != 0},
                          {"underline", platform::CLng(arg(2), locale) != 0},
                          {"strikeout", platform::CLng(arg(3), locale) != 0}});
    if (answer && answer->font) return DesignDesk::FontAnswer(*answer->font);
  }
  return platform::DialogAnswer::Cancel();
}

json ServeSession::DesignScene(size_t control) {
  DesignDesk& desk = *desks_[control];
  PropertySheet* sheet = desk.sheet();
  json pages = PageNames();
  platform::Form* page = sheet ? sheet->current() : nullptr;
  platform::Form* dialog = desk.form() != page ? desk.form() : nullptr;
  json scene = {{"pages", pages},
                {"page", page ? json(sheet->current()->ClassName()) : json(nullptr)},
                {"sheet", page ? view::FormSceneOf(*page) : json(nullptr)},
                {"dialog", dialog ? view::FormSceneOf(*dialog) : json(nullptr)},
                {"save", !save_path_.empty()}};
  AddDesignCaptionsAndPreview(sheet, scene);
  return scene;
}

void ServeSession::Publish() {
  json controls = json::array();
  for (const auto& c : controls_) {
    json scene = view::BrowserSceneOf(c->control());
    const std::optional<GridCell> cursor = c->CursorCell();
    scene["cursor"] = cursor ? json{{"row", cursor->row}, {"col", cursor->col}} : json(nullptr);
    scene["status"]["position"] = c->Position();  // the operator's cursor, as the terminal's
    ReadingMarks(c->control(), scene);
    scene["view"] = ViewScene(*c);
    if (!desks_.empty()) scene["design"] = DesignScene(controls.size());
    controls.push_back(std::move(scene));
  }
  // Texts from a database need not be valid UTF-8: such bytes are shown replaced.
  {
    std::lock_guard lock(scene_mu_);
    exports_.clear();
    for (const auto& c : controls_) exports_.push_back(c->ViewExport(RowFormat::Csv, host_config_));
  }
  std::string body = json{{"controls", std::move(controls)}, {"dialog", dialog_}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
  if (body == last_scene_) return;
  last_scene_ = body;
  {
    std::lock_guard lock(scene_mu_);
    ++version_;
    scene_ = "{\"version\":" + std::to_string(version_) + "," + body.substr(1);
  }
  scene_cv_.notify_all();
}

void ServeSession::SetBusy(const std::string& doing) {
  if (doing.empty()) {
    busy_since_ = 0;
    return;
  }
  std::lock_guard lock(scene_mu_);
  doing_ = doing;
  busy_since_ = NowMs();
}

}  // namespace tabulo::container

namespace tabulo::container {

void ServeSession::ApplyView(BrowseSession& b, const ServeEvent::View& e) {
  using V = ServeEvent::View::Action;
  switch (e.action) {
    case V::kGoTo:
      b.GoToRecord(e.record);
      return;
    case V::kFind:
      return b.Find(e.text, e.forward);
    case V::kCancel:
      return b.CancelFind();
    case V::kSort:
      return b.SortByColumn(e.col);
    case V::kFilter:
      return b.AddFilter(e.name, e.op, e.text);
    case V::kReset:
      return b.ResetView();
  }
}

bool ServeSession::Finding() const {
  return std::any_of(controls_.begin(), controls_.end(),
                     [](const auto& c) { return c->Finding(); });
}

bool ServeSession::TakeNotes() {
  std::vector<std::pair<size_t, std::string>> notes;
  {
    std::lock_guard lock(notes_mu_);
    notes.swap(notes_);
  }
  for (auto& [control, note] : notes) controls_[control]->SetNote(std::move(note));
  return !notes.empty();
}

web::Download ServeSession::Export(const std::string& control, const std::string& format) {
  const std::optional<RowFormat> parsed = ParseRowFormat(format.empty() ? "csv" : format);
  if (!parsed) return {400, "the format is csv or json", {}, {}, nullptr};
  size_t index = 0;
  ExportRequest request;
  {
    std::lock_guard lock(scene_mu_);
    try {
      index = control.empty() ? 0 : std::stoul(control);
    } catch (const std::exception&) {
      index = exports_.size();
    }
    if (index >= exports_.size())
      return {400, "no control " + control + " on this display", {}, {}, nullptr};
    request = exports_[index];
  }
  request.format = *parsed;
  const bool csv = *parsed == RowFormat::Csv;
  web::Download download;
  download.filename = std::string("tabulo-view.") + (csv ? "csv" : "json");
  download.content_type = csv ? "text/csv; charset=utf-8" : "application/x-ndjson; charset=utf-8";
  download.body = [this, index, request, csv](const std::function<bool(std::string_view)>& write) {
    std::string note;
    try {
      DownloadBuffer buffer(write);
      std::ostream out(&buffer);
      out.exceptions(std::ios::badbit);  // a page gone away ends the export
      const int64_t records = container::Export(request, out);
      out.flush();
      note = "Exported " + GroupedCount(records) + (records == 1 ? " record" : " records") + " (" +
             (csv ? "CSV" : "JSON") + ") to the download tabulo-view." + (csv ? "csv" : "json") +
             ".";
    } catch (const platform::ComError& e) {
      note = "The export failed: " + e.description();
    } catch (const std::ios::failure&) {
      note = "The download was not completed: the page went away.";
    }
    std::lock_guard lock(notes_mu_);
    notes_.emplace_back(index, std::move(note));
  };
  return download;
}

}  // namespace tabulo::container
