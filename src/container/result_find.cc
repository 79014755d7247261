// Finding a text in a whole result (result_find.h).
#include "container/result_find.h"

#include <algorithm>
#include <cctype>

#include "host/scan_record.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::container {
namespace {

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

// Whether every character of a folded needle is among `allowed`; a needle that is not ASCII
// is let through (the locale's texts may hold such characters).
bool OnlyOf(std::string_view folded, std::string_view allowed) {
  return !IsAscii(folded) || std::all_of(folded.begin(), folded.end(), [&](char c) {
    return allowed.find(c) != std::string_view::npos ||
           (std::ispunct(static_cast<unsigned char>(c)) != 0);
  });
}

}  // namespace

std::string ShownText(const platform::Variant& value, const platform::Locale& loc) {
  if (value.IsNull() || value.IsEmpty()) return {};
  if (value.IsString()) return platform::Trim(value.AsString());
  if (value.IsArray()) {
    const int64_t bytes = value.AsArray().size();
    return "(binary, " + std::to_string(bytes) + (bytes == 1 ? " byte)" : " bytes)");
  }
  try {
    return platform::CStr(value, loc);
  } catch (const platform::ComError&) {
    return "(no text form)";
  }
}

std::string FoldCase(std::string_view text) {
  if (!IsAscii(text)) return platform::LCase(text);
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool HoldsFolded(std::string_view text, std::string_view folded_needle, std::string& buffer) {
  if (text.size() < folded_needle.size()) return false;
  if (IsAscii(text)) {
    // Compared in place: most cells are ASCII, and most hold no match.
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return std::search(text.begin(), text.end(), folded_needle.begin(), folded_needle.end(),
                       [&](char a, char b) { return lower(a) == b; }) != text.end();
  }
  buffer = platform::LCase(text);
  return buffer.find(folded_needle) != std::string::npos;
}

ResultFinder::ResultFinder(host::RecordSet& rs, std::string_view needle,
                           std::vector<int32_t> fields, ResultCell from, bool forward,
                           const platform::Locale& loc)
    : rs_(&rs),
      needle_(needle),
      folded_(FoldCase(needle)),
      fields_(std::move(fields)),
      from_(from),
      forward_(forward),
      loc_(&loc) {
  count_ = rs.State() == 1 ? rs.RecordCount() : 0;
  const auto at = std::find(fields_.begin(), fields_.end(), from.field);
  from_slot_ = at == fields_.end() ? 0 : static_cast<int32_t>(at - fields_.begin());
  from_.record = std::clamp<int64_t>(from.record, 0, std::max<int64_t>(count_ - 1, 0));
  // A number's text holds digits, signs, separators and an exponent's "E"; a date's also its
  // separators and AM/PM. A needle with other letters cannot be in them, and their text (the
  // costly part of a search) need not be made.
  numbers_may_match_ = OnlyOf(folded_, "0123456789e ");
  dates_may_match_ = OnlyOf(folded_, "0123456789apm ");
  total_ = count_ == 0 || fields_.empty() ? 0 : count_ + 1;
  // A field the record set does not have is refused as reading it would be.
  if (total_ > 0)
    for (int32_t field : fields_) rs.Item(field);
  done_ = total_ == 0;
}

bool ResultFinder::Matches(const host::ScanRecord& record, int32_t slot) {
  const int32_t field = fields_[static_cast<size_t>(slot)];
  switch (record.Kind(field)) {
    case host::ScanRecord::Cell::Null:
      return false;
    case host::ScanRecord::Cell::String: {
      // The grid drops only the outer blanks, which cannot make a match of a text without them.
      const std::string_view text = record.Text(field);
      return HoldsFolded(text, folded_, buffer_) &&
             HoldsFolded(platform::Trim(text), folded_, buffer_);
    }
    case host::ScanRecord::Cell::Number:
      return numbers_may_match_ &&
             HoldsFolded(ShownText(record.Value(field), *loc_), folded_, buffer_);
    case host::ScanRecord::Cell::DateOrString:
      // A date's text cannot hold such a needle, and the string is these characters.
      if (!dates_may_match_ && !HoldsFolded(record.Text(field), folded_, buffer_)) return false;
      break;
    case host::ScanRecord::Cell::Other:
      break;
  }
  const platform::Variant value = record.Value(field);
  if (value.IsString()) {
    return HoldsFolded(value.AsString(), folded_, buffer_) &&
           HoldsFolded(ShownText(value, *loc_), folded_, buffer_);
  }
  if (value.IsNull() || value.IsEmpty()) return false;
  if (value.IsNumberType() && !numbers_may_match_) return false;
  if (value.type() == platform::VarType::Date && !dates_may_match_) return false;
  return HoldsFolded(ShownText(value, *loc_), folded_, buffer_);
}

bool ResultFinder::Step(int64_t records) {
  if (done_) return true;
  host::RecordSet& rs = *rs_;
  const bool was_eof = rs.Eof(), was_bof = rs.Bof();
  const int32_t slots = static_cast<int32_t>(fields_.size());
  const int64_t end = std::min(total_, examined_ + records);
  // The records come in runs that end at the end of the result (its start, backwards), where
  // the search wraps around.
  const auto visit = [&](int64_t record, const host::ScanRecord& cells) {
    const int64_t k = examined_++;
    // The starting record is split: the cells after the start first, those up to it last.
    int32_t first = 0, last = slots - 1;
    if (k == 0) (forward_ ? first = from_slot_ + 1 : last = from_slot_ - 1);
    if (k == count_) (forward_ ? last = from_slot_ : first = from_slot_);
    for (int32_t i = 0; i <= last - first; ++i) {
      const int32_t slot = forward_ ? first + i : last - i;
      if (Matches(cells, slot)) {
        found_ = ResultCell{record, fields_[static_cast<size_t>(slot)]};
        wrapped_ = forward_ ? from_.record + k >= count_ : from_.record - k < 0;
        return false;
      }
    }
    return true;
  };
  while (examined_ < end && !found_) {
    const int64_t raw = forward_ ? from_.record + examined_ : from_.record - examined_;
    const int64_t record = ((raw % count_) + count_) % count_;
    const int64_t run = std::min(end - examined_, forward_ ? count_ - record : record + 1);
    // A record set that hands nothing over has nothing more to search.
    if (rs.Scan(record, run, forward_, visit) == 0) examined_ = total_;
  }
  if (found_ || examined_ >= total_) done_ = true;
  // The control tells only "before the first", "after the last" and "on a record" apart.
  if (was_eof) {
    rs.MoveFirst();
    rs.Move(count_);
  } else if (was_bof) {
    rs.MoveFirst();
    rs.MovePrevious();
  } else if (rs.Eof()) {
    rs.MovePrevious();
  } else if (rs.Bof()) {
    rs.MoveNext();
  }
  return done_;
}

}  // namespace tabulo::container
