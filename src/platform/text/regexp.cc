// RegExp on PCRE2 (8-bit, UTF mode): compilation with ECMAScript-like options, the match
// loop with limits, and the conversion of byte offsets to code points.
#include "platform/text/regexp.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <climits>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

// Generous for real statements (a 1 MB statement needs a few million steps at most) but
// small enough that catastrophic backtracking gives up within about a second.
constexpr uint32_t kMatchLimit = 100'000'000;
constexpr uint32_t kDepthLimit = 250'000;
constexpr uint32_t kHeapLimitKiB = 128 * 1024;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 16 * 1024 * 1024;

std::string Pcre2Message(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "PCRE2 error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Code points in s[from, to); the subject has been validated as UTF-8.
int32_t CountCodePoints(std::string_view s, size_t from, size_t to) {
  int32_t n = 0;
  for (size_t i = from; i < to; ++i)
    if (!IsContinuationByte(s[i])) ++n;
  return n;
}

size_t CodePointSize(std::string_view s, size_t at) {
  size_t i = at + 1;
  while (i < s.size() && IsContinuationByte(s[i])) ++i;
  return i - at;
}

bool IsLimitError(int rc) {
  return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
         rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT ||
         rc == PCRE2_ERROR_NOMEMORY;
}

bool IsUtfError(int rc) {
  return rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21;
}

}  // namespace

class RegExp::Compiled {
 public:
  Compiled(const std::string& pattern, bool ignore_case, bool multiline) {
    pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
    if (cctx == nullptr) throw ComError::OutOfMemory("RegExp");
    // "." must stop at a line feed only, and "$" must not see a CR LF as one line end.
    pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);
    pcre2_set_compile_extra_options(cctx, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
    // No PCRE2_UCP: "\w", "\d" and "\s" stay ASCII as in the scripting library. \C is
    // refused because it could split a code point and break the offset arithmetic.
    uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                       PCRE2_MATCH_UNSET_BACKREF | PCRE2_NEVER_BACKSLASH_C;
    if (ignore_case) options |= PCRE2_CASELESS;
    options |= multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
    int error_code = 0;
    PCRE2_SIZE error_offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                          &error_code, &error_offset, cctx);
    pcre2_compile_context_free(cctx);
    if (code_ == nullptr) {
      throw ComError(kErrRegExpSyntax,
                     "Syntax error in regular expression: " + Pcre2Message(error_code) +
                         " at offset " + std::to_string(error_offset),
                     "RegExp");
    }
    pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &capture_count_);

    mctx_ = pcre2_match_context_create(nullptr);
    if (mctx_ == nullptr) {
      pcre2_code_free(code_);
      throw ComError::OutOfMemory("RegExp");
    }
    pcre2_set_match_limit(mctx_, kMatchLimit);
    pcre2_set_depth_limit(mctx_, kDepthLimit);
    pcre2_set_heap_limit(mctx_, kHeapLimitKiB);

    uint32_t jit_available = 0;
    pcre2_config(PCRE2_CONFIG_JIT, &jit_available);
    // Without the JIT (or if it refuses the pattern) the interpreter runs the same pattern.
    if (jit_available != 0 && pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0) {
      jit_stack_ = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
      if (jit_stack_ != nullptr) pcre2_jit_stack_assign(mctx_, nullptr, jit_stack_);
    }
  }

  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;

  ~Compiled() {
    if (jit_stack_ != nullptr) pcre2_jit_stack_free(jit_stack_);
    pcre2_match_context_free(mctx_);
    pcre2_code_free(code_);
  }

  uint32_t capture_count() const { return capture_count_; }

  // Calls on_match(ovector) for the first match, or for every match when `global`; the
  // ovector holds byte offsets, PCRE2_UNSET for a group that did not take part.
  template <typename OnMatch>
  void ForEachMatch(std::string_view subject, bool global, OnMatch on_match) const {
    if (subject.size() > static_cast<size_t>(INT32_MAX))
      throw ComError(kErrInvalidProcedureCall,
                     "Invalid procedure call or argument: the text is too long", "RegExp");
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code_, nullptr);
    if (md == nullptr) throw ComError::OutOfMemory("RegExp");
    struct Free {
      pcre2_match_data* md;
      ~Free() { pcre2_match_data_free(md); }
    } free_md{md};

    auto data = reinterpret_cast<PCRE2_SPTR>(subject.data());
    // The subject is checked once, on the first call; later calls start on code points.
    uint32_t options = 0;
    size_t start = 0;
    while (start <= subject.size()) {
      int rc = pcre2_match(code_, data, subject.size(), start, options, md, mctx_);
      options = PCRE2_NO_UTF_CHECK;
      if (rc == PCRE2_ERROR_NOMATCH) return;
      if (rc < 0) ThrowMatchError(rc, md);
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      // \K inside a lookahead could report an end before the start; refuse it.
      if (ov[0] > ov[1])
        throw ComError(kErrRegExpSyntax,
                       "Syntax error in regular expression: \\K may not move the match start "
                       "past its end",
                       "RegExp");
      on_match(ov);
      if (!global) return;
      if (ov[1] > ov[0]) {
        start = ov[1];
      } else {
        if (ov[1] >= subject.size()) return;
        start = ov[1] + CodePointSize(subject, ov[1]);
      }
    }
  }

 private:
  [[noreturn]] static void ThrowMatchError(int rc, pcre2_match_data* md) {
    if (IsLimitError(rc))
      throw ComError(kErrRegExpMatchLimit,
                     "Regular expression match limit exceeded (" + Pcre2Message(rc) + ")",
                     "RegExp");
    if (IsUtfError(rc))
      throw ComError(kErrInvalidProcedureCall,
                     "Invalid procedure call or argument: the text is not valid UTF-8 at byte " +
                         std::to_string(pcre2_get_startchar(md)) + " (" + Pcre2Message(rc) + ")",
                     "RegExp");
    throw ComError(kErrInvalidProcedureCall,
                   "Invalid procedure call or argument: " + Pcre2Message(rc), "RegExp");
  }

  pcre2_code* code_ = nullptr;
  pcre2_match_context* mctx_ = nullptr;
  pcre2_jit_stack* jit_stack_ = nullptr;
  uint32_t capture_count_ = 0;
};

const std::optional<std::string>& SubMatches::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw ComError::InvalidProcedureCall("SubMatches");
  return items_[static_cast<size_t>(index)];
}

Variant SubMatches::AsVariant(int32_t index) const {
  const std::optional<std::string>& item = Item(index);
  return item ? Variant(*item) : Variant();
}

const Match& MatchCollection::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw ComError::InvalidProcedureCall("MatchCollection");
  return items_[static_cast<size_t>(index)];
}

RegExp::RegExp() = default;

RegExp::RegExp(const RegExp& other)
    : pattern_(other.pattern_),
      ignore_case_(other.ignore_case_),
      global_(other.global_),
      multiline_(other.multiline_) {}

RegExp& RegExp::operator=(const RegExp& other) {
  if (this != &other) {
    pattern_ = other.pattern_;
    ignore_case_ = other.ignore_case_;
    global_ = other.global_;
    multiline_ = other.multiline_;
    compiled_.reset();
  }
  return *this;
}

RegExp::~RegExp() = default;

void RegExp::SetPattern(std::string pattern) {
  if (pattern != pattern_) compiled_.reset();
  pattern_ = std::move(pattern);
}

void RegExp::SetIgnoreCase(bool value) {
  if (value != ignore_case_) compiled_.reset();
  ignore_case_ = value;
}

void RegExp::SetMultiline(bool value) {
  if (value != multiline_) compiled_.reset();
  multiline_ = value;
}

const RegExp::Compiled& RegExp::Compile() const {
  if (!compiled_) compiled_ = std::make_unique<Compiled>(pattern_, ignore_case_, multiline_);
  return *compiled_;
}

MatchCollection RegExp::Execute(std::string_view subject) const {
  const Compiled& compiled = Compile();
  std::vector<Match> matches;
  // Matches come in increasing order, so code points are counted once, incrementally.
  size_t counted_bytes = 0;
  int32_t counted_points = 0;
  compiled.ForEachMatch(subject, global_, [&](const PCRE2_SIZE* ov) {
    counted_points += CountCodePoints(subject, counted_bytes, ov[0]);
    int32_t length = CountCodePoints(subject, ov[0], ov[1]);
    int32_t first_index = counted_points;
    counted_bytes = ov[1];
    counted_points += length;
    std::vector<std::optional<std::string>> groups;
    groups.reserve(compiled.capture_count());
    for (uint32_t g = 1; g <= compiled.capture_count(); ++g) {
      PCRE2_SIZE from = ov[2 * g];
      PCRE2_SIZE to = ov[2 * g + 1];
      if (from == PCRE2_UNSET || from > to)
        groups.emplace_back(std::nullopt);
      else
        groups.emplace_back(std::string(subject.substr(from, to - from)));
    }
    matches.emplace_back(std::string(subject.substr(ov[0], ov[1] - ov[0])), first_index, length,
                         platform::SubMatches(std::move(groups)));
  });
  return MatchCollection(std::move(matches));
}

bool RegExp::Test(std::string_view subject) const {
  bool found = false;
  Compile().ForEachMatch(subject, false, [&](const PCRE2_SIZE*) { found = true; });
  return found;
}

namespace {

// Appends the replacement for one match, expanding $-sequences the way the scripting
// library does: "$nn" takes two digits when that group exists, else one digit.
void AppendReplacement(std::string& out, std::string_view subject, std::string_view replacement,
                       const PCRE2_SIZE* ov, uint32_t capture_count) {
  auto group = [&](uint32_t g) -> std::string_view {
    if (ov[2 * g] == PCRE2_UNSET || ov[2 * g] > ov[2 * g + 1]) return {};
    return subject.substr(ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
  };
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  for (size_t i = 0; i < replacement.size(); ++i) {
    char c = replacement[i];
    if (c != '$' || i + 1 >= replacement.size()) {
      out += c;
      continue;
    }
    char next = replacement[i + 1];
    if (next == '$') {
      out += '$';
      ++i;
    } else if (next == '&') {
      out += group(0);
      ++i;
    } else if (next == '`') {
      out += subject.substr(0, ov[0]);
      ++i;
    } else if (next == '\'') {
      out += subject.substr(ov[1]);
      ++i;
    } else if (is_digit(next)) {
      uint32_t one = static_cast<uint32_t>(next - '0');
      if (i + 2 < replacement.size() && is_digit(replacement[i + 2])) {
        uint32_t two = one * 10 + static_cast<uint32_t>(replacement[i + 2] - '0');
        if (two >= 1 && two <= capture_count) {
          out += group(two);
          i += 2;
          continue;
        }
      }
      if (one >= 1 && one <= capture_count) {
        out += group(one);
        ++i;
      } else {
        out += c;  // no such group: the text stays as written
      }
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string RegExp::Replace(std::string_view subject, std::string_view replacement) const {
  const Compiled& compiled = Compile();
  std::string out;
  size_t copied = 0;
  compiled.ForEachMatch(subject, global_, [&](const PCRE2_SIZE* ov) {
    out.append(subject.substr(copied, ov[0] - copied));
    AppendReplacement(out, subject, replacement, ov, compiled.capture_count());
    copied = ov[1];
  });
  out.append(subject.substr(copied));
  return out;
}

}  // namespace tabulo::platform
