// Packet framing: MessageAssembler turns the client's byte stream into whole
// messages (packets of one type up to the one with EOM), MessageWriter cuts a
// reply into packets of the negotiated size.
//
// The assembler is push-driven (Feed, then Next until empty), so a test or a
// fuzzer can hand it any split of the stream, and the socket code stays a
// plain recv loop.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "tds/Protocol.h"

namespace standin::tds {

struct Message {
  PacketType type = PacketType::SqlBatch;
  std::uint8_t firstStatus = 0;  // status byte of the first packet (RESETCONNECTION bits)
  bool ignored = false;          // the client aborted it with the IGNORE bit
  std::vector<std::uint8_t> payload;
};

class MessageAssembler {
 public:
  // Client packets longer than maxPacketSize are a ProtocolError.
  explicit MessageAssembler(std::uint32_t maxPacketSize = kMaxAcceptedPacketSize)
      : m_MaxPacketSize(maxPacketSize) {}

  // Messages longer than this are a ProtocolError (default kMaxMessageSize);
  // before login nothing larger than a LOGIN7 has a reason to arrive.
  void SetMaxMessageSize(std::size_t size) { m_MaxMessageSize = size; }

  // Appends received bytes. Throws ProtocolError as soon as a header is invalid
  // (bad length, unknown type, type changing inside a message, message too big).
  void Feed(std::span<const std::uint8_t> bytes);
  // The next complete message, if any.
  std::optional<Message> Next();
  // True while a message has started but its EOM packet has not arrived.
  bool InsideMessage() const { return m_Current.has_value() || !m_Buffer.empty(); }

 private:
  void ParsePackets();

  std::uint32_t m_MaxPacketSize;
  std::size_t m_MaxMessageSize = kMaxMessageSize;
  std::vector<std::uint8_t> m_Buffer;  // bytes of packets not yet complete
  std::optional<Message> m_Current;
  std::deque<Message> m_Ready;
};

// Writes one reply message as packets. Output goes to `write`, which must
// write all bytes or throw.
class MessageWriter {
 public:
  using WriteFunction = std::function<void(std::span<const std::uint8_t>)>;

  MessageWriter(WriteFunction write, std::uint32_t packetSize = kDefaultPacketSize)
      : m_Write(std::move(write)), m_PacketSize(packetSize) {}

  void SetPacketSize(std::uint32_t packetSize) { m_PacketSize = packetSize; }
  std::uint32_t PacketSize() const { return m_PacketSize; }
  void SetSpid(std::uint16_t spid) { m_Spid = spid; }

  // The token bytes of the message being written; append freely, then call
  // FlushFull to send whatever fills whole packets.
  std::vector<std::uint8_t>& Payload() { return m_Payload; }
  // Sends every complete packet of the payload (never the last partial one,
  // which must wait for more tokens or for EndMessage).
  void FlushFull();
  // Sends the rest with EOM and starts a new message.
  void EndMessage();
  // Drops the unsent rest of the current message.
  void DiscardUnsent() { m_Payload.clear(); }
  // True when part of the current message already went out.
  bool MessageStarted() const { return m_PacketId != 1; }

 private:
  void SendPacket(std::span<const std::uint8_t> body, bool last);

  WriteFunction m_Write;
  std::uint32_t m_PacketSize;
  std::uint16_t m_Spid = 0;
  std::uint8_t m_PacketId = 1;
  std::vector<std::uint8_t> m_Payload;
  std::vector<std::uint8_t> m_Packet;
};

}  // namespace standin::tds
