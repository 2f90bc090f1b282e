#include "SnapInRegistry.h"

#include "platform/RegistryHive.h"
#include "sdk/SnapIn.h"

namespace bw::console {

namespace {

std::string TextOf(const RegistryHive& hive, const std::string& key, const char* name) {
  auto value = hive.QueryValue(key, name);
  if (!value || value->type != kRegSz) return {};
  std::string text(value->data.begin(), value->data.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

}  // namespace

bool SnapInEverRegistered(std::string& error) {
  try {
    return RegistryHive::ForCurrentUser().EnumerateSubKeys(sdk::kSnapInsKey).has_value();
  } catch (const Error& problem) {
    error = problem.Description();
    return false;
  }
}

std::filesystem::path InstalledSnapInRelativePath() {
  return BW_INSTALLED_SNAPIN;
}

std::string InstalledSnapIn(const std::filesystem::path& consoleFolder) {
  std::error_code failed;
  const std::filesystem::path path =
      std::filesystem::canonical(consoleFolder / InstalledSnapInRelativePath(), failed);
  if (failed || !std::filesystem::is_regular_file(path, failed)) return {};
  return path.string();
}

std::vector<SnapInRegistration> RegisteredSnapIns(std::string& error) {
  std::vector<SnapInRegistration> found;
  try {
    RegistryHive hive = RegistryHive::ForCurrentUser();
    auto keys = hive.EnumerateSubKeys(sdk::kSnapInsKey);
    if (!keys) return found;
    for (const std::string& classId : *keys) {
      std::string key = std::string(sdk::kSnapInsKey) + "\\" + classId;
      found.push_back({classId, TextOf(hive, key, "Path"), TextOf(hive, key, "Name")});
    }
  } catch (const Error& problem) {
    error = problem.Description();
  }
  return found;
}

}  // namespace bw::console
