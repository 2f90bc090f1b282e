// Feeds arbitrary bytes, cut at arbitrary places, to the message assembler and
// parses whatever messages come out the way the connection would.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tds/Bytes.h"
#include "tds/Packet.h"
#include "tds/Prelogin.h"
#include "tds/Requests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace standin::tds;
  if (size < 1) return 0;
  // The first byte chooses the read size, so packet boundaries fall anywhere.
  std::size_t chunk = data[0] % 64 + 1;
  std::span<const std::uint8_t> stream(data + 1, size - 1);
  MessageAssembler assembler;
  try {
    for (std::size_t offset = 0; offset < stream.size(); offset += chunk) {
      assembler.Feed(stream.subspan(offset, std::min(chunk, stream.size() - offset)));
      while (auto message = assembler.Next()) {
        try {
          switch (message->type) {
            case PacketType::Prelogin:
              ParsePrelogin(message->payload);
              break;
            case PacketType::SqlBatch:
              ParseSqlBatch(message->payload, TdsVersion::V7_4);
              ParseSqlBatch(message->payload, TdsVersion::V7_1);
              break;
            case PacketType::Rpc:
              ParseRpc(message->payload, TdsVersion::V7_4);
              ParseRpc(message->payload, TdsVersion::V7_1);
              break;
            case PacketType::TransactionManager:
              ParseTransactionRequest(message->payload, TdsVersion::V7_4);
              break;
            default:
              break;
          }
        } catch (const ProtocolError&) {
        }
      }
    }
  } catch (const ProtocolError&) {
  }
  return 0;
}
