#include "container/command_support.h"

#include "localization/string_table.h"

namespace tabulo::container {

std::string StringTableListing() {
  return localization::ListStringTable();
}

}  // namespace tabulo::container
