// The file-backed resource store: parsing, lookup and its automation member.
#include "host/resource_store.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "localization/localized_string.h"
#include "localization/string_table.h"
#include "platform/automation/class_registry.h"
#include "platform/text/ui_language.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

constexpr platform::DispId kDispGetModuleString = 1;
constexpr std::string_view kSource = "ZRResources";

std::string FoldAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one (overlong forms,
// surrogates and code points past U+10FFFF included).
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t len;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return len;
}

class LineError {
 public:
  LineError(std::string_view name, size_t line) : name_(name), line_(line) {}
  [[noreturn]] void Raise(const std::string& what) const {
    throw platform::ComError(kErrResourceFileFormat,
                             std::string(name_) + ", line " + std::to_string(line_) + ": " + what,
                             std::string(kSource));
  }

 private:
  std::string_view name_;
  size_t line_;
};

std::vector<std::string_view> SplitBlanks(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

int32_t ParseNumber(std::string_view token, const char* what, const LineError& err) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec != std::errc() || end != token.data() + token.size()) {
    err.Raise(std::string(what) + " is not a 32-bit decimal number: \"" + std::string(token) +
              "\"");
  }
  return value;
}

std::string Unescape(std::string_view text, const LineError& err) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 == text.size()) err.Raise("unterminated escape \"\\\" at the end of the line");
    char next = text[++i];
    switch (next) {
      case 'n':
      case 'N':
      case 't':
      case 'T':
        out += '\\';  // kept for the lookup's formatting step
        out += next;
        break;
      case '\\':
        out += '\\';
        break;
      case 's':
        out += ' ';
        break;
      default:
        err.Raise(std::string("unknown escape \"\\") + next + "\"");
    }
  }
  return out;
}

int32_t ArgumentLong(const platform::Variant& v) {
  switch (v.type()) {
    case platform::VarType::Integer:
    case platform::VarType::Long:
    case platform::VarType::Byte:
      return v.AsLong();
    default:
      throw platform::ComError::TypeMismatch(std::string(kSource));
  }
}

}  // namespace

std::shared_ptr<ResourceStore> ResourceStore::Load(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(st)) {
    throw platform::ComError(kErrResourceFileNotFound, "File not found: " + path,
                             std::string(kSource));
  }
  if (!std::filesystem::is_regular_file(st)) {
    throw platform::ComError(kErrResourceFileAccess,
                             "Path/File access error: " + path + " is not a file",
                             std::string(kSource));
  }
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > static_cast<uintmax_t>(kMaxResourceFileBytes)) {
    throw platform::ComError(
        kErrResourceFileAccess,
        "Path/File access error: " + path + (ec ? " cannot be read" : " is larger than 16 MiB"),
        std::string(kSource));
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in || in.bad()) {
    throw platform::ComError(kErrResourceFileAccess,
                             "Path/File access error: " + path + " cannot be read",
                             std::string(kSource));
  }
  return Parse(content.str(), path);
}

std::shared_ptr<ResourceStore> ResourceStore::Parse(std::string_view content,
                                                    std::string_view name) {
  auto store = std::make_shared<ResourceStore>();
  if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  std::map<Key, size_t> first_line;
  size_t line_no = 0;
  while (!content.empty() || line_no == 0) {
    ++line_no;
    size_t nl = content.find('\n');
    std::string_view line = content.substr(0, nl);
    content.remove_prefix(nl == std::string_view::npos ? content.size() : nl + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    LineError err(name, line_no);

    for (size_t i = 0; i < line.size();) {
      size_t len = Utf8SequenceLength(line, i);
      if (len == 0) err.Raise("invalid UTF-8 byte at column " + std::to_string(i + 1));
      i += len;
    }
    std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;

    size_t eq = line.find('=');
    if (eq == std::string_view::npos) err.Raise("expected \"=\"");
    std::vector<std::string_view> head = SplitBlanks(line.substr(0, eq));
    if (head.size() != 3) err.Raise("expected <module> <id> <language> before \"=\"");
    int32_t id = ParseNumber(head[1], "the id", err);
    int32_t language = ParseNumber(head[2], "the language", err);
    if (language < 0) err.Raise("the language must not be negative");
    std::string text = Unescape(TrimBlanks(line.substr(eq + 1)), err);

    Key key{FoldAscii(head[0]), id, language};
    auto [it, inserted] = first_line.emplace(key, line_no);
    if (!inserted) {
      err.Raise("duplicate entry for " + std::string(head[0]) + " " + std::to_string(id) + " " +
                std::to_string(language) + " (first on line " + std::to_string(it->second) + ")");
    }
    store->texts_.emplace(std::move(key), std::move(text));
  }
  return store;
}

std::string ResourceStore::Find(std::string_view module, int32_t id, int32_t language) const {
  if (language == 0) {
    language = localization::TableLanguage(platform::UserInterfaceLanguage());
  }
  const std::string folded = FoldAscii(module);
  for (int32_t lang : {language, 0, localization::kLanguageEnglish}) {
    auto it = texts_.find(Key{folded, id, lang});
    if (it != texts_.end()) return it->second;
  }
  return {};
}

platform::DispId ResourceStore::GetIdOfName(std::string_view name) const {
  if (FoldAscii(name) == "GETMODULESTRING") return kDispGetModuleString;
  throw platform::ComError::NotSupported(std::string(kSource));
}

platform::Variant ResourceStore::Invoke(platform::DispId id, platform::InvokeKind kind,
                                        std::vector<platform::Variant>& args) {
  if (id != kDispGetModuleString) throw platform::ComError::NotSupported(std::string(kSource));
  if (kind != platform::InvokeKind::Method && kind != platform::InvokeKind::PropertyGet) {
    throw platform::ComError::WrongArguments(std::string(kSource));
  }
  if (args.size() != 4) throw platform::ComError::WrongArguments(std::string(kSource));
  if (!args[0].IsString()) throw platform::ComError::TypeMismatch(std::string(kSource));
  const int32_t string_id = ArgumentLong(args[1]);
  const int32_t language = ArgumentLong(args[2]);
  std::string text = Find(args[0].AsString(), string_id, language);
  if (text.empty() && defer_unknown_) {
    throw platform::ComError(kErrResourceUnknownId,
                             "No text for " + std::to_string(string_id) + " in the resource file",
                             std::string(kSource));
  }
  args[3] = platform::Variant(std::move(text));
  return {};
}

void RegisterResourceStore(std::string path, bool defer_unknown) {
  platform::RegisterClass(
      std::string(localization::kResourceStoreProgId),
      [path = std::move(path), defer_unknown]() -> std::shared_ptr<platform::Dispatch> {
        std::shared_ptr<ResourceStore> store = ResourceStore::Load(path);
        store->set_defer_unknown(defer_unknown);
        return store;
      });
}

}  // namespace tabulo::host
