#include "platform/widgets/std_font.h"

#include <cmath>

namespace tabulo::platform {
namespace {

constexpr double kMaxPoints = 16383.0;

}  // namespace

StdFont::StdFont() : DispatchObject("StdFont") {
  DeclareProperty(
      "Name", kDispIdFontName, [this] { return Variant(name_); },
      [this](const Variant& v) { SetName(ArgString({v}, 0)); });
  DeclareProperty(
      "Size", kDispIdFontSize, [this] { return Variant(size()); },
      [this](const Variant& v) { SetSize(ArgDouble({v}, 0)); });
  DeclareProperty(
      "Bold", kDispIdFontBold, [this] { return Variant(bold()); },
      [this](const Variant& v) { SetBold(ArgBool({v}, 0)); });
  DeclareProperty(
      "Italic", kDispIdFontItalic, [this] { return Variant(italic_); },
      [this](const Variant& v) { SetItalic(ArgBool({v}, 0)); });
  DeclareProperty(
      "Underline", kDispIdFontUnderline, [this] { return Variant(underline_); },
      [this](const Variant& v) { SetUnderline(ArgBool({v}, 0)); });
  DeclareProperty(
      "Strikethrough", kDispIdFontStrikethrough, [this] { return Variant(strikethrough_); },
      [this](const Variant& v) { SetStrikethrough(ArgBool({v}, 0)); });
  DeclareProperty(
      "Weight", kDispIdFontWeight, [this] { return Variant(weight_); },
      [this](const Variant& v) { SetWeight(ArgLong({v}, 0)); });
  DeclareProperty(
      "Charset", kDispIdFontCharset, [this] { return Variant(charset_); },
      [this](const Variant& v) { SetCharset(ArgLong({v}, 0)); });
  DeclareEvent("FontChanged", kDispIdFontChanged, 1);
}

std::shared_ptr<StdFont> StdFont::Clone() const {
  auto copy = std::make_shared<StdFont>();
  copy->name_ = name_;
  copy->size_scaled_ = size_scaled_;
  copy->weight_ = weight_;
  copy->charset_ = charset_;
  copy->italic_ = italic_;
  copy->underline_ = underline_;
  copy->strikethrough_ = strikethrough_;
  copy->SetCoercionLocale(coercion_locale());
  return copy;
}

void StdFont::Changed(const char* property) {
  std::vector<Variant> args{Variant(property)};
  Fire(kDispIdFontChanged, args);
}

void StdFont::SetName(std::string name) {
  if (name.empty()) throw ComError::InvalidPropertyValue(ClassName());
  name_ = std::move(name);
  Changed("Name");
}

void StdFont::SetSize(double points) {
  if (!(points > 0.0) || points > kMaxPoints) throw ComError::InvalidPropertyValue(ClassName());
  // Currency keeps 4 decimals; the default rounding mode rounds halves to even.
  auto scaled = static_cast<int64_t>(std::nearbyint(points * 10000.0));
  if (scaled == 0) throw ComError::InvalidPropertyValue(ClassName());
  size_scaled_ = scaled;
  Changed("Size");
}

void StdFont::SetBold(bool bold) {
  weight_ = bold ? kWeightBold : kWeightNormal;
  Changed("Bold");
}

void StdFont::SetItalic(bool italic) {
  italic_ = italic;
  Changed("Italic");
}

void StdFont::SetUnderline(bool underline) {
  underline_ = underline;
  Changed("Underline");
}

void StdFont::SetStrikethrough(bool strikethrough) {
  strikethrough_ = strikethrough;
  Changed("Strikethrough");
}

void StdFont::SetWeight(int32_t weight) {
  if (weight < 0 || weight > 1000) throw ComError::InvalidPropertyValue(ClassName());
  weight_ = static_cast<int16_t>(weight);
  Changed("Weight");
}

void StdFont::SetCharset(int32_t charset) {
  if (charset < 0 || charset > 255) throw ComError::InvalidPropertyValue(ClassName());
  charset_ = static_cast<int16_t>(charset);
  Changed("Charset");
}

bool StdFont::SameAs(const StdFont& other) const {
  return name_ == other.name_ && size_scaled_ == other.size_scaled_ && weight_ == other.weight_ &&
         charset_ == other.charset_ && italic_ == other.italic_ && underline_ == other.underline_ &&
         strikethrough_ == other.strikethrough_;
}

}  // namespace tabulo::platform
