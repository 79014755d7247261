// The formatting step on texts: markers and escapes.
#include "localization/format.h"

#include <string>

#include "localization/case_fold.h"
#include "platform/values/com_error.h"

namespace tabulo::localization {
namespace {

constexpr std::string_view kMarker = "%s";

void CheckLength(size_t bytes) {
  if (bytes > kMaxFormattedBytes) throw platform::ComError::OutOfMemory("Localization");
}

// Replaces text[pos, pos + len) by `with`, keeping the folded copy in step.
void Splice(std::string& text, std::string& folded, size_t pos, size_t len, std::string_view with) {
  CheckLength(text.size() - len + with.size());
  text.replace(pos, len, with);
  folded.replace(pos, len, FoldCase(with));
}

}  // namespace

std::string ReplaceAllText(std::string_view text, std::string_view find, std::string_view with) {
  std::string out(text);
  if (find.empty()) return out;
  const std::string find_folded = FoldCase(find);
  if (FoldCase(with).find(find_folded) != std::string::npos) {
    throw platform::ComError(platform::kErrInvalidProcedureCall,
                             "Invalid procedure call or argument: the replacement holds the "
                             "text it replaces",
                             "Localization");
  }
  std::string folded = FoldCase(out);
  size_t from = 0;
  for (size_t count = 0;; ++count) {
    size_t pos = folded.find(find_folded, from);
    if (pos == std::string::npos) break;
    if (count == kMaxReplacements) throw platform::ComError::OutOfMemory("Localization");
    Splice(out, folded, pos, find.size(), with);
    // The text before pos held no match, so a new one can start at most find.size() - 1
    // bytes before the replacement.
    from = pos >= find.size() - 1 ? pos - (find.size() - 1) : 0;
  }
  return out;
}

std::string FillNumberedMarkers(std::string_view text, const std::vector<std::string>& values) {
  std::string out(text);
  std::string folded = FoldCase(out);
  for (size_t i = 1; i <= values.size(); ++i) {
    const std::string marker =
        std::string("%S").append(std::to_string(i));  // folded form of "%s" + i
    size_t pos = folded.find(marker);
    if (pos != std::string::npos) Splice(out, folded, pos, marker.size(), values[i - 1]);
  }
  return out;
}

std::string FillSequentialMarkers(std::string_view text, const std::vector<std::string>& values) {
  std::string out(text);
  std::string folded = FoldCase(out);
  size_t k = 0;
  size_t from = 0;
  for (;;) {
    size_t pos = folded.find("%S", from);
    if (pos == std::string::npos) break;
    std::string_view with = k < values.size() ? std::string_view(values[k]) : std::string_view();
    ++k;
    Splice(out, folded, pos, kMarker.size(), with);
    // A "%" just before the replacement may now pair with an "s" after it.
    from = pos > 0 ? pos - 1 : 0;
  }
  return out;
}

std::string FormatLocalizedText(std::string_view text, const std::vector<std::string>& values) {
  std::string out = FillNumberedMarkers(text, values);
  out = ReplaceAllText(out, "\\n", "\r\n");
  out = ReplaceAllText(out, "\\t", "\t");
  return FillSequentialMarkers(out, values);
}

}  // namespace tabulo::localization
