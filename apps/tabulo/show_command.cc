// tabulo show: hosts one control in run mode on a database, moves its scroll bar, performs
// an operator's cell edits if asked and prints what the display shows (container/show.h).
#include <charconv>
#include <iostream>

#include "commands.h"
#include "container/load_progress.h"
#include "container/script/runner.h"
#include "container/show.h"
#include "password_input.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {
namespace {

bool ParseInt(const std::string& text, int64_t& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

int ShowCommand(const Args& args) {
  if (HelpAsked("show", args)) return 0;
  container::ShowRequest request;
  std::string password_file;
  container::SessionOptions& options = request.session;
  options.load_progress = container::StderrLoadProgress();
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
        return UsageError("show", "--at takes a record position from 0");
      }
    } else if (a == "--size" && (v = value())) {
      size_t x = v->find('x');
      if (x == std::string::npos || !ParseInt(v->substr(0, x), cols) ||
          !ParseInt(v->substr(x + 1), rows) || cols < container::kMinShownColumns ||
          rows < container::kMinShownRows || cols > container::kMaxShownColumns ||
          rows > container::kMaxShownRows) {
        return UsageError("show", "--size takes COLSxROWS, e.g. 80x15 (10..1000 each)");
      }
    } else if (a == "--edit" && (v = value())) {
      std::optional<container::CellEdit> edit = container::ParseCellEdit(*v);
      if (!edit) {
        return UsageError("show",
                          "--edit takes ROW,COL=TEXT (ROW and COL from 0), given '" + *v + "'");
      }
      request.edits.push_back(*edit);
    } else if (a == "--answer" && (v = value())) {
      using Answer = container::OperatorAnswer;
      Answer answer;
      if (*v == "sign") {
        if (i + 3 >= args.size()) {
          return UsageError("show", "--answer sign takes USER PASSWORD REASON");
        }
        answer = {Answer::Sign, args[i + 1], args[i + 2], args[i + 3]};
        i += 3;
      } else if (*v == "yes" || *v == "no" || *v == "cancel") {
        answer.kind = *v == "yes" ? Answer::Yes : *v == "no" ? Answer::No : Answer::Cancel;
      } else {
        return UsageError(
            "show",
            "--answer takes yes, no, sign USER PASSWORD REASON or cancel, given '" + *v + "'");
      }
      request.answers.push_back(std::move(answer));
    } else if (a == "--password-file" && (v = value())) {
      password_file = *v;
    } else if (a == "--log-event") {
      request.log_event = true;
    } else if (a == "--ui-lang" && (v = value())) {
      int64_t lang = 0;
      if (!ParseInt(*v, lang) || (lang != 1031 && lang != 1033 && lang != 1036)) {
        return UsageError("show", "--ui-lang takes 1031, 1033 or 1036");
      }
      options.ui_language = static_cast<int32_t>(lang);
    } else if (a == "--locale" && (v = value())) {
      options.locale = *v;
      if (!platform::Locale::Find(*v))
        return UsageError("show", "--locale takes en-US, de-DE or fr-FR, given '" + *v + "'");
    } else if (a == "--host" && (v = value())) {
      options.host_config = *v;
    } else if (a == "--server-type" && (v = value())) {
      if (*v != "0" && *v != "1")
        return UsageError("show",
                          "--server-type takes 0 (a data source name or SQLite file) or 1 (a "
                          "PostgreSQL server), given '" +
                              *v + "'");
      request.server_type = static_cast<int16_t>(*v == "1");
    } else if (a == "--database" && (v = value())) {
      request.database = *v;
    } else if (a == "--set" && (v = value())) {
      try {
        request.settings.push_back(container::ParsePropertySetting(*v));
      } catch (const container::SettingError& e) {
        return UsageError("show", e.what());
      }
    } else {
      return UsageError("show", "unexpected argument '" + a + "'");
    }
  }
  if (request.db.empty() || request.sql.empty())
    return UsageError("show", "--db and --sql are required");
  if (!request.database.empty() && request.server_type != 1)
    return UsageError("show", "--database names the database of a --server-type 1 server");
  if (!request.answers.empty() && request.edits.empty())
    return UsageError("show", "--answer answers the questions of --edit; no --edit given");
  // A password of "-" stays off the command line.
  PasswordInput passwords(password_file);
  if (!passwords.ok()) {
    std::cerr << "tabulo show: cannot read the password file " << password_file << "\n";
    return kExitFailure;
  }
  for (container::OperatorAnswer& answer : request.answers) {
    if (answer.kind != container::OperatorAnswer::Sign || answer.password != "-") continue;
    std::optional<std::string> password = passwords.Next(answer.user);
    if (!password) {
      std::cerr << "tabulo show: no password for " << answer.user << "\n";
      return kExitFailure;
    }
    answer.password = *password;
  }
  // A character cell is 120 twips wide; a line of the display is one grid row of 240 twips,
  // and the status bar takes about one more.
  options.width = static_cast<double>(cols) * container::kCellTwips;
  options.height = static_cast<double>(rows) * container::kRowTwips + container::kStatusBarTwips;
  try {
    container::ShowResult shown = container::Show(request);
    if (shown.outcome == container::ShowResult::NoTable)
      return UsageError("show", "no table to update in the statement; give --table NAME");
    if (shown.outcome == container::ShowResult::NotBrowsed) {
      std::cerr << "tabulo show: the control browses only statements beginning with "
                   "\"SELECT \"; nothing was loaded\n";
      return kExitFailure;
    }
    if (shown.outcome == container::ShowResult::LoadFailed) {
      for (const auto& box : shown.messages) std::cerr << box.title << ": " << box.text << "\n";
      if (!shown.server_error.empty()) std::cerr << "tabulo show: " << shown.server_error << "\n";
      if (!shown.missing_database.empty())
        std::cerr << "tabulo show: " << shown.missing_database << "\n";
      return kExitFailure;
    }
    for (const auto& box : shown.messages) std::cout << container::FormatMessageBox(box) << "\n";
    if (shown.unused_answers > 0)
      std::cerr << "tabulo show: " << shown.unused_answers << " --answer not asked for\n";
    std::cout << shown.rendering;
    for (const std::string& why : shown.unwritten) std::cerr << "tabulo show: " << why << "\n";
    return shown.unwritten.empty() ? 0 : kExitFailure;
  } catch (const container::SettingError& e) {
    return UsageError("show", e.what());
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo show: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
