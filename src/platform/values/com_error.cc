#include "platform/values/com_error.h"

#include <utility>

namespace tabulo::platform {

ComError::ComError(int64_t number, std::string description, std::string source)
    : std::runtime_error(description),
      number_(static_cast<int32_t>(static_cast<uint32_t>(number))),
      description_(std::move(description)),
      source_(std::move(source)) {}

ComError ComError::InvalidProcedureCall(std::string source) {
  return ComError(kErrInvalidProcedureCall, "Invalid procedure call or argument",
                  std::move(source));
}
ComError ComError::Overflow(std::string source) {
  return ComError(kErrOverflow, "Overflow", std::move(source));
}
ComError ComError::OutOfMemory(std::string source) {
  return ComError(kErrOutOfMemory, "Out of memory", std::move(source));
}
ComError ComError::SubscriptOutOfRange(std::string source) {
  return ComError(kErrSubscriptOutOfRange, "Subscript out of range", std::move(source));
}
ComError ComError::DivisionByZero(std::string source) {
  return ComError(kErrDivisionByZero, "Division by zero", std::move(source));
}
ComError ComError::TypeMismatch(std::string source) {
  return ComError(kErrTypeMismatch, "Type mismatch", std::move(source));
}
ComError ComError::ObjectNotSet(std::string source) {
  return ComError(kErrObjectNotSet, "Object variable or With block variable not set",
                  std::move(source));
}
ComError ComError::InvalidUseOfNull(std::string source) {
  return ComError(kErrInvalidUseOfNull, "Invalid use of Null", std::move(source));
}
ComError ComError::NotSupported(std::string source) {
  return ComError(kErrNotSupported, "Object doesn't support this property or method",
                  std::move(source));
}
ComError ComError::WrongArguments(std::string source) {
  return ComError(kErrWrongArguments, "Wrong number of arguments or invalid property assignment",
                  std::move(source));
}

// Raised by widgets and properties for a value they refuse.
ComError ComError::InvalidPropertyValue(std::string source) {
  return ComError(kErrInvalidPropertyValue, "Invalid property value", std::move(source));
}
ComError ComError::CantCreateObject(std::string source) {
  return ComError(kErrCantCreateObject, "ActiveX component can't create object", std::move(source));
}

}  // namespace tabulo::platform
