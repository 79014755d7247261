// Finding a text in a whole result: every record of the record set, not only the rows in
// view, a slice of records at a time so that the display stays responsive and can show the
// progress and cancel. A cell matches when the text the grid shows for it (as the window
// fills it: a string without its outer blanks, another value in the user's locale, NULL as
// nothing) holds the searched text, letters compared without regard to case.
//
// The search starts at the cell after the given one (before it, backwards), runs in record
// order and then the fields' order, and wraps around the end of the result once, so that
// every cell is looked at exactly once and the starting cell last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/record_set.h"
#include "platform/text/locale.h"
#include "platform/values/variant.h"

namespace tabulo::container {

// A cell of a result: a 0-based record position and a field index of the record set.
struct ResultCell {
  int64_t record = 0;
  int32_t field = 0;
  bool operator==(const ResultCell&) const = default;
};

// The text a grid cell shows for a value.
std::string ShownText(const platform::Variant& value, const platform::Locale& loc);

// A text with its letters in lower case (ASCII and Latin-1 letters), for HoldsFolded.
std::string FoldCase(std::string_view text);
// Whether `text` holds `folded_needle` (already folded by FoldCase), letters compared without
// regard to case; `buffer` is scratch space kept between calls.
bool HoldsFolded(std::string_view text, std::string_view folded_needle, std::string& buffer);

class ResultFinder {
 public:
  // `fields`: the fields looked at, in the order the grid shows them (not empty); `from`: the
  // cell the search starts after (its field one of `fields`). REQUIRES: needle not empty.
  ResultFinder(host::RecordSet& rs, std::string_view needle, std::vector<int32_t> fields,
               ResultCell from, bool forward, const platform::Locale& loc);

  // Looks at up to `records` more records. The record set is left as positioned as it was
  // found in the ways the control tells apart (before the first record, after the last, or
  // on a record). True once the search has ended: found() then says where, or nothing.
  bool Step(int64_t records);

  bool done() const { return done_; }
  const std::optional<ResultCell>& found() const { return found_; }
  // Records looked at so far, and in all (the starting record counts twice: its cells on
  // either side of the start are looked at first and last).
  int64_t examined() const { return examined_; }
  int64_t total() const { return total_; }
  // Whether the match lies beyond the end of the result (before its start, backwards).
  bool wrapped() const { return wrapped_; }
  host::RecordSet* record_set() const { return rs_; }
  bool forward() const { return forward_; }
  const std::string& needle() const { return needle_; }

 private:
  bool Matches(const host::ScanRecord& record, int32_t field_slot);

  host::RecordSet* rs_;
  std::string needle_, folded_, buffer_;
  std::vector<int32_t> fields_;
  ResultCell from_;
  int32_t from_slot_ = 0;
  bool forward_;
  const platform::Locale* loc_;
  int64_t count_ = 0, total_ = 0, examined_ = 0;
  bool done_ = false, wrapped_ = false;
  bool numbers_may_match_ = true, dates_may_match_ = true;
  std::optional<ResultCell> found_;
};

}  // namespace tabulo::container
