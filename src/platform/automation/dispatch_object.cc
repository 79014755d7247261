#include "platform/automation/dispatch_object.h"

#include <cstdio>
#include <new>

#include "platform/text/text.h"
#include "platform/values/conversions.h"

namespace tabulo::platform {
namespace {

int Slot(MemberKind kind) {
  return static_cast<int>(kind);
}

bool TakesValueLast(MemberKind kind) {
  return kind == MemberKind::PropertyLet || kind == MemberKind::PropertySetRef;
}

ComError DeclarationFault(const std::string& cls, const std::string& what) {
  return ComError(kErrInvalidProcedureCall, cls + ": " + what, cls);
}

}  // namespace

ComError ArgumentNotOptional(std::string source) {
  return ComError(kErrArgumentNotOptional, "Argument not optional", std::move(source));
}

std::string_view MemberKindName(MemberKind kind) {
  switch (kind) {
    case MemberKind::Method:
      return "method";
    case MemberKind::PropertyGet:
      return "get";
    case MemberKind::PropertyLet:
      return "let";
    case MemberKind::PropertySetRef:
      return "set";
    case MemberKind::Event:
      return "event";
  }
  return "?";
}

int MemberInfo::min_args() const {
  int n = 0;
  for (const Param& p : params)
    if (!p.optional) ++n;
  return n;
}

std::string MemberInfo::Describe() const {
  char id_text[16];
  if (id >= 0 && id < 0x10000) {
    std::snprintf(id_text, sizeof id_text, "%d", id);
  } else {
    std::snprintf(id_text, sizeof id_text, "0x%08X", static_cast<uint32_t>(id));
  }
  std::string out =
      std::string(id_text) + " " + std::string(MemberKindName(kind)) + " " + name + "(";
  for (size_t i = 0; i < params.size(); ++i) {
    if (i > 0) out += ", ";
    const Param& p = params[i];
    if (p.optional) out += "[";
    if (p.by_ref) out += "ByRef ";
    out += p.name;
    if (p.optional) out += "]";
  }
  return out + ")";
}

DispatchObject::DispatchObject(std::string class_name)
    : class_name_(std::move(class_name)), coercion_locale_(&Locale::EnUS()) {}

DispId DispatchObject::GetIdOfName(std::string_view name) const {
  auto it = by_name_.find(UCase(name));
  if (it == by_name_.end()) throw ComError::NotSupported(class_name_);
  return members_[it->second].id;
}

DispId DispatchObject::EventId(std::string_view name) const {
  for (const Event& e : events_)
    if (EqualsIgnoreCase(e.name, name)) return e.id;
  return kDispIdUnknown;
}

const DispatchObject::Member& DispatchObject::FindMember(DispId id) const {
  auto it = by_id_.find(id);
  if (it == by_id_.end()) throw ComError::NotSupported(class_name_);
  return members_[it->second];
}

void DispatchObject::DeclareMember(std::string name, DispId id, MemberKind kind,
                                   std::vector<Param> params, MemberHandler handler) {
  if (kind == MemberKind::Event) throw DeclarationFault(class_name_, "events use DeclareEvent");
  if (!handler) throw DeclarationFault(class_name_, name + " has no handler");
  if (TakesValueLast(kind) && params.empty())
    throw DeclarationFault(class_name_, name + " put takes no value");
  std::string folded = UCase(name);
  auto by_name = by_name_.find(folded);
  auto by_id = by_id_.find(id);
  size_t index;
  if (by_name == by_name_.end() && by_id == by_id_.end()) {
    index = members_.size();
    members_.push_back(Member{name, id, {}, {}});
    by_name_[folded] = index;
    by_id_[id] = index;
  } else if (by_name != by_name_.end() && by_id != by_id_.end() &&
             by_name->second == by_id->second) {
    index = by_name->second;
  } else {
    throw DeclarationFault(class_name_, name + " conflicts with another member's name or id");
  }
  Member& m = members_[index];
  if (m.handlers[Slot(kind)])
    throw DeclarationFault(class_name_,
                           name + " declared twice as " + std::string(MemberKindName(kind)));
  m.handlers[Slot(kind)] = std::move(handler);
  m.params[Slot(kind)] = std::move(params);
  declared_.emplace_back(index, kind);
}

void DispatchObject::DeclareProperty(std::string name, DispId id, std::function<Variant()> getter,
                                     std::function<void(const Variant&)> letter) {
  if (getter) {
    DeclareMember(name, id, MemberKind::PropertyGet, {},
                  [getter = std::move(getter)](std::vector<Variant>&) { return getter(); });
  }
  if (letter) {
    DeclareMember(name, id, MemberKind::PropertyLet, {Param{"New_" + name}},
                  [letter = std::move(letter)](std::vector<Variant>& args) {
                    letter(args[0]);
                    return Variant();
                  });
  }
}

void DispatchObject::DeclareObjectProperty(std::string name, DispId id,
                                           std::function<Variant()> getter,
                                           std::function<void(const Variant&)> setter) {
  if (getter) {
    DeclareMember(name, id, MemberKind::PropertyGet, {},
                  [getter = std::move(getter)](std::vector<Variant>&) { return getter(); });
  }
  if (setter) {
    DeclareMember(name, id, MemberKind::PropertySetRef, {Param{"New_" + name}},
                  [setter = std::move(setter)](std::vector<Variant>& args) {
                    setter(args[0]);
                    return Variant();
                  });
  }
}

void DispatchObject::DeclareEvent(std::string name, DispId id, int param_count) {
  if (param_count < 0) throw DeclarationFault(class_name_, name + " has a negative count");
  for (const Event& e : events_) {
    if (e.id == id || EqualsIgnoreCase(e.name, name))
      throw DeclarationFault(class_name_, "event " + name + " conflicts with " + e.name);
  }
  events_.push_back(Event{std::move(name), id, param_count, {}});
}

void DispatchObject::DeclareEvent(std::string name, DispId id, std::vector<Param> params) {
  const int count = static_cast<int>(params.size());
  DeclareEvent(std::move(name), id, count);
  events_.back().params = std::move(params);
}

std::vector<MemberInfo> DispatchObject::Members() const {
  std::vector<MemberInfo> out;
  out.reserve(declared_.size());
  for (const auto& [index, kind] : declared_) {
    const Member& m = members_[index];
    out.push_back(MemberInfo{m.name, m.id, kind, m.params[Slot(kind)]});
  }
  return out;
}

std::vector<MemberInfo> DispatchObject::Events() const {
  std::vector<MemberInfo> out;
  for (const Event& e : events_) {
    MemberInfo info{e.name, e.id, MemberKind::Event, e.params};
    if (info.params.empty()) {
      for (int i = 1; i <= e.param_count; ++i)
        info.params.push_back(Param{"Arg" + std::to_string(i)});
    }
    out.push_back(std::move(info));
  }
  return out;
}

Variant DispatchObject::InvokeByName(std::string_view name, InvokeKind kind,
                                     std::vector<Variant>& args) {
  return Invoke(GetIdOfName(name), kind, args);
}

Variant DispatchObject::Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) {
  const Member& m = FindMember(id);
  auto has = [&m](MemberKind k) { return static_cast<bool>(m.handlers[Slot(k)]); };
  switch (kind) {
    case InvokeKind::Method:
    case InvokeKind::PropertyGet: {
      MemberKind first = kind == InvokeKind::Method ? MemberKind::Method : MemberKind::PropertyGet;
      MemberKind second = kind == InvokeKind::Method ? MemberKind::PropertyGet : MemberKind::Method;
      if (has(first)) return CallHandler(m, first, args);
      if (has(second)) return CallHandler(m, second, args);
      break;
    }
    case InvokeKind::PropertyPut:
      // Objects go by set-reference; a let handler never receives one.
      if (!has(MemberKind::PropertyLet) || args.empty() || args.back().IsObject()) break;
      return CallHandler(m, MemberKind::PropertyLet, args);
    case InvokeKind::PropertyPutRef:
      if (!has(MemberKind::PropertySetRef) || args.empty()) break;
      if (!args.back().IsObject()) throw ComError::TypeMismatch(class_name_);
      return CallHandler(m, MemberKind::PropertySetRef, args);
  }
  throw ComError::WrongArguments(class_name_);
}

Variant DispatchObject::CallHandler(const Member& m, MemberKind kind, std::vector<Variant>& args) {
  const std::vector<Param>& params = m.params[Slot(kind)];
  const size_t max = params.size();
  const size_t given = args.size();
  size_t required = 0;
  for (const Param& p : params)
    if (!p.optional) ++required;
  if (given < required || given > max) throw ComError::WrongArguments(class_name_);

  // Lay the arguments out as declared: omitted optional ones become Missing(), and a put's
  // value keeps the last position. `from[i]` is the caller's position of local[i], or -1.
  std::vector<Variant> local;
  std::vector<ptrdiff_t> from(max, -1);
  local.reserve(max);
  const bool value_last = TakesValueLast(kind);
  const size_t leading = value_last ? given - 1 : given;
  for (size_t i = 0; i < leading; ++i) {
    local.push_back(args[i]);
    from[i] = static_cast<ptrdiff_t>(i);
  }
  local.resize(value_last ? max - 1 : max, Variant::Missing());
  if (value_last) {
    local.push_back(args.back());
    from[max - 1] = static_cast<ptrdiff_t>(given - 1);
  }
  for (size_t i = 0; i < max; ++i) {
    if (!params[i].optional && local[i].IsMissing()) throw ArgumentNotOptional(class_name_);
  }

  Variant result;
  try {
    result = m.handlers[Slot(kind)](local);
  } catch (const std::bad_alloc&) {
    throw ComError::OutOfMemory(class_name_);
  }
  for (size_t i = 0; i < max; ++i) {
    if (params[i].by_ref && from[i] >= 0) args[static_cast<size_t>(from[i])] = std::move(local[i]);
  }
  return result;
}

void DispatchObject::Fire(DispId id, std::vector<Variant>& args) {
  for (const Event& e : events_) {
    if (e.id != id) continue;
    if (args.size() != static_cast<size_t>(e.param_count))
      throw ComError::WrongArguments(class_name_);
    RaiseEvent(e.id, e.name, args);
    return;
  }
  throw ComError::NotSupported(class_name_);
}

void DispatchObject::Fire(std::string_view name, std::vector<Variant>& args) {
  DispId id = EventId(name);
  if (id == kDispIdUnknown) throw ComError::NotSupported(class_name_);
  Fire(id, args);
}

bool DispatchObject::HasArg(const std::vector<Variant>& args, size_t index) {
  return index < args.size() && !args[index].IsMissing();
}

const Variant& DispatchObject::RequireArg(const std::vector<Variant>& args, size_t index) const {
  if (!HasArg(args, index)) throw ArgumentNotOptional(class_name_);
  return args[index];
}

bool DispatchObject::ArgBool(const std::vector<Variant>& args, size_t index) const {
  return CBool(RequireArg(args, index), *coercion_locale_);
}

int16_t DispatchObject::ArgInt16(const std::vector<Variant>& args, size_t index) const {
  return CInt(RequireArg(args, index), *coercion_locale_);
}

int32_t DispatchObject::ArgLong(const std::vector<Variant>& args, size_t index) const {
  return CLng(RequireArg(args, index), *coercion_locale_);
}

double DispatchObject::ArgDouble(const std::vector<Variant>& args, size_t index) const {
  return CDbl(RequireArg(args, index), *coercion_locale_);
}

std::string DispatchObject::ArgString(const std::vector<Variant>& args, size_t index) const {
  return CStr(RequireArg(args, index), *coercion_locale_);
}

std::shared_ptr<Dispatch> DispatchObject::ArgObject(const std::vector<Variant>& args,
                                                    size_t index) const {
  const Variant& v = RequireArg(args, index);
  if (!v.IsObject()) throw ComError::TypeMismatch(class_name_);
  return v.AsObject();
}

}  // namespace tabulo::platform
