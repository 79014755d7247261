// tabulo audit: lists the operator events of the host's audit database, oldest first.
#include <iostream>

#include "commands.h"
#include "host/audit_log.h"
#include "host/host_config.h"
#include "platform/values/com_error.h"

namespace tabulo::app {

int AuditCommand(const Args& args) {
  std::string config_path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--host" && i + 1 < args.size()) {
      config_path = args[++i];
    } else {
      std::cerr << "usage: tabulo audit [--host CONFIG]\n";
      return 2;
    }
  }
  try {
    host::HostConfig config = config_path.empty()
                                  ? host::DefaultHostConfig(host::LocalMachineName())
                                  : host::LoadHostConfig(config_path);
    host::AuditDatabaseLocation location = host::ResolveAuditDatabase(config);
    if (location.path.empty()) {
      std::cerr << "tabulo audit: no audit database is configured and HOME is not set\n";
      return 1;
    }
    std::vector<host::AuditRecord> records = host::ReadAuditRecords(location.path);
    if (records.empty()) std::cout << "No audit records.\n";
    for (const host::AuditRecord& r : records) std::cout << host::FormatAuditRecord(r) << "\n";
    return 0;
  } catch (const platform::ComError& e) {
    std::cerr << "tabulo audit: " << e.description() << "\n";
    return 1;
  }
}

}  // namespace tabulo::app
