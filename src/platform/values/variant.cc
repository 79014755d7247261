#include "platform/values/variant.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

constexpr int32_t kParamNotFound = static_cast<int32_t>(0x80020004u);

}  // namespace

std::string_view TypeName(VarType t) {
  switch (t) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Integer:
      return "Integer";
    case VarType::Long:
      return "Long";
    case VarType::Single:
      return "Single";
    case VarType::Double:
      return "Double";
    case VarType::Currency:
      return "Currency";
    case VarType::Date:
      return "Date";
    case VarType::String:
      return "String";
    case VarType::Object:
      return "Object";
    case VarType::Error:
      return "Error";
    case VarType::Boolean:
      return "Boolean";
    case VarType::Variant:
      return "Variant";
    case VarType::Byte:
      return "Byte";
    case VarType::Array:
      return "Variant()";
  }
  return "Unknown";
}

Variant::Variant(const Variant& other)
    : type_(other.type_), i_(other.i_), d_(other.d_), s_(other.s_), obj_(other.obj_) {
  if (other.arr_) arr_ = std::make_unique<SafeArray>(*other.arr_);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::~Variant() = default;

Variant::Variant(std::shared_ptr<Dispatch> obj) : type_(VarType::Object), obj_(std::move(obj)) {}

Variant::Variant(SafeArray array)
    : type_(VarType::Array), arr_(std::make_unique<SafeArray>(std::move(array))) {}

Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant Variant::CurrencyScaled(int64_t scaled) {
  Variant v;
  v.type_ = VarType::Currency;
  v.i_ = scaled;
  return v;
}

Variant Variant::Date(double days) {
  Variant v;
  v.type_ = VarType::Date;
  v.d_ = days;
  return v;
}

Variant Variant::Byte(uint8_t b) {
  Variant v;
  v.type_ = VarType::Byte;
  v.i_ = b;
  return v;
}

Variant Variant::Error(int32_t scode) {
  Variant v;
  v.type_ = VarType::Error;
  v.i_ = scode;
  return v;
}

Variant Variant::Nothing() {
  return Variant(std::shared_ptr<Dispatch>());
}

Variant Variant::Missing() {
  return Error(kParamNotFound);
}

bool Variant::IsMissing() const {
  return type_ == VarType::Error && i_ == kParamNotFound;
}

bool Variant::IsNumberType() const {
  switch (type_) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Byte:
      return true;
    default:
      return false;
  }
}

int16_t Variant::AsInteger() const {
  if (type_ != VarType::Integer) throw ComError::TypeMismatch();
  return static_cast<int16_t>(i_);
}

int32_t Variant::AsLong() const {
  switch (type_) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
    case VarType::Boolean:
      return static_cast<int32_t>(i_);
    default:
      throw ComError::TypeMismatch();
  }
}

double Variant::AsDouble() const {
  switch (type_) {
    case VarType::Single:
    case VarType::Double:
    case VarType::Date:
      return d_;
    default:
      throw ComError::TypeMismatch();
  }
}

int64_t Variant::AsCurrencyScaled() const {
  if (type_ != VarType::Currency) throw ComError::TypeMismatch();
  return i_;
}

bool Variant::AsBoolean() const {
  if (type_ != VarType::Boolean) throw ComError::TypeMismatch();
  return i_ != 0;
}

uint8_t Variant::AsByte() const {
  if (type_ != VarType::Byte) throw ComError::TypeMismatch();
  return static_cast<uint8_t>(i_);
}

int32_t Variant::AsError() const {
  if (type_ != VarType::Error) throw ComError::TypeMismatch();
  return static_cast<int32_t>(i_);
}

const std::string& Variant::AsString() const {
  if (type_ != VarType::String) throw ComError::TypeMismatch();
  return s_;
}

const std::shared_ptr<Dispatch>& Variant::AsObject() const {
  if (type_ != VarType::Object) throw ComError::TypeMismatch();
  return obj_;
}

const SafeArray& Variant::AsArray() const {
  if (type_ != VarType::Array) throw ComError::TypeMismatch();
  return *arr_;
}

SafeArray& Variant::AsArray() {
  if (type_ != VarType::Array) throw ComError::TypeMismatch();
  return *arr_;
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::Empty:
    case VarType::Null:
      return true;
    case VarType::Single:
    case VarType::Double:
    case VarType::Date:
      // Bitwise-equal doubles compare equal, NaN included, so that round trips can be
      // checked exactly.
      return d_ == other.d_ || (std::isnan(d_) && std::isnan(other.d_));
    case VarType::String:
      return s_ == other.s_;
    case VarType::Object:
      return obj_ == other.obj_;
    case VarType::Array:
      return *arr_ == *other.arr_;
    default:
      return i_ == other.i_;
  }
}

// ---- SafeArray ----

SafeArray::SafeArray(VarType element_type, std::vector<Bound> bounds)
    : element_type_(element_type), bounds_(std::move(bounds)) {
  if (bounds_.empty() || static_cast<int>(bounds_.size()) > kMaxDims)
    throw ComError::SubscriptOutOfRange();
  int64_t total = 1;
  for (const Bound& b : bounds_) {
    if (b.count < 0) throw ComError::SubscriptOutOfRange();
    // The upper bound lower + count - 1 must stay a 32-bit value.
    if (static_cast<int64_t>(b.lower) + b.count - 1 > INT32_MAX) throw ComError::Overflow();
    total *= b.count;
    if (total > kMaxElements) throw ComError::OutOfMemory();
  }
  elems_.assign(static_cast<size_t>(total), DefaultElement());
}

SafeArray SafeArray::Vector(std::vector<Variant> items) {
  SafeArray a(VarType::Variant, {{0, static_cast<int32_t>(items.size())}});
  a.elems_ = std::move(items);
  return a;
}

SafeArray SafeArray::Matrix(int32_t rows, int32_t cols) {
  return SafeArray(VarType::Variant, {{0, rows}, {0, cols}});
}

Variant SafeArray::DefaultElement() const {
  switch (element_type_) {
    case VarType::Integer:
      return Variant(int16_t{0});
    case VarType::Long:
      return Variant(int32_t{0});
    case VarType::Single:
      return Variant(0.0f);
    case VarType::Double:
      return Variant(0.0);
    case VarType::Currency:
      return Variant::CurrencyScaled(0);
    case VarType::Date:
      return Variant::Date(0.0);
    case VarType::String:
      return Variant(std::string());
    case VarType::Boolean:
      return Variant(false);
    case VarType::Byte:
      return Variant::Byte(0);
    case VarType::Object:
      return Variant::Nothing();
    default:
      return Variant();
  }
}

int32_t SafeArray::LBound(int dim) const {
  if (dim < 1 || dim > dims()) throw ComError::SubscriptOutOfRange();
  return bounds_[dim - 1].lower;
}

int32_t SafeArray::UBound(int dim) const {
  if (dim < 1 || dim > dims()) throw ComError::SubscriptOutOfRange();
  const Bound& b = bounds_[dim - 1];
  return static_cast<int32_t>(static_cast<int64_t>(b.lower) + b.count - 1);
}

size_t SafeArray::Offset(int32_t i) const {
  if (dims() != 1) throw ComError::SubscriptOutOfRange();
  int64_t k = static_cast<int64_t>(i) - bounds_[0].lower;
  if (k < 0 || k >= bounds_[0].count) throw ComError::SubscriptOutOfRange();
  return static_cast<size_t>(k);
}

size_t SafeArray::Offset(int32_t i, int32_t j) const {
  if (dims() != 2) throw ComError::SubscriptOutOfRange();
  int64_t a = static_cast<int64_t>(i) - bounds_[0].lower;
  int64_t b = static_cast<int64_t>(j) - bounds_[1].lower;
  if (a < 0 || a >= bounds_[0].count || b < 0 || b >= bounds_[1].count)
    throw ComError::SubscriptOutOfRange();
  return static_cast<size_t>(a * bounds_[1].count + b);
}

const Variant& SafeArray::At(int32_t i) const {
  return elems_[Offset(i)];
}
Variant& SafeArray::At(int32_t i) {
  return elems_[Offset(i)];
}
const Variant& SafeArray::At(int32_t i, int32_t j) const {
  return elems_[Offset(i, j)];
}
Variant& SafeArray::At(int32_t i, int32_t j) {
  return elems_[Offset(i, j)];
}

namespace {

Variant CheckedElement(VarType element_type, Variant v, const Variant& default_value) {
  if (element_type == VarType::Variant) return v;
  if (v.IsEmpty()) return default_value;
  if (v.type() != element_type) throw ComError::TypeMismatch();
  return v;
}

}  // namespace

void SafeArray::Set(int32_t i, Variant v) {
  size_t k = Offset(i);
  elems_[k] = CheckedElement(element_type_, std::move(v), DefaultElement());
}

void SafeArray::Set(int32_t i, int32_t j, Variant v) {
  size_t k = Offset(i, j);
  elems_[k] = CheckedElement(element_type_, std::move(v), DefaultElement());
}

void SafeArray::RedimPreserve(int32_t new_upper) {
  if (bounds_.empty()) throw ComError::SubscriptOutOfRange();
  Bound& last = bounds_.back();
  int64_t new_count = static_cast<int64_t>(new_upper) - last.lower + 1;
  if (new_count < 0) throw ComError::SubscriptOutOfRange();
  int64_t outer = 1;
  for (size_t d = 0; d + 1 < bounds_.size(); ++d) outer *= bounds_[d].count;
  if (outer * new_count > kMaxElements) throw ComError::OutOfMemory();
  std::vector<Variant> next(static_cast<size_t>(outer * new_count), DefaultElement());
  int64_t keep = std::min<int64_t>(new_count, last.count);
  for (int64_t o = 0; o < outer; ++o)
    for (int64_t k = 0; k < keep; ++k)
      next[static_cast<size_t>(o * new_count + k)] =
          std::move(elems_[static_cast<size_t>(o * last.count + k)]);
  elems_ = std::move(next);
  last.count = static_cast<int32_t>(new_count);
}

bool SafeArray::operator==(const SafeArray& other) const {
  if (element_type_ != other.element_type_ || bounds_.size() != other.bounds_.size()) return false;
  for (size_t d = 0; d < bounds_.size(); ++d)
    if (bounds_[d].lower != other.bounds_[d].lower || bounds_[d].count != other.bounds_[d].count)
      return false;
  return elems_ == other.elems_;
}

}  // namespace tabulo::platform
