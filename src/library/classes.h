// The type library's facts and the creatable classes the library serves.
#pragma once

#include <string>
#include <vector>

#include "library/class_factory.h"

namespace tabulo::library {

inline constexpr char kTypeLibraryName[] = "VELTRA";
inline constexpr char kTypeLibraryHelp[] = "Quillon Tabulo ActiveX Control";
inline constexpr char kTypeLibraryId[] = "{5E7A2C10-6B1D-4F0A-9C3E-71D0A4B8E201}";
inline constexpr char kTypeLibraryVersion[] = "1.0";
inline constexpr int kTypeLibraryLocale = 1033;

// The class id of TabuloCtl.
inline constexpr char kTabuloCtlClassId[] = "{5E7A2C10-6B1D-4F0A-9C3E-71D0A4B8E205}";

// The class ids of the property pages.
inline constexpr char kUsrControlPropertiesClassId[] = "{5E7A2C10-6B1D-4F0A-9C3E-71D0A4B8E211}";
inline constexpr char kDSNSelectionClassId[] = "{5E7A2C10-6B1D-4F0A-9C3E-71D0A4B8E212}";
inline constexpr char kColumnPropertiesClassId[] = "{5E7A2C10-6B1D-4F0A-9C3E-71D0A4B8E213}";
inline constexpr char keSignatureClassId[] = "{5E7A2C10-6B1D-4F0A-9C3E-71D0A4B8E214}";

// The factories of the creatable classes, in the order of the type library: TabuloCtl, then
// its four property pages.
const std::vector<ClassFactory*>& CreatableClasses();

// The factory of a program identifier (case-insensitive), or null.
ClassFactory* FindClass(std::string_view progid);

// Instances of the library alive now, for the unload answer.
int LiveInstances();

}  // namespace tabulo::library
