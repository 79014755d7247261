// The subcommands of the container program. Each takes the arguments after its own name
// and returns the process exit status (0 success, 1 failure, 2 usage error).
#pragma once

#include <string>
#include <vector>

namespace tabulo::app {

using Args = std::vector<std::string>;

int SampleDbCommand(const Args& args);
int StringsCommand(const Args& args);
int ShowCommand(const Args& args);
int BrowseCommand(const Args& args);
// Runs the browser display's program (tabulo-serve) in this process's place.
int ServeCommand(const Args& args);
int ScriptCommand(const Args& args);
int DesignCommand(const Args& args);
int HashPasswordCommand(const Args& args);
int ExportCommand(const Args& args);
int AuditCommand(const Args& args);
int RegisterCommand(const Args& args);
int UnregisterCommand(const Args& args);

}  // namespace tabulo::app
