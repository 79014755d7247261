// PropertyBag: ordered storage with default elision.
#include "platform/storage/property_bag.h"

#include <cstdint>

namespace tabulo::platform {
namespace {

// Types compared exactly as integers scaled by 10,000 (the currency scale).
bool IsScaledIntegral(VarType t) {
  return t == VarType::Integer || t == VarType::Long || t == VarType::Byte ||
         t == VarType::Boolean || t == VarType::Currency;
}

bool IsNumeric(VarType t) {
  return IsScaledIntegral(t) || t == VarType::Single || t == VarType::Double || t == VarType::Date;
}

int64_t Scaled(const Variant& v) {
  if (v.type() == VarType::Currency) return v.AsCurrencyScaled();
  return static_cast<int64_t>(v.AsLong()) * 10'000;
}

double AsNumber(const Variant& v) {
  if (v.type() == VarType::Currency) return static_cast<double>(v.AsCurrencyScaled()) / 10'000.0;
  if (IsScaledIntegral(v.type())) return static_cast<double>(v.AsLong());
  return v.AsDouble();
}

}  // namespace

bool PropertyValuesEqual(const Variant& value, const Variant& default_value) {
  VarType a = value.type();
  VarType b = default_value.type();
  if (IsNumeric(a) && IsNumeric(b)) {
    if (IsScaledIntegral(a) && IsScaledIntegral(b)) return Scaled(value) == Scaled(default_value);
    return AsNumber(value) == AsNumber(default_value);  // NaN equals nothing, -0 equals 0
  }
  if (a != b) return false;
  switch (a) {
    case VarType::Empty:
    case VarType::Null:
      return true;
    case VarType::String:
      return value.AsString() == default_value.AsString();
    case VarType::Object:
      return value.AsObject() == default_value.AsObject();
    case VarType::Error:
      return value.AsError() == default_value.AsError();
    case VarType::Array:
      return value.AsArray() == default_value.AsArray();
    default:
      return false;
  }
}

void PropertyBag::WriteProperty(std::string_view name, const Variant& value,
                                const Variant& default_value) {
  if (PropertyValuesEqual(value, default_value)) {
    Remove(name);
    return;
  }
  Store(name, value);
}

void PropertyBag::Store(std::string_view name, Variant value) {
  auto it = index_.find(name);
  if (it != index_.end()) {
    entries_[it->second].value = std::move(value);
    return;
  }
  index_.emplace(std::string(name), entries_.size());
  entries_.push_back(Entry{std::string(name), std::move(value)});
}

Variant PropertyBag::ReadProperty(std::string_view name, const Variant& default_value) const {
  const Entry* entry = Find(name);
  return entry != nullptr ? entry->value : default_value;
}

bool PropertyBag::Contains(std::string_view name) const {
  return Find(name) != nullptr;
}

std::vector<std::string> PropertyBag::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const Entry& e : entries_) keys.push_back(e.name);
  return keys;
}

bool PropertyBag::Remove(std::string_view name) {
  auto it = index_.find(name);
  if (it == index_.end()) return false;
  size_t position = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  for (auto& [key, pos] : index_)
    if (pos > position) --pos;
  return true;
}

bool PropertyBag::operator==(const PropertyBag& other) const {
  if (entries_.size() != other.entries_.size()) return false;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].name != other.entries_[i].name || entries_[i].value != other.entries_[i].value)
      return false;
  return true;
}

const PropertyBag::Entry* PropertyBag::Find(std::string_view name) const {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : &entries_[it->second];
}

}  // namespace tabulo::platform
