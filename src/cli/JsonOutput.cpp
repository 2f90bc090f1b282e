#include "JsonOutput.h"

#include <cstdio>

namespace bw::cli {
namespace {

bool g_Json = false;

}  // namespace

bool JsonOutput() {
  return g_Json;
}

void SetJsonOutput(bool json) {
  g_Json = json;
}

void PrintJson(const Json& document) {
  const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace bw::cli
