// How a StdFont is kept in a property bag: a nested bag of class "StdFont" holding Name,
// Size, Bold, Italic, Underline, Strikethrough, Weight and Charset, all always stored.
//
// Loading takes what is stored and the font's defaults for the rest. Bold is a view of
// Weight, so Weight is applied first and Bold only where it disagrees with it (a hand-written
// "Bold = True" without a Weight still gives 700). A value of the wrong type raises 13, a
// value the font refuses raises 380; both name the font's key.
#pragma once

#include <memory>
#include <string_view>

#include "platform/storage/property_bag.h"
#include "platform/widgets/std_font.h"

namespace tabulo::platform {

inline constexpr std::string_view kStdFontClassName = "StdFont";

void SaveStdFont(const StdFont& font, PropertyBag& bag);
std::shared_ptr<StdFont> LoadStdFont(const PropertyBag& bag);

}  // namespace tabulo::platform
