// tabulo browse: one control on a database at the terminal, for an operator to scroll,
// edit and refresh until q (container/browse_session.h, browse_terminal.h). When standard
// input or output is not a terminal it prints one rendering, as `tabulo show` does.
#include <unistd.h>

#include <charconv>
#include <clocale>
#include <iostream>
#include <memory>
#include <optional>

#include "browse_terminal.h"
#include "commands.h"
#include "container/browse_session.h"
#include "platform/runtime/clock.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {
namespace {

// Answers every question with the box's default and signs nothing: the operator of a
// rendering printed without a terminal.
class NobodyAtTheDisplay : public container::Operator {
 public:
  int AnswerMessageBox(const std::string&, int32_t style, const std::string&) override {
    return platform::MsgBoxDefaultAnswer(style);
  }
  std::optional<container::Signature> Sign(const container::SignatureRequest&) override {
    return std::nullopt;
  }
  int ChooseFromMenu(const std::vector<std::string>&) override { return -1; }
};

// The first window, printed: the control loads on the first tick of its timer.
int PrintOnce(const container::BrowseRequest& request) {
  NobodyAtTheDisplay nobody;
  platform::VirtualClock clock;
  container::BrowseSession browse(request, nobody, clock);
  browse.Resize(80, 16);
  browse.Start();
  clock.Advance(250);
  browse.Pump();
  const auto& boxes = browse.session().container().message_boxes();
  if (!boxes.empty()) {
    for (const auto& box : boxes) std::cerr << box.title << ": " << box.text << "\n";
    return 1;
  }
  std::cout << browse.Render();
  return 0;
}

}  // namespace

int BrowseCommand(const Args& args) {
  if (HelpAsked("browse", args)) return 0;
  container::BrowseRequest request;
  container::SessionOptions& options = request.session;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const std::string* v = i + 1 < args.size() ? &args[i + 1] : nullptr;
    if (v && (a == "--db" || a == "--sql" || a == "--load" || a == "--host" || a == "--locale" ||
              a == "--ui-lang" || a == "--set")) {
      ++i;
      if (a == "--db") request.db = *v;
      if (a == "--sql") request.sql = *v;
      if (a == "--load") request.load = *v;
      if (a == "--host") options.host_config = *v;
      if (a == "--set") {
        try {
          request.settings.push_back(container::ParsePropertySetting(*v));
        } catch (const container::SettingError& e) {
          return UsageError("browse", e.what());
        }
      }
      if (a == "--locale") {
        options.locale = *v;
        if (!platform::Locale::Find(*v))
          return UsageError("browse", "--locale takes en-US, de-DE or fr-FR, given '" + *v + "'");
      }
      if (a == "--ui-lang") {
        auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), options.ui_language);
        if (ec != std::errc() || end != v->data() + v->size() ||
            (options.ui_language != 1031 && options.ui_language != 1033 &&
             options.ui_language != 1036)) {
          return UsageError("browse", "--ui-lang takes 1031, 1033 or 1036");
        }
      }
    } else {
      return UsageError("browse", "unexpected argument '" + a + "'");
    }
  }
  if (request.load.empty() && (request.db.empty() || request.sql.empty()))
    return UsageError("browse", "--db and --sql are required (or --load)");
  try {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return PrintOnce(request);
    // Characters only: numbers and dates follow the control's own locale setting.
    std::setlocale(LC_CTYPE, "");
    platform::RealClock clock;
    std::optional<Terminal> terminal(std::in_place);
    terminal->SetHostConfig(request.session.host_config);
    std::unique_ptr<container::BrowseSession> browse;
    try {
      browse = std::make_unique<container::BrowseSession>(request, *terminal, clock);
    } catch (const container::SettingError& e) {
      terminal.reset();  // the screen back before the message
      return UsageError("browse", e.what());
    }
    return terminal->Run(*browse);
  } catch (const container::SettingError& e) {
    return UsageError("browse", e.what());
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo browse: " << e.description() << "\n";
    return kExitFailure;
  }
}

}  // namespace tabulo::app
