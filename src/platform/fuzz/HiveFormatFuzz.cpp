// The hive file is edited by hand and may be cut short by a full disk: any
// bytes must either parse or be refused with HiveParseError, and whatever
// parses must come back byte-identical through SerializeHive.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/HiveFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<bw::HiveKey> root;
  try {
    root = bw::ParseHive(text);
  } catch (const bw::HiveParseError&) {
    return 0;
  }
  std::string written = bw::SerializeHive(*root);
  if (bw::SerializeHive(*bw::ParseHive(written)) != written) std::abort();
  return 0;
}
