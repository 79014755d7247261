// Variant: the value type that crosses every component boundary (properties, automation
// arguments, record-set fields, property bags). It follows the classic automation variant:
// a type tag and a value; strings are UTF-8 (lengths are counted in code points by the text
// helpers, not in bytes); booleans are true = -1; dates are days since 1899-12-30 with the
// time of day as the fraction; currency is a 64-bit integer scaled by 10,000.
//
// Conversions between types follow the classic rules and live in conversions.h, because
// most of them depend on the user's locale.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::platform {

class Dispatch;  // automation object, automation.h
class SafeArray;

enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,  // 16-bit signed
  Long = 3,     // 32-bit signed
  Single = 4,
  Double = 5,
  Currency = 6,  // int64 scaled by 10,000
  Date = 7,      // double, days since 1899-12-30
  String = 8,
  Object = 9,
  Error = 10,  // an error code; Missing() is the error 0x80020004 (an omitted optional argument)
  Boolean = 11,
  Variant = 12,  // element type of arrays of variants only
  Byte = 17,
  Array = 8192,  // flag value reported by TypeName-style code; a Variant holding an array has type
                 // Array
};

// The classic name of a type ("Integer", "String", "Variant()" ...).
std::string_view TypeName(VarType t);

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept = default;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept = default;
  ~Variant();

  // Implicit constructors for the common cases; the named factories below for the rest.
  Variant(int16_t v) : type_(VarType::Integer), i_(v) {}
  Variant(int32_t v) : type_(VarType::Long), i_(v) {}
  Variant(float v) : type_(VarType::Single), d_(v) {}
  Variant(double v) : type_(VarType::Double), d_(v) {}
  Variant(bool v) : type_(VarType::Boolean), i_(v ? -1 : 0) {}
  Variant(std::string v) : type_(VarType::String), s_(std::move(v)) {}
  Variant(std::string_view v) : type_(VarType::String), s_(v) {}
  Variant(const char* v) : type_(VarType::String), s_(v) {}
  Variant(std::shared_ptr<Dispatch> obj);  // Object; a null pointer is the object Nothing
  Variant(SafeArray array);

  static Variant Null();
  static Variant Integer(int16_t v) { return Variant(v); }
  static Variant Long(int32_t v) { return Variant(v); }
  static Variant Single(float v) { return Variant(v); }
  static Variant Double(double v) { return Variant(v); }
  static Variant CurrencyScaled(int64_t scaled);  // value * 10,000
  static Variant Date(double days);
  static Variant String(std::string v) { return Variant(std::move(v)); }
  static Variant Boolean(bool v) { return Variant(v); }
  static Variant Byte(uint8_t v);
  static Variant Error(int32_t scode);
  static Variant Nothing();  // an Object variant holding no object
  static Variant Missing();  // an omitted optional argument (Error 0x80020004)

  VarType type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsString() const { return type_ == VarType::String; }
  bool IsObject() const { return type_ == VarType::Object; }
  bool IsArray() const { return type_ == VarType::Array; }
  bool IsMissing() const;
  // Integer, Long, Single, Double, Currency, Byte (not Boolean, not Date).
  bool IsNumberType() const;

  // Raw access without conversion. Each requires the matching type() (checked: a mismatch
  // raises ComError 13). AsDouble also serves Single and Date; AsLong also serves Integer,
  // Byte and Boolean; AsError the error code.
  int16_t AsInteger() const;
  int32_t AsLong() const;
  double AsDouble() const;
  int64_t AsCurrencyScaled() const;
  bool AsBoolean() const;
  uint8_t AsByte() const;
  int32_t AsError() const;
  const std::string& AsString() const;
  const std::shared_ptr<Dispatch>& AsObject() const;
  const SafeArray& AsArray() const;
  SafeArray& AsArray();

  // Same type and same value (arrays element by element, objects by identity). This is
  // structural equality for tests and containers, not the classic "=" operator.
  bool operator==(const Variant& other) const;
  bool operator!=(const Variant& other) const { return !(*this == other); }

 private:
  VarType type_ = VarType::Empty;
  int64_t i_ = 0;
  double d_ = 0.0;
  std::string s_;
  std::shared_ptr<Dispatch> obj_;
  std::unique_ptr<SafeArray> arr_;
};

// A one- or two-dimensional array with lower bounds per dimension (classic SAFEARRAY).
// Element access is checked: an index outside the bounds raises ComError 9.
class SafeArray {
 public:
  struct Bound {
    int32_t lower = 0;
    int32_t count = 0;  // number of elements in this dimension, >= 0
  };
  // Limits on what one array may hold, so that a hostile value is refused with a clear
  // error (ComError 7 "Out of memory") instead of exhausting memory.
  static constexpr int kMaxDims = 2;
  static constexpr int64_t kMaxElements = 16 * 1024 * 1024;

  SafeArray() = default;
  // element_type: VarType::Variant for an array of variants, or String, Long, ... for a
  // typed array (whose elements then always hold that type). Raises ComError 9 for more
  // than kMaxDims dimensions or a negative count, 7 for more than kMaxElements.
  SafeArray(VarType element_type, std::vector<Bound> bounds);

  // Convenience: a zero-based 1-D array of variants; a zero-based 2-D array of variants.
  static SafeArray Vector(std::vector<Variant> items);
  static SafeArray Matrix(int32_t rows, int32_t cols);  // (0..rows-1, 0..cols-1)

  VarType element_type() const { return element_type_; }
  int dims() const { return static_cast<int>(bounds_.size()); }
  // dim counts from 1, as LBound/UBound do; a dim outside 1..dims() raises ComError 9.
  int32_t LBound(int dim = 1) const;
  int32_t UBound(int dim = 1) const;
  int64_t size() const { return static_cast<int64_t>(elems_.size()); }

  const Variant& At(int32_t i) const;
  Variant& At(int32_t i);
  const Variant& At(int32_t i, int32_t j) const;
  Variant& At(int32_t i, int32_t j);
  // Stores v. A typed array takes only values of its element type (Empty becomes the
  // type's default value); anything else raises ComError 13: converting is the caller's
  // business, since it may depend on the user's locale.
  void Set(int32_t i, Variant v);
  void Set(int32_t i, int32_t j, Variant v);

  // ReDim of the last dimension (as ReDim Preserve allows); new elements are the element
  // type's default value.
  void RedimPreserve(int32_t new_upper);

  bool operator==(const SafeArray& other) const;

 private:
  size_t Offset(int32_t i) const;
  size_t Offset(int32_t i, int32_t j) const;
  Variant DefaultElement() const;

  VarType element_type_ = VarType::Variant;
  std::vector<Bound> bounds_;
  std::vector<Variant> elems_;  // first index varies slowest: (i, j) at i * count2 + j
};

}  // namespace tabulo::platform
