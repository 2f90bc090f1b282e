// LOGIN7: the client's login record. Every string is located through its own
// (offset, length) pair and checked against the record's bounds, because
// clients order the variable area differently and some write bogus lengths for
// empty fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tds/Protocol.h"

namespace standin::tds {

struct Login7 {
  std::uint32_t tdsVersion = 0;  // raw DWORD as sent
  std::uint32_t packetSize = 0;  // requested; 0 = server default
  std::uint32_t clientProcessId = 0;
  std::uint8_t optionFlags1 = 0;
  std::uint8_t optionFlags2 = 0;
  std::uint8_t typeFlags = 0;
  std::uint8_t optionFlags3 = 0;
  std::string hostName;
  std::string userName;
  std::string password;  // de-obfuscated
  std::string applicationName;
  std::string serverName;
  std::string libraryName;
  std::string language;
  std::string database;
  std::vector<std::uint8_t> sspi;

  // SSPI/NTLM/Kerberos instead of a SQL login.
  bool IntegratedSecurity() const { return (optionFlags2 & 0x80) != 0 || !sspi.empty(); }
  // fDatabase: the login fails when the initial database is unusable.
  bool DatabaseFatal() const { return (optionFlags1 & 0x40) != 0; }
};

// Throws ProtocolError on a record that is truncated, claims a length other
// than its size, or has a field outside it.
Login7 ParseLogin7(std::span<const std::uint8_t> payload);

// Reverses the password obfuscation (nibble swap, XOR 0xA5) of UTF-16LE bytes.
std::vector<std::uint8_t> DeobfuscatePassword(std::span<const std::uint8_t> bytes);

// The version the server answers with: the client's own when it is one we
// speak; a newer client is offered 7.4. Throws ProtocolError for 7.0 and older.
TdsVersion NegotiateVersion(std::uint32_t requested);

// The packet size the server grants: the request within 512..32767, 32767 for
// anything larger, 4096 when the client leaves it to the server; rounded down
// to a multiple of 4.
std::uint32_t NegotiatePacketSize(std::uint32_t requested);

}  // namespace standin::tds
