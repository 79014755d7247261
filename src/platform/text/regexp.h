// RegExp: the scripting library's regular-expression object (version 5.5), on PCRE2.
//
// Patterns are ECMAScript-style. The rules callers rely on:
//   - "." matches any character except a line feed (so it does match a carriage return);
//   - "\s" is ASCII white space [ \t\n\v\f\r]; "\w" is [A-Za-z0-9_]; "\d" is [0-9];
//   - without Multiline, "^" and "$" match only at the very start and the very end;
//     with Multiline they also match after and before a line feed;
//   - repetition is greedy unless marked lazy; the leftmost match wins;
//   - an unknown escape such as "\q" stands for the letter itself; "[^]" is any character;
//   - a back reference to a group that did not take part matches the empty text.
// Subjects are UTF-8; offsets and lengths are counted in code points. With Global, Execute
// returns every further non-overlapping match; after an empty match the search goes on one
// code point further.
//
// The pattern is compiled when first used and kept until Pattern, IgnoreCase or Multiline
// change. Each match runs under match, depth and heap limits, so a pathological pattern
// or subject ends with an error instead of a hang or a crash.
//
// Errors (ComError):
//   5017 kErrRegExpSyntax      "Syntax error in regular expression", followed by PCRE2's
//                              message and the pattern offset (in bytes) where it failed.
//   5050 kErrRegExpMatchLimit  "Regular expression match limit exceeded" (our own number,
//                              not a classic one), followed by the limit that was hit.
//   5    kErrInvalidProcedureCall for a subject that is not valid UTF-8 (with the byte
//                              offset), and for an Item index out of range.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/variant.h"

namespace tabulo::platform {

inline constexpr int32_t kErrRegExpSyntax = 5017;
inline constexpr int32_t kErrRegExpMatchLimit = 5050;

// The captured groups of one match, numbered from 0 (group 1 of the pattern is Item(0)).
// A group that did not take part in the match is std::nullopt (the classic Empty);
// AsVariant gives Empty for it and the text otherwise.
class SubMatches {
 public:
  SubMatches() = default;
  explicit SubMatches(std::vector<std::optional<std::string>> items) : items_(std::move(items)) {}

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Raises 5 for an index outside 0..Count()-1.
  const std::optional<std::string>& Item(int32_t index) const;
  Variant AsVariant(int32_t index) const;

 private:
  std::vector<std::optional<std::string>> items_;
};

class Match {
 public:
  Match(std::string value, int32_t first_index, int32_t length, platform::SubMatches sub_matches)
      : value_(std::move(value)),
        first_index_(first_index),
        length_(length),
        sub_matches_(std::move(sub_matches)) {}

  const std::string& Value() const { return value_; }
  int32_t FirstIndex() const { return first_index_; }  // code points before the match
  int32_t Length() const { return length_; }           // code points in the match
  const platform::SubMatches& SubMatches() const { return sub_matches_; }

 private:
  std::string value_;
  int32_t first_index_;
  int32_t length_;
  platform::SubMatches sub_matches_;
};

class MatchCollection {
 public:
  MatchCollection() = default;
  explicit MatchCollection(std::vector<Match> items) : items_(std::move(items)) {}

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Raises 5 for an index outside 0..Count()-1.
  const Match& Item(int32_t index) const;

 private:
  std::vector<Match> items_;
};

class RegExp {
 public:
  RegExp();
  // A copy takes the settings; it compiles the pattern again when first used.
  RegExp(const RegExp& other);
  RegExp& operator=(const RegExp& other);
  ~RegExp();

  const std::string& Pattern() const { return pattern_; }
  void SetPattern(std::string pattern);
  bool IgnoreCase() const { return ignore_case_; }
  void SetIgnoreCase(bool value);
  bool Global() const { return global_; }
  void SetGlobal(bool value) { global_ = value; }
  bool Multiline() const { return multiline_; }
  void SetMultiline(bool value);

  // The first match, or every match when Global is on.
  MatchCollection Execute(std::string_view subject) const;
  // Whether the pattern matches anywhere in the subject.
  bool Test(std::string_view subject) const;
  // Replaces the first match (every match with Global) by `replacement`, in which "$1".."$99"
  // stand for a group (empty when it did not take part), "$&" for the match, "$`" and "$'"
  // for the text before and after it, and "$$" for a dollar sign.
  std::string Replace(std::string_view subject, std::string_view replacement) const;

 private:
  class Compiled;
  const Compiled& Compile() const;

  std::string pattern_;
  bool ignore_case_ = false;
  bool global_ = false;
  bool multiline_ = false;
  mutable std::unique_ptr<Compiled> compiled_;
};

}  // namespace tabulo::platform
