#include "container/design_session.h"

#include "container/control_file.h"
#include "container/script/runner.h"
#include "container/session_script_host.h"
#include "platform/values/com_error.h"

namespace tabulo::container {

int RunDesignSession(Session& session, std::istream& in, std::ostream& out, std::ostream& err,
                     const std::string& save_path, bool layout, bool ansi) {
  SessionScriptHost host(session);
  if (layout) host.DrawFormsLaidOut(ansi);
  ScriptRunner runner(host, out, err);
  runner.after_line = [&host](std::ostream& o) { o << host.Render(); };
  int status = runner.Run(in);
  if (status != 0) return status;
  try {
    SaveControlFile(session.current(), save_path);
    err << "tabulo design: saved the control to " << save_path << "\n";
  } catch (const platform::ComError& e) {
    err << "tabulo design: " << e.description() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace tabulo::container
