// PropertyBag: the named values a container hands to a control's save and load handlers,
// kept in the order they were first written. Keys are case-sensitive.
//
// Default elision: WriteProperty does not store a value equal to the default given, and
// removes an earlier stored value of that key, so that ReadProperty with the same default
// gives the value back. "Equal" is the classic comparison restricted to what is safe to
// elide: numbers, booleans and dates compare by numeric value across types (Integer 0,
// Long 0, Double 0.0, Currency 0 and False are all equal; True is -1); strings compare
// exactly, case included; Empty equals only Empty and Null only Null; Error values compare
// by code; arrays are equal when their element type, bounds and elements are the same;
// objects are equal only to the same object (or Nothing to Nothing), never to a non-object.
//
// Objects stored in a bag can be saved (property_bag_format.h) only when they implement
// PersistPropertyBag; they are then written as a nested bag under their class name.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/variant.h"

namespace tabulo::platform {

class PropertyBag;

// Implemented, next to Dispatch, by objects that can be saved inside a property bag.
class PersistPropertyBag {
 public:
  virtual ~PersistPropertyBag() = default;
  // The name the object factory is given to recreate the object when loading.
  virtual std::string PersistClassName() const = 0;
  virtual void SaveProperties(PropertyBag& bag) const = 0;
  virtual void LoadProperties(const PropertyBag& bag) = 0;
};

// Whether WriteProperty would elide `value` against `default_value` (see above).
bool PropertyValuesEqual(const Variant& value, const Variant& default_value);

class PropertyBag {
 public:
  void WriteProperty(std::string_view name, const Variant& value,
                     const Variant& default_value = Variant());
  // The stored value, or `default_value` when `name` is not stored.
  Variant ReadProperty(std::string_view name, const Variant& default_value = Variant()) const;

  // Stores `value` as it is, without default elision (a later store of the same key
  // replaces the value and keeps its position). For loaders that restore a saved bag.
  void Store(std::string_view name, Variant value);

  bool Contains(std::string_view name) const;
  // The stored keys in the order they were first written.
  std::vector<std::string> Keys() const;
  // Removes a stored key; returns whether it was stored.
  bool Remove(std::string_view name);
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  struct Entry {
    std::string name;
    Variant value;
  };
  // The stored entries in order (for the file format).
  const std::vector<Entry>& entries() const { return entries_; }

  // Same keys in the same order with structurally equal values (Variant::operator==).
  // The origin is not compared.
  bool operator==(const PropertyBag& other) const;

  // Where the bag was read from (a file name), for error descriptions of its readers;
  // empty for a bag made in memory.
  const std::string& origin() const { return origin_; }
  void set_origin(std::string origin) { origin_ = std::move(origin); }

 private:
  const Entry* Find(std::string_view name) const;

  std::vector<Entry> entries_;
  std::map<std::string, size_t, std::less<>> index_;  // name -> position in entries_
  std::string origin_;
};

}  // namespace tabulo::platform
