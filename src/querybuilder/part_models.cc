// The plain list model; it refuses indexes as the list box widget does.
#include "querybuilder/part_models.h"

#include "platform/com_error.h"

namespace tabulo::querybuilder {

void PlainList::Clear() {
  items_.clear();
  list_index_ = -1;
}

void PlainList::AddItem(const std::string& item) {
  items_.push_back(item);
}

std::string PlainList::List(int32_t index) const {
  if (index < 0 || index >= ListCount())
    throw platform::ComError(381, "Invalid property array index", "ListBox");
  return items_[static_cast<size_t>(index)];
}

void PlainList::SetListIndex(int32_t index) {
  if (index < -1 || index >= ListCount())
    throw platform::ComError(380, "Invalid property value", "ListBox");
  list_index_ = index;
}

}  // namespace tabulo::querybuilder
