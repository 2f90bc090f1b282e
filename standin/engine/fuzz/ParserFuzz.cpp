// libFuzzer target: any bytes as a T-SQL batch. The parser must either build a
// tree or raise SqlError; anything else (crash, other exception, hang) is a bug.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/Engine.h"
#include "parse/Parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  for (bool quotedIdentifier : {true, false}) {
    try {
      standin::engine::ParseBatch(sql, quotedIdentifier);
    } catch (const standin::engine::SqlError&) {
    }
  }
  return 0;
}
