// StdFont in a property bag: the font's eight attributes as a nested bag.
#include "platform/storage/property_bag_font.h"

#include <cmath>
#include <optional>

#include "platform/values/com_error.h"

namespace tabulo::platform {
namespace {

ComError WrongType(std::string_view key, const Variant& v) {
  return ComError(kErrTypeMismatch, "Type mismatch (font " + std::string(key) + " cannot be " +
                                        std::string(TypeName(v.type())) + ")");
}

std::optional<double> Number(const Variant& v) {
  switch (v.type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return static_cast<double>(v.AsLong());
    case VarType::Single:
    case VarType::Double:
      return v.AsDouble();
    case VarType::Currency:
      return static_cast<double>(v.AsCurrencyScaled()) / 10'000.0;
    default:
      return std::nullopt;
  }
}

double ReadNumber(const PropertyBag& bag, std::string_view key, double fallback) {
  if (!bag.Contains(key)) return fallback;
  Variant v = bag.ReadProperty(key);
  std::optional<double> n = Number(v);
  if (!n) throw WrongType(key, v);
  return *n;
}

int32_t ReadWhole(const PropertyBag& bag, std::string_view key, int32_t fallback) {
  double n = ReadNumber(bag, key, fallback);
  if (n != std::floor(n) || n < INT32_MIN || n > INT32_MAX)
    throw ComError(kErrInvalidPropertyValue,
                   "Invalid property value (font " + std::string(key) + " must be a whole number)");
  return static_cast<int32_t>(n);
}

bool ReadFlag(const PropertyBag& bag, std::string_view key, bool fallback) {
  if (!bag.Contains(key)) return fallback;
  Variant v = bag.ReadProperty(key);
  if (v.type() == VarType::Boolean) return v.AsBoolean();
  std::optional<double> n = Number(v);
  if (!n) throw WrongType(key, v);
  return *n != 0;
}

// Runs one setter; the font's own 380 gets the key in its description.
template <typename Apply>
void Set(std::string_view key, Apply apply) {
  try {
    apply();
  } catch (const ComError& e) {
    throw ComError(e.number(), e.description() + " (font " + std::string(key) + ")", e.source());
  }
}

}  // namespace

void SaveStdFont(const StdFont& font, PropertyBag& bag) {
  bag.Store("Name", Variant(font.name()));
  bag.Store("Size", Variant(font.size()));
  bag.Store("Bold", Variant(font.bold()));
  bag.Store("Italic", Variant(font.italic()));
  bag.Store("Underline", Variant(font.underline()));
  bag.Store("Strikethrough", Variant(font.strikethrough()));
  bag.Store("Weight", Variant(font.weight()));
  bag.Store("Charset", Variant(font.charset()));
}

std::shared_ptr<StdFont> LoadStdFont(const PropertyBag& bag) {
  auto font = StdFont::Create();
  if (bag.Contains("Name")) {
    Variant v = bag.ReadProperty("Name");
    if (!v.IsString()) throw WrongType("Name", v);
    Set("Name", [&] { font->SetName(v.AsString()); });
  }
  double size = ReadNumber(bag, "Size", font->size());
  Set("Size", [&] { font->SetSize(size); });
  int32_t weight = ReadWhole(bag, "Weight", font->weight());
  Set("Weight", [&] { font->SetWeight(weight); });
  bool bold = ReadFlag(bag, "Bold", font->bold());
  if (bold != font->bold()) font->SetBold(bold);
  font->SetItalic(ReadFlag(bag, "Italic", false));
  font->SetUnderline(ReadFlag(bag, "Underline", false));
  font->SetStrikethrough(ReadFlag(bag, "Strikethrough", false));
  int32_t charset = ReadWhole(bag, "Charset", font->charset());
  Set("Charset", [&] { font->SetCharset(charset); });
  return font;
}

}  // namespace tabulo::platform
