#include "host/audit/audit_log_filter.h"

#include <cctype>

namespace tabulo::host {
namespace {

// Two digits at `at` holding a number from 0 to `max`.
bool TwoDigits(std::string_view text, size_t at, int min, int max) {
  if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
      !std::isdigit(static_cast<unsigned char>(text[at + 1])))
    return false;
  const int value = (text[at] - '0') * 10 + (text[at + 1] - '0');
  return value >= min && value <= max;
}

}  // namespace

std::optional<std::string> ParseAuditTime(std::string_view text) {
  if (text.ends_with('Z')) text.remove_suffix(1);
  // yyyy-mm-dd[Thh:mm[:ss[.fff]]]: the lengths a bound may have.
  if (text.size() != 10 && text.size() != 16 && text.size() != 19 && text.size() != 23)
    return std::nullopt;
  std::string out(text);
  for (size_t i = 0; i < 4; ++i)
    if (!std::isdigit(static_cast<unsigned char>(out[i]))) return std::nullopt;
  if (out[4] != '-' || out[7] != '-' || !TwoDigits(out, 5, 1, 12) || !TwoDigits(out, 8, 1, 31))
    return std::nullopt;
  if (out.size() == 10) return out;
  if (out[10] == ' ') out[10] = 'T';
  if (out[10] != 'T' || out[13] != ':' || !TwoDigits(out, 11, 0, 23) || !TwoDigits(out, 14, 0, 59))
    return std::nullopt;
  if (out.size() == 16) return out;
  if (out[16] != ':' || !TwoDigits(out, 17, 0, 59)) return std::nullopt;
  if (out.size() == 19) return out;
  if (out[19] != '.' || !TwoDigits(out, 20, 0, 99) ||
      !std::isdigit(static_cast<unsigned char>(out[22])))
    return std::nullopt;
  return out;
}

bool AuditFilter::Matches(const AuditRecord& r) const {
  if (!since.empty() && r.recorded_at < since) return false;
  if (!until.empty() && r.recorded_at.substr(0, until.size()) > until) return false;
  if (user.empty()) return true;
  const OperatorEvent& e = r.event;
  for (const std::string* name :
       {&r.operator_name, &r.signed_by1, &r.signed_by2, &e.signature1, &e.signature2})
    if (*name == user) return true;
  return false;
}

}  // namespace tabulo::host
