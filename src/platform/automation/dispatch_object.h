// DispatchObject: a Dispatch implemented from a member table. Every automation class of the
// system (the control, its font, host components) declares its members and events in its
// constructor, each with its name and fixed dispatch id, and gets late binding, argument
// count checks, by-reference write-back and the classic errors from here.
//
// Calling rules (beyond those of dispatch.h):
// - A member is one name with one id; it may have a method, a property get, a property let
//   (PropertyPut) and a property set-reference (PropertyPutRef) handler.
// - Method and PropertyGet are interchangeable: a read with Method finds the getter, a call
//   with PropertyGet finds the method. With neither present (a write-only property) -> 450.
// - PropertyPut needs a let handler, PropertyPutRef a set-reference handler; a put on a
//   member without one (a read-only property, a method) -> 450. A PropertyPut whose value is
//   an object (Nothing included) on a let handler -> 450: objects are assigned with a
//   set-reference, and a let-only property takes none.
// - Argument counts include the assigned value of a put (a plain property let takes 1).
//   Fewer than the required count or more than the declared count -> 450; Missing() in a
//   required position -> 449 "Argument not optional".
// - Handlers always see the declared number of arguments: omitted optional ones arrive as
//   Missing(), and the value of a put is always the last argument. Only the parameters
//   declared by-reference are copied back to the caller; writes to the others are local.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/text/locale.h"
#include "platform/values/com_error.h"
#include "platform/values/variant.h"

namespace tabulo::platform {

inline constexpr int32_t kErrArgumentNotOptional = 449;

ComError ArgumentNotOptional(std::string source = {});  // 449 "Argument not optional"

enum class MemberKind { Method, PropertyGet, PropertyLet, PropertySetRef, Event };

// "method", "get", "let", "set", "event".
std::string_view MemberKindName(MemberKind kind);

struct Param {
  std::string name;
  bool optional = false;
  bool by_ref = false;
};

// One entry of the interface listing. A property with a getter and a setter appears once per
// kind, with the same name and id, as a type library lists it.
struct MemberInfo {
  std::string name;
  DispId id = kDispIdUnknown;
  MemberKind kind = MemberKind::Method;
  std::vector<Param> params;  // for a put, the last one is the assigned value

  int min_args() const;
  int max_args() const { return static_cast<int>(params.size()); }
  // One line for interface listings: "0x68030015 get Font()",
  // "0x6003005A method Refresh([ByRef MoveToTop])".
  std::string Describe() const;
};

using MemberHandler = std::function<Variant(std::vector<Variant>& args)>;

class DispatchObject : public Dispatch {
 public:
  // Handlers capture the object they belong to: a copy would call into the original.
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  std::string ClassName() const override { return class_name_; }
  DispId GetIdOfName(std::string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override;
  // The same by member name (438 for an unknown one).
  Variant InvokeByName(std::string_view name, InvokeKind kind, std::vector<Variant>& args);

  // Members and events in the order they were declared.
  std::vector<MemberInfo> Members() const;
  std::vector<MemberInfo> Events() const;
  // The id of an event by name; kDispIdUnknown when there is none.
  DispId EventId(std::string_view name) const;

  // The locale the Arg* helpers convert text in. Not owned; must outlive the object.
  const Locale& coercion_locale() const { return *coercion_locale_; }
  void SetCoercionLocale(const Locale& locale) { coercion_locale_ = &locale; }

 protected:
  explicit DispatchObject(std::string class_name);

  // Declaration, for constructors of derived classes. Re-using a name with another id, an id
  // with another name, or declaring the same kind twice raises 5: it is a fault of the class.
  void DeclareMember(std::string name, DispId id, MemberKind kind, std::vector<Param> params,
                     MemberHandler handler);
  void DeclareMethod(std::string name, DispId id, std::vector<Param> params,
                     MemberHandler handler) {
    DeclareMember(std::move(name), id, MemberKind::Method, std::move(params), std::move(handler));
  }
  // A property without index parameters; a null getter or letter leaves that kind out.
  void DeclareProperty(std::string name, DispId id, std::function<Variant()> getter,
                       std::function<void(const Variant&)> letter);
  // A property assigned by reference: get and set-reference.
  void DeclareObjectProperty(std::string name, DispId id, std::function<Variant()> getter,
                             std::function<void(const Variant&)> setter);
  void DeclareEvent(std::string name, DispId id, int param_count);
  // The same with the parameters' names and passing, as the event interface lists them.
  void DeclareEvent(std::string name, DispId id, std::vector<Param> params);

  // Raises an event to every connected sink. The argument count must match the declaration
  // (450 otherwise); an undeclared event raises 438. Sinks may change `args`.
  void Fire(DispId id, std::vector<Variant>& args);
  void Fire(std::string_view name, std::vector<Variant>& args);

  // Argument coercion for handlers, with the classic conversions in the coercion locale:
  // 13 for a type that cannot be converted, 6 overflow, 94 Null; 449 when the argument is
  // absent (index past the end, or Missing()).
  bool ArgBool(const std::vector<Variant>& args, size_t index) const;
  int16_t ArgInt16(const std::vector<Variant>& args, size_t index) const;
  int32_t ArgLong(const std::vector<Variant>& args, size_t index) const;
  double ArgDouble(const std::vector<Variant>& args, size_t index) const;
  std::string ArgString(const std::vector<Variant>& args, size_t index) const;
  // An object argument; Nothing gives a null pointer, any other type 13.
  std::shared_ptr<Dispatch> ArgObject(const std::vector<Variant>& args, size_t index) const;
  // Whether an optional argument was given.
  static bool HasArg(const std::vector<Variant>& args, size_t index);

 private:
  struct Member {
    std::string name;
    DispId id;
    // Handler and parameters per kind; an empty handler means the kind is absent.
    MemberHandler handlers[4];
    std::vector<Param> params[4];
  };
  struct Event {
    std::string name;
    DispId id;
    int param_count;
    std::vector<Param> params;  // empty when declared by count only
  };

  const Member& FindMember(DispId id) const;
  const Variant& RequireArg(const std::vector<Variant>& args, size_t index) const;
  Variant CallHandler(const Member& m, MemberKind kind, std::vector<Variant>& args);

  std::string class_name_;
  const Locale* coercion_locale_;
  std::vector<Member> members_;
  std::map<std::string, size_t> by_name_;  // folded name -> index in members_
  std::map<DispId, size_t> by_id_;
  std::vector<Event> events_;
  // (member index, kind) in declaration order, for the listing.
  std::vector<std::pair<size_t, MemberKind>> declared_;
};

}  // namespace tabulo::platform
