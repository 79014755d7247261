// ProcessState: the values every control of one session shares, as the controls of one host
// process share theirs (the data server reference, the language, the resource store, the
// remembered apply button, the cluster manager library, the load-progress report). Each
// layer that keeps such values defines its part as a plain struct and reads it with
// Get<Part>(); the session owns the object and its container hands it to every control it
// sites, so two sessions (tests, a display's operators on their threads) never see each
// other's values, and a test starts from a fresh one by building a new container.
//
// Not locked: only the thread that runs the session touches it.
#pragma once

#include <map>
#include <memory>
#include <typeindex>

namespace tabulo::platform {

class ProcessState {
 public:
  // The part of type Part, value-initialized on first use.
  template <class Part>
  Part& Get() {
    std::shared_ptr<void>& slot = parts_[std::type_index(typeid(Part))];
    if (!slot) slot = std::make_shared<Part>();
    return *static_cast<Part*>(slot.get());
  }

 private:
  std::map<std::type_index, std::shared_ptr<void>> parts_;
};

}  // namespace tabulo::platform
