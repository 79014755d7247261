// The lookup: resource store, built-in table, placeholder, formatting.
#include "localization/localized_string.h"

#include <exception>

#include "localization/format.h"
#include "localization/string_table.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/text/ui_language.h"
#include "platform/values/conversions.h"

namespace tabulo::localization {
namespace {

void InitResourceStore(LocalizationState& state) {
  if (!state.resource_store) {
    try {
      state.resource_store = platform::CreateObject(kResourceStoreProgId);
    } catch (const std::exception&) {
      // No store on this installation: the built-in table serves every lookup.
    }
  }
  state.resource_store_tried = true;
}

// Asks the store; raises whatever the store raises, or when its answer is not a text.
std::string AskStore(platform::Dispatch& store, std::string_view module, int32_t id,
                     int32_t& language, const platform::Locale& locale) {
  std::vector<platform::Variant> args{platform::Variant(module), platform::Variant(id),
                                      platform::Variant(language),
                                      platform::Variant(std::string())};
  store.Invoke(store.GetIdOfName("GetModuleString"), platform::InvokeKind::Method, args);
  // By reference: a language the store writes back reaches the caller's variable.
  if (args[2].type() == platform::VarType::Long || args[2].type() == platform::VarType::Integer) {
    language = args[2].AsLong();
  }
  if (args[3].IsString()) return args[3].AsString();
  return platform::CStr(args[3], locale);
}

std::string Lookup(LocalizationState& state, std::string_view module, int32_t id, int32_t& language,
                   const platform::Locale& locale) {
  if (!state.resource_store_tried) InitResourceStore(state);
  std::string text;
  bool from_store = false;
  if (state.resource_store) {
    try {
      text = AskStore(*state.resource_store, module, id, language, locale);
      from_store = true;
    } catch (const std::exception&) {
      // This lookup falls back to the table; the next one asks the store again.
    }
  }
  if (!from_store) text = BuiltInString(id, platform::UserInterfaceLanguage());
  if (text.find_first_not_of(' ') == std::string::npos) text = std::to_string(id) + " Not Found";
  return text;
}

}  // namespace

std::string GetLocalizedString(LocalizationState& state, std::string_view module, int32_t id,
                               int32_t& language, const std::vector<platform::Variant>& values,
                               const platform::Locale& locale) {
  try {
    std::string text = Lookup(state, module, id, language, locale);
    if (values.empty()) return text;
    return FormatLocalizedString(text, values, locale);
  } catch (const std::exception&) {
    return {};
  }
}

std::string GetLocalizedString(LocalizationState& state, std::string_view module, int32_t id,
                               int32_t& language) {
  return GetLocalizedString(state, module, id, language, {}, platform::Locale::EnUS());
}

std::string GetDialogString(LocalizationState& state, std::string_view module, int32_t id,
                            const platform::Locale& locale) {
  int32_t language = 0;
  std::string text = GetLocalizedString(state, module, id, language, {}, locale);
  try {
    return FormatLocalizedText(text, {});
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace tabulo::localization
