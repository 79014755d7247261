// tabulo show: hosts one control in run mode on a database, moves its scroll bar, performs
// an operator's cell edits if asked and prints what the display shows.
#include <charconv>
#include <iostream>

#include "cell_edit.h"
#include "commands.h"
#include "platform/runtime/container.h"
#include "platform/values/com_error.h"
#include "querybuilder/query_builder.h"
#include "script_runner.h"
#include "session.h"
#include "view/control_scene.h"

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
  SessionOptions options;
  std::string db, sql, table;
  int64_t at = -1;
  int64_t cols = 80, rows = 15;
  std::vector<CellEdit> edits;
  bool log_event = false;  // operator events for the edits, to the audit database
  std::vector<std::vector<std::string>> answers;  // each: the answer's words
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) return nullptr;
      return &args[++i];
    };
    const std::string* v = nullptr;
    if (a == "--db" && (v = value())) {
      db = *v;
    } else if (a == "--sql" && (v = value())) {
      sql = *v;
    } else if (a == "--table" && (v = value())) {
      table = *v;
    } else if (a == "--at" && (v = value())) {
      if (!ParseInt(*v, at) || at < 0 || at > INT32_MAX) {
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
      std::optional<CellEdit> edit = ParseCellEdit(*v);
      if (!edit) {
        std::cerr << "tabulo show: --edit takes ROW,COL=TEXT (ROW and COL from 0), given '" << *v
                  << "'\n";
        return 2;
      }
      edits.push_back(*edit);
    } else if (a == "--answer" && (v = value())) {
      std::vector<std::string> answer{*v};
      if (*v == "sign") {
        if (i + 3 >= args.size()) {
          std::cerr << "tabulo show: --answer sign takes USER PASSWORD REASON\n";
          return 2;
        }
        for (int k = 0; k < 3; ++k) answer.push_back(args[++i]);
      } else if (*v != "yes" && *v != "no" && *v != "cancel") {
        std::cerr << "tabulo show: --answer takes yes, no, sign USER PASSWORD REASON or "
                     "cancel, given '"
                  << *v << "'\n";
        return 2;
      }
      answers.push_back(std::move(answer));
    } else if (a == "--log-event") {
      log_event = true;
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
  if (db.empty() || sql.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (!answers.empty() && edits.empty()) {
    std::cerr << "tabulo show: --answer answers the questions of --edit; no --edit given\n";
    return 2;
  }
  // A character cell is 120 twips wide; a line of the display is one grid row of 240 twips,
  // and the status bar takes about one more.
  options.width = static_cast<double>(cols) * 120;
  options.height = static_cast<double>(rows) * 240 + 315;
  try {
    Session session(options);
    control::TabuloCtl& ctl = session.NewControl();
    ctl.SetDSNname(db);
    ctl.SetRecordSource(sql);
    if (!edits.empty()) {
      // Answers stand for an operator asked to confirm (yes/no) or to sign (sign/cancel);
      // without any, the control's own default (no question) holds.
      bool sign = false;
      for (const auto& answer : answers) sign |= answer[0] == "sign" || answer[0] == "cancel";
      // The statements update DataTable; by default the table the statement reads, as a
      // designer's query builder finds it.
      if (table.empty()) {
        querybuilder::frmQueryBuilder builder;
        builder.SetSql(sql);
        table = builder.FromPart();
      }
      if (table.empty()) {
        std::cerr << "tabulo show: no table to update in the statement; give --table NAME\n";
        return 2;
      }
      ctl.SetDataTable(table);
      ctl.SetAllowUpdates(true);
      ctl.SetConfirmUpdates(!answers.empty());
      ctl.ESignatureRequired = sign;
      ctl.LogEvent = log_event;
    }
    session.SetRunMode(true);
    session.Run(250);  // the first tick of the refresh timer loads the data
    if (at >= 0) {
      ctl.ScrollBar.SetValue(static_cast<int32_t>(at));
      session.Run(0);
    }
    auto& container = session.container();
    const auto& boxes = container.message_boxes();
    if (!boxes.empty()) {
      for (const auto& box : boxes) std::cerr << box.title << ": " << box.text << "\n";
      return 1;
    }
    for (const auto& answer : answers) {
      if (answer[0] == "yes") {
        container.QueueAnswer(platform::kIdYes);
      } else if (answer[0] == "no") {
        container.QueueAnswer(platform::kIdNo);
      } else if (answer[0] == "cancel") {
        container.QueueDialogAnswer(platform::DialogAnswer::Cancel());
      } else {
        container.QueueDialogAnswer(platform::DialogAnswer::Ok(
            platform::Variant(true), {platform::Variant(answer[1]), platform::Variant(answer[2]),
                                      platform::Variant(answer[3])}));
      }
    }
    for (const CellEdit& edit : edits) EditCell(session, ctl, edit);
    for (const auto& box : boxes) std::cout << FormatMessageBox(box) << "\n";
    size_t unused = container.pending_answers() + container.pending_dialog_answers();
    if (unused > 0) std::cerr << "tabulo show: " << unused << " --answer not asked for\n";
    std::cout << view::RenderControl(ctl);
    return 0;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo show: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
