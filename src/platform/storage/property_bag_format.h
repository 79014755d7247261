// The text form of a PropertyBag, in which the container saves a control with its form.
// Readable UTF-8, one "key = value" per line in the bag's order; every Variant type comes
// back exactly as it was saved. Nothing here touches files: the container does the I/O.
//
// Grammar (lines end with LF; a CR before it is ignored; leading blanks and tabs are
// indentation; empty lines and lines starting with "#" are ignored):
//
//   file      = "TabuloPropertyBag " version NL { entry } end
//   version   = "1" | "2"
//   end       = "End" NL                               (version 2 on: a text without it is
//                                                      truncated; version 1 has no end line)
//   entry     = key "=" value NL                      (blanks around "=" are optional)
//   key       = bare | string                         bare: one or more of A-Z a-z 0-9 _
//   value     = "Empty" | "Null" | "Nothing"          (Nothing: an Object holding none)
//             | "Integer" int16 | "Long" int32 | "Byte" 0..255
//             | "Currency" int64                      (the amount times 10,000)
//             | "Single" real | "Double" real | "Date" real   (Date: days since 1899-12-30)
//             | "Boolean" ("True" | "False")
//             | "Error" "0x" 8 hex digits              (the error code's 32 bits)
//             | "String" string
//             | "Array" elemtype "(" bounds ")" "{" NL { value NL } "}"
//             | "Object" string "{" NL { entry } "}"    (the string: the class name)
//   bounds    = int32 "To" int32 [ "," int32 "To" int32 ]   (lower To upper per dimension;
//                                                      upper = lower - 1 for no elements)
//   elemtype  = "Variant" | "Integer" | "Long" | "Byte" | "Currency" | "Single" | "Double"
//             | "Date" | "Boolean" | "Error" | "String" | "Object"
//   real      = shortest round-trip decimal (std::to_chars), "inf", "-inf", "nan", "-nan"
//   string    = '"' { UTF-8 character | escape } '"'
//   escape    = \" | \\ | \n | \r | \t | \xHH         (\xHH: any byte, so that control
//                                                      characters, NUL and bytes that are
//                                                      not UTF-8 round-trip too)
//
// Built-in classes: an object of class "StdFont" (property_bag_font.h) is saved and loaded
// here, without the object factory.
//
// Array elements are listed first index slowest: (0,0), (0,1), ..., (1,0), ... Elements of
// a typed array must have the array's type. Arrays and objects nest at most
// kPropertyBagMaxDepth levels deep. A key appears at most once per bag.
//
// Errors. Saving: an object that does not implement PersistPropertyBag raises 13 "Type
// mismatch"; nesting deeper than the limit (a cycle of objects) raises 28 "Out of stack
// space". Loading: any fault raises 321 "Invalid file format" with a description naming
// the file, the line and the key (nested keys joined with ".", array elements as key(n)):
//   panel.tab, line 12, key "Font": unterminated string
// An error raised by an object's LoadProperties keeps its number; its description gets
// the same prefix.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/storage/property_bag.h"

namespace tabulo::platform {

inline constexpr int32_t kErrInvalidFileFormat = 321;
inline constexpr int32_t kErrOutOfStackSpace = 28;
// Version 2 added the "End" line and the built-in "StdFont"; version 1 texts are still read.
inline constexpr int kPropertyBagFormatVersion = 2;
inline constexpr int kPropertyBagMaxDepth = 16;

// Recreates an object from its PersistClassName when loading; returns nullptr for a class
// it does not know. Not asked for the built-in classes.
using ObjectFactory = std::function<std::shared_ptr<Dispatch>(std::string_view class_name)>;

std::string SerializePropertyBag(const PropertyBag& bag);

// `file_name` is used in error descriptions and becomes the bag's origin().
PropertyBag ParsePropertyBag(std::string_view text, std::string_view file_name,
                             const ObjectFactory& factory);

}  // namespace tabulo::platform
