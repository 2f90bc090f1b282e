#include "tds/Prelogin.h"

#include "tds/Bytes.h"

namespace standin::tds {
namespace {

constexpr std::uint8_t kVersion = 0x00;
constexpr std::uint8_t kEncryption = 0x01;
constexpr std::uint8_t kInstance = 0x02;
constexpr std::uint8_t kThreadId = 0x03;
constexpr std::uint8_t kMars = 0x04;
constexpr std::uint8_t kTerminator = 0xFF;

}  // namespace

PreloginRequest ParsePrelogin(std::span<const std::uint8_t> payload) {
  PreloginRequest request;
  ByteReader table(payload);
  // Each entry is 5 bytes; a payload cannot hold more entries than that, which
  // also bounds the loop on garbage.
  while (true) {
    std::uint8_t token = table.U8();
    if (token == kTerminator) break;
    std::uint16_t offset = table.U16BigEndian();
    std::uint16_t length = table.U16BigEndian();
    if (static_cast<std::size_t>(offset) + length > payload.size()) {
      throw ProtocolError("PRELOGIN option " + std::to_string(token) +
                          " points outside the packet");
    }
    auto data = payload.subspan(offset, length);
    if (token == kEncryption && length >= 1) {
      request.encryption = static_cast<Encryption>(data[0]);
    } else if (token == kMars && length >= 1) {
      request.marsRequested = data[0] != 0;
    }
  }
  return request;
}

bool IsTlsHandshake(std::span<const std::uint8_t> payload) {
  // TLS record: content type 22 (handshake), version 3.x.
  return payload.size() >= 3 && payload[0] == 0x16 && payload[1] == 0x03;
}

std::vector<std::uint8_t> BuildPreloginReply(std::uint8_t major, std::uint8_t minor,
                                             std::uint16_t build) {
  struct Option {
    std::uint8_t token;
    std::vector<std::uint8_t> data;
  };
  const Option options[] = {
      {kVersion,
       {major, minor, static_cast<std::uint8_t>(build >> 8), static_cast<std::uint8_t>(build), 0,
        0}},
      {kEncryption, {static_cast<std::uint8_t>(Encryption::NotSupported)}},
      {kInstance, {0}},
      {kThreadId, {}},
      // MARS 1 would switch the client to session multiplexing.
      {kMars, {0}},
  };
  std::vector<std::uint8_t> out;
  ByteWriter writer(out);
  std::uint16_t dataOffset = static_cast<std::uint16_t>(std::size(options) * 5 + 1);
  for (const Option& option : options) {
    writer.U8(option.token);
    writer.U16BigEndian(dataOffset);
    writer.U16BigEndian(static_cast<std::uint16_t>(option.data.size()));
    dataOffset = static_cast<std::uint16_t>(dataOffset + option.data.size());
  }
  writer.U8(kTerminator);
  for (const Option& option : options) writer.Append(option.data);
  return out;
}

}  // namespace standin::tds
