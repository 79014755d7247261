// One data server object serving both kinds of source: ServerType 0 (data source names) through
// one data server and ServerType 1 (server databases) through another, each told the type.
// The cluster manager hands out this object when a server has both.
#pragma once

#include <memory>

#include "host/data_server.h"

namespace tabulo::host {

// `by_name` serves ServerType 0 and every other value it understands; `by_server` serves 1.
// MachineName is `by_name`'s.
std::shared_ptr<DataServer> NewServerTypeRouter(std::shared_ptr<DataServer> by_name,
                                                std::shared_ptr<DataServer> by_server);

}  // namespace tabulo::host
