// ComError is the one error type raised across components: a number, a description and
// the name of the component that raised it. Numbers are the classic run-time error numbers
// (6, 9, 13, ...) or 32-bit HRESULT-style codes such as 0x80040E14, kept as int32_t.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tabulo::platform {

class ComError : public std::runtime_error {
 public:
  // `number` accepts both small error numbers and unsigned HRESULT literals (0x80040E14);
  // it is stored as the signed 32-bit value with the same bits.
  ComError(int64_t number, std::string description, std::string source = {});

  int32_t number() const { return number_; }
  // The number as the unsigned 32-bit code, for comparisons with HRESULT literals.
  uint32_t code() const { return static_cast<uint32_t>(number_); }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

  // The classic run-time errors, with their classic descriptions.
  static ComError InvalidProcedureCall(std::string source = {});  // 5
  static ComError Overflow(std::string source = {});              // 6
  static ComError OutOfMemory(std::string source = {});           // 7
  static ComError SubscriptOutOfRange(std::string source = {});   // 9
  static ComError DivisionByZero(std::string source = {});        // 11
  static ComError TypeMismatch(std::string source = {});          // 13
  static ComError ObjectNotSet(std::string source = {});          // 91
  static ComError InvalidUseOfNull(std::string source = {});      // 94
  static ComError InvalidPropertyValue(std::string source = {});  // 380
  static ComError CantCreateObject(std::string source = {});      // 429
  static ComError NotSupported(std::string source = {});          // 438
  static ComError WrongArguments(std::string source = {});        // 450

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// Classic error numbers, for tests and callers that compare numbers.
inline constexpr int32_t kErrInvalidProcedureCall = 5;
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrOutOfMemory = 7;
inline constexpr int32_t kErrSubscriptOutOfRange = 9;
inline constexpr int32_t kErrDivisionByZero = 11;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrObjectNotSet = 91;
inline constexpr int32_t kErrInvalidUseOfNull = 94;
inline constexpr int32_t kErrInvalidPropertyValue = 380;
inline constexpr int32_t kErrCantCreateObject = 429;
inline constexpr int32_t kErrNotSupported = 438;
inline constexpr int32_t kErrWrongArguments = 450;

}  // namespace tabulo::platform
