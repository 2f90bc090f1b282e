#include "support/Log.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace bw {

bool LogEnabled() {
  const char* value = std::getenv("BW_LOG");
  return value != nullptr && *value != '\0' && std::string(value) != "0";
}

void Log(const std::string& category, const std::string& message) {
  if (!LogEnabled()) return;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fprintf(stderr, "bw %s: %s\n", category.c_str(), message.c_str());
}

}  // namespace bw
