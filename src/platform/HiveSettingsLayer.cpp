#include <cstring>

#include "platform/RegistryHive.h"
#include "support/Settings.h"

namespace bw {

void InstallHiveSettingsLayer() {
  Settings::SetStoredLayer([](const std::string& name) -> std::optional<std::string> {
    std::optional<RegistryValue> value;
    try {
      value = RegistryHive::ForCurrentUser().QueryValue(kSettingsKeyPath, name);
    } catch (const Error&) {
      // A setting is read wherever it is needed, often where no error can be
      // shown; the built-in default serves, and a damaged hive's notice waits
      // in TakeDamageNotice for the console.
      return std::nullopt;
    }
    if (!value) return std::nullopt;
    const auto& data = value->data;
    if (value->type == kRegSz) {
      std::string text(data.begin(), data.end());
      // The text ends at its first NUL, as a C string read from the registry does.
      text.resize(std::strlen(text.c_str()));
      return text;
    }
    if (value->type == kRegDword && data.size() == 4) {
      std::uint32_t number =
          data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
      return std::to_string(number);
    }
    return std::nullopt;
  });
}

}  // namespace bw
