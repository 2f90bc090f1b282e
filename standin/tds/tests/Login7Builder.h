// Builds LOGIN7 records the way the real clients lay them out, for the tests
// and fuzz seeds: strings in any order, optional SSPI blob and FeatureExt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tds/Bytes.h"
#include "tds/Protocol.h"

namespace standin::tds::testing {

struct Login7Fields {
  std::uint32_t tdsVersion = 0x74000004;
  std::uint32_t packetSize = 4096;
  std::uint8_t optionFlags1 = 0xE0;
  std::uint8_t optionFlags2 = 0x03;
  std::u16string hostName = u"client-host";
  std::u16string userName = u"sa";
  std::u16string password = u"secret";
  std::u16string applicationName = u"tests";
  std::u16string serverName = u"127.0.0.1";
  std::u16string libraryName = u"lib";
  std::u16string language = u"";
  std::u16string database = u"master";
  std::vector<std::uint8_t> sspi;
  bool featureExtension = false;  // 7.4 FeatureExt block at the end, UTF-8 support only
};

inline std::vector<std::uint8_t> BuildLogin7(const Login7Fields& fields) {
  bool is72 = (fields.tdsVersion >> 24) >= 0x72;
  std::size_t fixedSize = is72 ? 94 : 86;
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> record(fixedSize, 0);
  auto put16 = [&](std::size_t at, std::uint16_t value) {
    record[at] = static_cast<std::uint8_t>(value);
    record[at + 1] = static_cast<std::uint8_t>(value >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) record[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  auto addString = [&](std::size_t pairAt, const std::u16string& text, bool obfuscate = false) {
    put16(pairAt, static_cast<std::uint16_t>(fixedSize + data.size()));
    put16(pairAt + 2, static_cast<std::uint16_t>(text.size()));
    for (char16_t unit : text) {
      std::uint8_t bytes[2] = {static_cast<std::uint8_t>(unit),
                               static_cast<std::uint8_t>(unit >> 8)};
      for (std::uint8_t byte : bytes) {
        if (obfuscate) byte = static_cast<std::uint8_t>(((byte << 4) | (byte >> 4)) ^ 0xA5);
        data.push_back(byte);
      }
    }
  };
  put32(4, fields.tdsVersion);
  put32(8, fields.packetSize);
  record[24] = fields.optionFlags1;
  record[25] = fields.optionFlags2;
  record[27] = fields.featureExtension ? 0x10 : 0;
  addString(36, fields.hostName);
  addString(40, fields.userName);
  addString(44, fields.password, true);
  addString(48, fields.applicationName);
  addString(52, fields.serverName);
  addString(60, fields.libraryName);
  addString(64, fields.language);
  addString(68, fields.database);
  put16(78, static_cast<std::uint16_t>(fixedSize + data.size()));
  put16(80, static_cast<std::uint16_t>(fields.sspi.size()));
  data.insert(data.end(), fields.sspi.begin(), fields.sspi.end());
  if (fields.featureExtension) {
    // ibExtension points at a DWORD holding the FeatureExt offset, which sits last.
    put16(56, static_cast<std::uint16_t>(fixedSize + data.size()));
    put16(58, 4);
    std::uint32_t featureOffset = static_cast<std::uint32_t>(fixedSize + data.size() + 4);
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(featureOffset >> (8 * i)));
    for (std::uint8_t byte : {0x0A, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFF}) data.push_back(byte);
  }
  record.insert(record.end(), data.begin(), data.end());
  put32(0, static_cast<std::uint32_t>(record.size()));
  return record;
}

// Wraps a payload into packets of the given type, `packetSize` bytes at most.
inline std::vector<std::uint8_t> Packetise(PacketType type,
                                           const std::vector<std::uint8_t>& payload,
                                           std::size_t packetSize = 4096,
                                           std::uint8_t extraStatus = 0) {
  std::vector<std::uint8_t> out;
  std::size_t bodySize = packetSize - kPacketHeaderSize;
  std::size_t offset = 0;
  std::uint8_t id = 1;
  do {
    std::size_t chunk = std::min(bodySize, payload.size() - offset);
    bool last = offset + chunk == payload.size();
    std::size_t length = chunk + kPacketHeaderSize;
    out.push_back(static_cast<std::uint8_t>(type));
    out.push_back(static_cast<std::uint8_t>((last ? status::kEndOfMessage : 0) | extraStatus));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.push_back(0), out.push_back(0), out.push_back(id++), out.push_back(0);
    out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset),
               payload.begin() + static_cast<std::ptrdiff_t>(offset + chunk));
    offset += chunk;
  } while (offset < payload.size());
  return out;
}

inline std::vector<std::uint8_t> Utf16Le(const std::u16string& text) {
  std::vector<std::uint8_t> out;
  for (char16_t unit : text)
    out.push_back(static_cast<std::uint8_t>(unit)),
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
  return out;
}

// ALL_HEADERS with the single transaction-descriptor header clients send.
inline std::vector<std::uint8_t> AllHeaders() {
  std::vector<std::uint8_t> out;
  ByteWriter writer(out);
  writer.U32(22);
  writer.U32(18);
  writer.U16(2);
  writer.U64(0);
  writer.U32(1);
  return out;
}

}  // namespace standin::tds::testing
