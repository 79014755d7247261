// tabulo design: a designer's session on the property pages, by keys at a terminal or read
// from standard input as a script.
#include <unistd.h>

#include <iostream>

#include "commands.h"
#include "container/design_session.h"
#include "container/session.h"
#include "design_terminal.h"
#include "platform/values/com_error.h"
#include "usage.h"

namespace tabulo::app {

int DesignCommand(const Args& args) {
  if (HelpAsked("design", args)) return 0;
  container::SessionOptions options;
  std::string db, sql, load, save;
  bool layout = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--db" && has_value) {
      db = args[++i];
    } else if (a == "--sql" && has_value) {
      sql = args[++i];
    } else if (a == "--load" && has_value) {
      load = args[++i];
    } else if (a == "--save" && has_value) {
      save = args[++i];
    } else if (a == "--layout") {
      layout = true;
    } else if (a == "--host" && has_value) {
      options.host_config = args[++i];
    } else {
      return UsageError("design", "unexpected argument '" + a + "'");
    }
  }
  if (db.empty()) return UsageError("design", "no --db PATH given");
  if (save.empty()) return UsageError("design", "no --save FILE given");
  try {
    container::Session session(options);
    control::TabuloCtl& ctl = load.empty() ? session.NewControl() : session.LoadControl(load);
    ctl.SetDSNname(db);
    if (!sql.empty()) ctl.SetRecordSource(sql);
    // Declared to the host, the control queries at design time and connects to the data
    // server that the pages list through (a control without a statement stays unconnected,
    // and the data source page then says so).
    ctl.UserModeSet();
    ctl.Refresh(false);
    // A designer at a terminal works the pages by keys; anything else is read as a script.
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) return RunDesignTerminal(session, save);
    return container::RunDesignSession(session, std::cin, std::cout, std::cerr, save, layout,
                                       layout && isatty(STDOUT_FILENO));
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo design: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
