// PRELOGIN: what the client asks for and the server's one-packet answer. The
// stand-in never encrypts; it always answers "encryption not supported", which
// lets clients with encryption off (or merely requested) log in in the clear.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace standin::tds {

enum class Encryption : std::uint8_t {
  Off = 0x00,
  On = 0x01,
  NotSupported = 0x02,
  Required = 0x03
};

struct PreloginRequest {
  std::optional<Encryption> encryption;  // absent when the client sent no ENCRYPTION option
  bool marsRequested = false;
};

// Parses the option table; unknown options are ignored, absent ones tolerated.
// Throws ProtocolError on a table or data entry outside the payload.
PreloginRequest ParsePrelogin(std::span<const std::uint8_t> payload);

// True when the payload is a TLS record (handshake) rather than an option
// table: the client insists on TLS after our refusal.
bool IsTlsHandshake(std::span<const std::uint8_t> payload);

// The reply payload: VERSION (major, minor, build), ENCRYPTION = not supported,
// INSTOPT 0, THREADID empty, MARS 0.
std::vector<std::uint8_t> BuildPreloginReply(std::uint8_t major, std::uint8_t minor,
                                             std::uint16_t build);

}  // namespace standin::tds
