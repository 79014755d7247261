#include "platform/automation/dispatch.h"

#include <algorithm>

#include "platform/values/com_error.h"

namespace tabulo::platform {

Variant Dispatch::Call(std::string_view name, std::vector<Variant> args) {
  return Invoke(GetIdOfName(name), InvokeKind::Method, args);
}

Variant Dispatch::Get(std::string_view name, std::vector<Variant> args) {
  return Invoke(GetIdOfName(name), InvokeKind::PropertyGet, args);
}

void Dispatch::Put(std::string_view name, Variant value) {
  std::vector<Variant> args{std::move(value)};
  Invoke(GetIdOfName(name), InvokeKind::PropertyPut, args);
}

void Dispatch::PutRef(std::string_view name, Variant object) {
  std::vector<Variant> args{std::move(object)};
  Invoke(GetIdOfName(name), InvokeKind::PropertyPutRef, args);
}

int64_t Dispatch::Advise(std::shared_ptr<EventSink> sink) {
  int64_t cookie = next_cookie_++;
  sinks_.push_back({cookie, std::move(sink)});
  return cookie;
}

void Dispatch::Unadvise(int64_t cookie) {
  std::erase_if(sinks_, [cookie](const Connection& c) { return c.cookie == cookie; });
}

void Dispatch::RaiseEvent(DispId id, std::string_view name, std::vector<Variant>& args) {
  // A sink may disconnect itself while handling the event: deliver to a snapshot.
  std::vector<Connection> snapshot = sinks_;
  for (const Connection& c : snapshot) {
    try {
      c.sink->OnEvent(id, name, args);
    } catch (const ComError&) {
    }
  }
}

}  // namespace tabulo::platform
