// Parses arbitrary bytes as a LOGIN7 record; every field access must stay
// inside the record.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tds/Bytes.h"
#include "tds/Login7.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace standin::tds;
  try {
    Login7 login = ParseLogin7(std::span(data, size));
    NegotiatePacketSize(login.packetSize);
    NegotiateVersion(login.tdsVersion);
  } catch (const ProtocolError&) {
  }
  return 0;
}
