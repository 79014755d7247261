// StdFont: the standard font object, shared by reference between a container, the control,
// its grid and the property pages (a font dialog changes the very object the control holds).
//
// Size is kept as the OLE font keeps it, a currency value: points to 4 decimals, rounded
// half to even (8.25 stays 8.25, 10.00005 becomes 10). Bold is a view of Weight: Bold true
// sets Weight 700, false sets 400; a Weight of 600 or more reads as Bold.
// Every change of an attribute raises FontChanged(PropertyName), as the classic font does.
//
// Persistence in a property bag belongs with the property bag (property_bag.h): it will
// store Name, Size, Bold, Italic, Underline, Strikethrough, Weight and Charset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch_object.h"

namespace tabulo::platform {

// Dispatch ids of the font's members, the classic ones.
inline constexpr DispId kDispIdFontName = 0;
inline constexpr DispId kDispIdFontSize = 2;
inline constexpr DispId kDispIdFontBold = 3;
inline constexpr DispId kDispIdFontItalic = 4;
inline constexpr DispId kDispIdFontUnderline = 5;
inline constexpr DispId kDispIdFontStrikethrough = 6;
inline constexpr DispId kDispIdFontWeight = 7;
inline constexpr DispId kDispIdFontCharset = 8;
inline constexpr DispId kDispIdFontChanged = 9;  // the FontChanged event

class StdFont : public DispatchObject {
 public:
  static constexpr int16_t kWeightNormal = 400;
  static constexpr int16_t kWeightBold = 700;
  static constexpr int16_t kBoldThreshold = 600;

  // "MS Sans Serif", 8.25 points, weight 400, charset 0, no styles.
  StdFont();
  static std::shared_ptr<StdFont> Create() { return std::make_shared<StdFont>(); }
  // A new object with the same attributes and no event connections.
  std::shared_ptr<StdFont> Clone() const;

  const std::string& name() const { return name_; }
  double size() const { return static_cast<double>(size_scaled_) / 10000.0; }
  int64_t size_scaled() const { return size_scaled_; }  // points * 10,000
  bool bold() const { return weight_ >= kBoldThreshold; }
  bool italic() const { return italic_; }
  bool underline() const { return underline_; }
  bool strikethrough() const { return strikethrough_; }
  int16_t weight() const { return weight_; }
  int16_t charset() const { return charset_; }

  // Invalid values raise 380 "Invalid property value": an empty name, a size not above 0 or
  // above 16383 points, a weight outside 0..1000, a charset outside 0..255.
  void SetName(std::string name);
  void SetSize(double points);
  void SetBold(bool bold);
  void SetItalic(bool italic);
  void SetUnderline(bool underline);
  void SetStrikethrough(bool strikethrough);
  void SetWeight(int32_t weight);
  void SetCharset(int32_t charset);

  // All attributes equal (the name compared exactly).
  bool SameAs(const StdFont& other) const;
  bool operator==(const StdFont& other) const { return SameAs(other); }

 private:
  void Changed(const char* property);

  std::string name_ = "MS Sans Serif";
  int64_t size_scaled_ = 82500;
  int16_t weight_ = kWeightNormal;
  int16_t charset_ = 0;
  bool italic_ = false;
  bool underline_ = false;
  bool strikethrough_ = false;
};

}  // namespace tabulo::platform
