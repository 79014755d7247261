#include "host/library_on_use.h"

#include <dlfcn.h>

#include "host/data_server.h"
#include "platform/values/com_error.h"

namespace tabulo::host {

void* LibraryOnUse::Handle() {
  std::call_once(once_, [this] {
    handle_ = dlopen(file_, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* why = dlerror();
      error_ = why ? why : file_;
    }
  });
  if (!handle_) {
    throw platform::ComError(kErrSourceUnusable,
                             std::string(what_) + " cannot be loaded (" + error_ +
                                 "); install the " + package_ + " package to use " + use_,
                             "DataServer");
  }
  return handle_;
}

void* LibraryOnUse::Function(const char* name) {
  void* function = dlsym(Handle(), name);
  if (!function) {
    throw platform::ComError(kErrSourceUnusable,
                             std::string(what_) + " " + file_ + " lacks " + name +
                                 "; install a newer " + package_ + " package",
                             "DataServer");
  }
  return function;
}

}  // namespace tabulo::host
