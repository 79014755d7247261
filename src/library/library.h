// The entry points of the component library (libtabulo.so), the only symbols it exports.
// A container loads the library, asks it for the class factory of a program identifier and
// creates instances through it; a registration tool has it write its classes into the
// container's registry file (registry_file.h).
//
// Results are HRESULT values: 0 S_OK, 1 S_FALSE, and the failures below.
//
//   TabuloGetClassObject(progid, &factory)  the factory of a creatable class; the factory
//       belongs to the library and lives as long as it is loaded. 0x80040111
//       CLASS_E_CLASSNOTAVAILABLE for an identifier the library does not serve,
//       0x80004003 E_POINTER for a null argument.
//   TabuloCanUnloadNow()  S_OK when no instance of the library lives, S_FALSE otherwise.
//   TabuloRegisterServer(registry_path)  adds or replaces each class's entry in the registry
//       file with this library's path (the file it was loaded from); 0x80040201
//       SELFREG_E_CLASS when the file cannot be read or written.
//   TabuloUnregisterServer(registry_path)  removes the library's classes from the file (a
//       missing file is nothing to remove); 0x80040201 on failure.
#pragma once

#include <cstdint>

#include "library/class_factory.h"

namespace tabulo::library {

inline constexpr int32_t kSOk = 0;
inline constexpr int32_t kSFalse = 1;
inline constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111);
inline constexpr int32_t kEPointer = static_cast<int32_t>(0x80004003);
inline constexpr int32_t kSelfRegClass = static_cast<int32_t>(0x80040201);

using GetClassObjectFn = int32_t (*)(const char* progid, ClassFactory** factory);
using CanUnloadNowFn = int32_t (*)();
using RegisterServerFn = int32_t (*)(const char* registry_path);

// The entry points' names, for dlsym.
inline constexpr char kGetClassObjectSymbol[] = "TabuloGetClassObject";
inline constexpr char kCanUnloadNowSymbol[] = "TabuloCanUnloadNow";
inline constexpr char kRegisterServerSymbol[] = "TabuloRegisterServer";
inline constexpr char kUnregisterServerSymbol[] = "TabuloUnregisterServer";

}  // namespace tabulo::library

extern "C" {
int32_t TabuloGetClassObject(const char* progid, tabulo::library::ClassFactory** factory);
int32_t TabuloCanUnloadNow();
int32_t TabuloRegisterServer(const char* registry_path);
int32_t TabuloUnregisterServer(const char* registry_path);
}
