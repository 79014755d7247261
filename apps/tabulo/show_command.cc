// tabulo show: hosts one control in run mode on a database, moves its scroll bar, performs
// an operator's cell edits if asked and prints what the display shows (container/show.h).
#include <charconv>
#include <iostream>

#include "commands.h"
#include "container/script/runner.h"
#include "container/show.h"
#include "platform/values/com_error.h"

namespace tabulo::app {
namespace {

constexpr char kUsage[] =
    "usage: tabulo show --db PATH --sql \"SELECT ...\" [--at N] [--size COLSxROWS]\n"
    "                   [--edit ROW,COL=TEXT]... [--answer yes|no|sign USER PASSWORD "
    "REASON|cancel]...\n"
    "                   [--table NAME] [--log-event]\n"
    "                   [--ui-lang 1031|1033|1036] [--locale en-US|de-DE|fr-FR] [--host CONFIG]\n";

bool ParseInt(const std::string& text, int64_t& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

int ShowCommand(const Args& args) {
  container::ShowRequest request;
  container::SessionOptions& options = request.session;
  int64_t cols = 80, rows = 15;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) return nullptr;
      return &args[++i];
    };
    const std::string* v = nullptr;
    if (a == "--db" && (v = value())) {
      request.db = *v;
    } else if (a == "--sql" && (v = value())) {
      request.sql = *v;
    } else if (a == "--table" && (v = value())) {
      request.table = *v;
    } else if (a == "--at" && (v = value())) {
      if (!ParseInt(*v, request.at) || request.at < 0 || request.at > INT32_MAX) {
        std::cerr << "tabulo show: --at takes a record position from 0\n";
        return 2;
      }
    } else if (a == "--size" && (v = value())) {
      size_t x = v->find('x');
      if (x == std::string::npos || !ParseInt(v->substr(0, x), cols) ||
          !ParseInt(v->substr(x + 1), rows) || cols < 10 || rows < 3 || cols > 1000 ||
          rows > 1000) {
        std::cerr << "tabulo show: --size takes COLSxROWS, e.g. 80x15 (10..1000 each)\n";
        return 2;
      }
    } else if (a == "--edit" && (v = value())) {
      std::optional<container::CellEdit> edit = container::ParseCellEdit(*v);
      if (!edit) {
        std::cerr << "tabulo show: --edit takes ROW,COL=TEXT (ROW and COL from 0), given '" << *v
                  << "'\n";
        return 2;
      }
      request.edits.push_back(*edit);
    } else if (a == "--answer" && (v = value())) {
      using Answer = container::OperatorAnswer;
      Answer answer;
      if (*v == "sign") {
        if (i + 3 >= args.size()) {
          std::cerr << "tabulo show: --answer sign takes USER PASSWORD REASON\n";
          return 2;
        }
        answer = {Answer::Sign, args[i + 1], args[i + 2], args[i + 3]};
        i += 3;
      } else if (*v == "yes" || *v == "no" || *v == "cancel") {
        answer.kind = *v == "yes" ? Answer::Yes : *v == "no" ? Answer::No : Answer::Cancel;
      } else {
        std::cerr << "tabulo show: --answer takes yes, no, sign USER PASSWORD REASON or "
                     "cancel, given '"
                  << *v << "'\n";
        return 2;
      }
      request.answers.push_back(std::move(answer));
    } else if (a == "--log-event") {
      request.log_event = true;
    } else if (a == "--ui-lang" && (v = value())) {
      int64_t lang = 0;
      if (!ParseInt(*v, lang) || (lang != 1031 && lang != 1033 && lang != 1036)) {
        std::cerr << "tabulo show: --ui-lang takes 1031, 1033 or 1036\n";
        return 2;
      }
      options.ui_language = static_cast<int32_t>(lang);
    } else if (a == "--locale" && (v = value())) {
      options.locale = *v;
    } else if (a == "--host" && (v = value())) {
      options.host_config = *v;
    } else {
      std::cerr << "tabulo show: unexpected argument '" << a << "'\n" << kUsage;
      return 2;
    }
  }
  if (request.db.empty() || request.sql.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (!request.answers.empty() && request.edits.empty()) {
    std::cerr << "tabulo show: --answer answers the questions of --edit; no --edit given\n";
    return 2;
  }
  // A character cell is 120 twips wide; a line of the display is one grid row of 240 twips,
  // and the status bar takes about one more.
  options.width = static_cast<double>(cols) * 120;
  options.height = static_cast<double>(rows) * 240 + 315;
  try {
    container::ShowResult shown = container::Show(request);
    if (shown.outcome == container::ShowResult::NoTable) {
      std::cerr << "tabulo show: no table to update in the statement; give --table NAME\n";
      return 2;
    }
    if (shown.outcome == container::ShowResult::LoadFailed) {
      for (const auto& box : shown.messages) std::cerr << box.title << ": " << box.text << "\n";
      return 1;
    }
    for (const auto& box : shown.messages) std::cout << container::FormatMessageBox(box) << "\n";
    if (shown.unused_answers > 0)
      std::cerr << "tabulo show: " << shown.unused_answers << " --answer not asked for\n";
    std::cout << shown.rendering;
    return 0;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo show: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
