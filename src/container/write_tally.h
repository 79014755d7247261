// The container's view of what the data servers it installed have done: how many statements
// were written and the last refusal. `tabulo show --edit` tells from it whether an operator's
// edit reached the database.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/data_server.h"

namespace tabulo::container {

struct WriteTally {
  int64_t writes = 0;      // statements run that yield no result, without error
  std::string last_error;  // the description of the last statement refused
};

// One statement a data server of the process ran (or refused): a query that opened rows (a
// load) or a write, how long the call took, and the error number of a refusal (0: none).
struct DataCall {
  bool write = false;
  double seconds = 0;
  int32_t error = 0;
};
// Told of every statement through a tallied server of the process, on the thread that ran
// it (nullptr: nobody). For the display's figures and log.
void ObserveDataCalls(std::function<void(const DataCall&)> observer);

// `server` with every call passed through, its writes and refusals counted in `tally`.
std::shared_ptr<host::DataServer> TallyWrites(std::shared_ptr<host::DataServer> server,
                                              std::shared_ptr<WriteTally> tally);

}  // namespace tabulo::container
