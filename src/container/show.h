// One showing of a control, as `tabulo show` does it: a new control in run mode on a
// database, its scroll bar moved, an operator's cell edits performed with the answers they
// are given, and what the display shows afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "container/cell_edit.h"
#include "container/property_setting.h"
#include "container/session.h"
#include "platform/runtime/headless_container.h"

namespace tabulo::container {

// The extent of a display that is shown as text: 10 to 1000 character cells of 120 twips
// across, 3 to 1000 grid rows of 240 twips down and the status bar below them. `show --size`
// and the script's `size` keep to it, so what is drawn stays bounded.
inline constexpr int32_t kCellTwips = 120, kRowTwips = 240, kStatusBarTwips = 315;
inline constexpr int32_t kMinShownColumns = 10, kMaxShownColumns = 1000;
inline constexpr int32_t kMinShownRows = 3, kMaxShownRows = 1000;
inline constexpr int32_t kMinShownWidth = kMinShownColumns * kCellTwips;
inline constexpr int32_t kMaxShownWidth = kMaxShownColumns * kCellTwips;
inline constexpr int32_t kMinShownHeight = kMinShownRows * kRowTwips + kStatusBarTwips;
inline constexpr int32_t kMaxShownHeight = kMaxShownRows * kRowTwips + kStatusBarTwips;

// An operator's answer to a question the edits raise.
struct OperatorAnswer {
  enum Kind { Yes, No, Sign, Cancel } kind = Yes;
  std::string user, password, reason;  // Sign only
};

struct ShowRequest {
  SessionOptions session;
  std::string db, sql;
  // The control's ServerType: 0 `db` is a data source name or an SQLite file; 1 `db` names
  // a PostgreSQL server (a configured connection or host[:port]) and `database` its database
  // ("" = the connection's default).
  int16_t server_type = 0;
  std::string database;
  std::string table;  // updated by the edits; empty: the table the statement reads
  int64_t at = -1;    // the scroll bar's value, unless negative
  std::vector<CellEdit> edits;
  // Answers stand for an operator asked to confirm (Yes/No) or to sign (Sign/Cancel);
  // without any, the control's own default (no question) holds.
  std::vector<OperatorAnswer> answers;
  bool log_event = false;  // operator events for the edits, to the audit database
  // Let on the control last, before run mode: they win over what the edits set.
  std::vector<PropertySetting> settings;
};

struct ShowResult {
  enum Outcome {
    Shown,
    NoTable,     // edits, but no table to update in the statement and none given
    LoadFailed,  // the control showed messages while loading: `messages` holds them
    NotBrowsed,  // the control browses only statements beginning with "SELECT "
  } outcome = Shown;
  std::vector<platform::MsgBoxRecord> messages;  // shown during the edits (or the load)
  size_t unused_answers = 0;
  // Per edit that did not reach the database, why ("--edit 0,1: the update was not
  // confirmed"); empty when every edit was written.
  std::vector<std::string> unwritten;
  std::string missing_database;  // LoadFailed: names the file the data source missed, if so
  // LoadFailed: the data server's own description of the refused query (the control's
  // message names only the kind of failure), e.g. an unusable folder for snapshots.
  std::string server_error;
  std::string rendering;  // the display's text, lines ending in LF
};

// Raises platform::ComError for a bad host configuration or locale and for an edit that
// cannot be made (cell_edit.h), SettingError for a setting the control refuses.
ShowResult Show(const ShowRequest& request);

}  // namespace tabulo::container
