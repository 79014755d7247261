// The resource store: localized texts read from a UTF-8 text file, consulted by every
// lookup before the built-in table. It is an automation object with one member,
// GetModuleString(module, id, language, out), all arguments by reference: `out` receives
// the text, or the empty text when the store does not know the id.
//
// File format, one text a line:
//
//   # Texts of the eSignature page
//   Tabulo 1210 1033 = Signature required
//   Tabulo 1210 1031 = Unterschrift erforderlich
//   VELTRA 1094 0    = The data source name must be entered.\nPlease try again.
//
// - <module> <id> <language> = <text>. The module is a name without blanks, compared
//   without regard to case; id and language are decimal 32-bit numbers; language 0 means
//   "any language".
// - The text is what follows "=", without the blanks and tabs at either end. "\n" and "\t"
//   stay as the two characters (the lookup's formatting turns them into a line break and a
//   tab), and so do "\N" and "\T"; "\\" is one backslash; "\s" is one blank, for blanks that must
//   stay at either end. Any other backslash is an error.
// - Blank lines and lines whose first non-blank character is "#" are ignored; a line may
//   end in CR LF; a UTF-8 byte-order mark at the start is skipped.
// - A module, id and language may appear once.
//
// Which text a call gets: the entry in the asked language, else the entry for language 0,
// else the English (1033) entry, else the empty text. Language 0 in a call (the property
// pages and dialogs ask so) stands for the user-interface language, mapped as the built-in
// table maps it (1031, 1033, 1036; English for any other).
//
// A store made to defer (set_defer_unknown) raises kErrResourceUnknownId from
// GetModuleString for an id it holds no text of, which sends the lookup to the built-in
// table: it then adds texts without changing any other.
//
// Loading errors raise ComError: kErrResourceFileNotFound (53) for a missing file,
// kErrResourceFileAccess (75) for one that cannot be read, kErrResourceFileFormat (31037)
// for malformed content, the description naming the file and the line ("res.txt, line 4:
// expected \"=\"").
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/automation/dispatch.h"

namespace tabulo::host {

inline constexpr int32_t kErrResourceFileNotFound = 53;
inline constexpr int32_t kErrResourceFileAccess = 75;
inline constexpr int32_t kErrResourceFileFormat = 31037;
inline constexpr int32_t kErrResourceUnknownId = 31038;
// Larger files are refused (kErrResourceFileAccess) rather than read into memory.
inline constexpr int64_t kMaxResourceFileBytes = 16 * 1024 * 1024;

class ResourceStore : public platform::Dispatch {
 public:
  // Reads the file at `path`.
  static std::shared_ptr<ResourceStore> Load(const std::string& path);
  // Parses `content`; `name` is the file name used in error descriptions.
  static std::shared_ptr<ResourceStore> Parse(std::string_view content, std::string_view name);

  // The text GetModuleString answers (see above); empty when unknown.
  std::string Find(std::string_view module, int32_t id, int32_t language) const;
  size_t size() const { return texts_.size(); }
  void set_defer_unknown(bool v) { defer_unknown_ = v; }

  std::string ClassName() const override { return "ZRResources"; }
  platform::DispId GetIdOfName(std::string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::vector<platform::Variant>& args) override;

 private:
  using Key = std::tuple<std::string, int32_t, int32_t>;  // folded module, id, language
  std::map<Key, std::string> texts_;
  bool defer_unknown_ = false;
};

// Registers the store's class under the resource store's program identifier, so that the
// lookup creates it from the file at `path`. The file is read when the object is created;
// a loading error is raised by the creation then (and the lookup uses its built-in table).
// `defer_unknown` makes the store defer unknown ids to the built-in table.
void RegisterResourceStore(std::string path, bool defer_unknown = false);

}  // namespace tabulo::host
