// Dispatch: an automation object, reached late-bound by member name or by dispatch id.
// Names are case-insensitive. Arguments are passed in the order the caller writes them;
// a member that takes a parameter by reference writes its new value back into `args`, and
// a caller that passed a variable by reference copies it back. An omitted optional argument
// is Variant::Missing().
//
// Misuse raises the classic errors: an unknown name or id 438 "Object doesn't support this
// property or method", a wrong argument count or a property assignment the member does not
// allow 450 "Wrong number of arguments or invalid property assignment", an argument of a
// type that cannot be converted 13 "Type mismatch".
//
// Events: sinks connect with Advise and receive every event the object raises, with the
// event's dispatch id, its name and its arguments (by-reference arguments may be changed
// by the sink; the raiser reads them back afterwards).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/variant.h"

namespace tabulo::platform {

using DispId = int32_t;
inline constexpr DispId kDispIdUnknown = -1;

enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };

class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnEvent(DispId id, std::string_view name, std::vector<Variant>& args) = 0;
};

class Dispatch : public std::enable_shared_from_this<Dispatch> {
 public:
  virtual ~Dispatch() = default;

  // The class name, as TypeName reports it ("TabuloCtl", "StdFont", ...).
  virtual std::string ClassName() const = 0;
  // The id of a member; raises 438 for an unknown name.
  virtual DispId GetIdOfName(std::string_view name) const = 0;
  // Calls a member. Method and PropertyGet may both be used for a method call or a property
  // read, as late-bound callers do; PropertyPut takes the new value as the last argument.
  virtual Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) = 0;

  // Conveniences over GetIdOfName + Invoke, for callers that pass everything by value.
  Variant Call(std::string_view name, std::vector<Variant> args = {});
  Variant Get(std::string_view name, std::vector<Variant> args = {});
  void Put(std::string_view name, Variant value);
  void PutRef(std::string_view name, Variant object);

  // Event connections. Advise returns a cookie (> 0) for Unadvise.
  int64_t Advise(std::shared_ptr<EventSink> sink);
  void Unadvise(int64_t cookie);
  size_t sink_count() const { return sinks_.size(); }

 protected:
  // Delivers an event to every connected sink, in the order they connected. A sink that
  // raises an error does not stop delivery to the others; the error is dropped, since an
  // event's raiser cannot act on a handler's failure.
  void RaiseEvent(DispId id, std::string_view name, std::vector<Variant>& args);

 private:
  struct Connection {
    int64_t cookie;
    std::shared_ptr<EventSink> sink;
  };
  std::vector<Connection> sinks_;
  int64_t next_cookie_ = 1;
};

}  // namespace tabulo::platform
