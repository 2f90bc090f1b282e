#include "tds/Packet.h"

#include <string>

#include "tds/Bytes.h"

namespace standin::tds {
namespace {

bool IsClientPacketType(std::uint8_t type) {
  switch (static_cast<PacketType>(type)) {
    case PacketType::SqlBatch:
    case PacketType::PreTds7Login:
    case PacketType::Rpc:
    case PacketType::Attention:
    case PacketType::BulkLoad:
    case PacketType::TransactionManager:
    case PacketType::Login7:
    case PacketType::Sspi:
    case PacketType::Prelogin:
      return true;
    case PacketType::Reply:
      return false;
  }
  return false;
}

}  // namespace

void MessageAssembler::Feed(std::span<const std::uint8_t> bytes) {
  m_Buffer.insert(m_Buffer.end(), bytes.begin(), bytes.end());
  ParsePackets();
}

void MessageAssembler::ParsePackets() {
  std::size_t offset = 0;
  while (m_Buffer.size() - offset >= kPacketHeaderSize) {
    const std::uint8_t* header = m_Buffer.data() + offset;
    std::uint8_t type = header[0];
    std::uint8_t statusBits = header[1];
    std::uint32_t length = static_cast<std::uint32_t>((header[2] << 8) | header[3]);
    if (!IsClientPacketType(type)) {
      throw ProtocolError("unknown packet type " + std::to_string(type));
    }
    if (length < kPacketHeaderSize) {
      throw ProtocolError("packet length " + std::to_string(length) + " shorter than its header");
    }
    if (length > m_MaxPacketSize) {
      throw ProtocolError("packet of " + std::to_string(length) + " bytes exceeds the limit of " +
                          std::to_string(m_MaxPacketSize));
    }
    if (m_Buffer.size() - offset < length) break;

    auto packetType = static_cast<PacketType>(type);
    std::span<const std::uint8_t> body(header + kPacketHeaderSize, length - kPacketHeaderSize);
    if (packetType == PacketType::Attention) {
      // A cancel may arrive while a request is still being sent; the request's
      // remaining packets will not come, so drop what there is of it.
      m_Current.reset();
      m_Ready.push_back(Message{PacketType::Attention, statusBits, false, {}});
      offset += length;
      continue;
    }
    if (!m_Current) {
      m_Current = Message{packetType, statusBits, false, {}};
    } else if (m_Current->type != packetType) {
      throw ProtocolError("packet type changed inside a message");
    }
    if (m_Current->payload.size() + body.size() > m_MaxMessageSize) {
      throw ProtocolError("request message larger than " + std::to_string(m_MaxMessageSize) +
                          " bytes");
    }
    m_Current->payload.insert(m_Current->payload.end(), body.begin(), body.end());
    offset += length;
    if (statusBits & status::kEndOfMessage) {
      if (statusBits & status::kIgnore) {
        m_Current->ignored = true;
        m_Current->payload.clear();
      }
      m_Ready.push_back(std::move(*m_Current));
      m_Current.reset();
    }
  }
  m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::optional<Message> MessageAssembler::Next() {
  if (m_Ready.empty()) return std::nullopt;
  Message message = std::move(m_Ready.front());
  m_Ready.pop_front();
  return message;
}

void MessageWriter::SendPacket(std::span<const std::uint8_t> body, bool last) {
  std::size_t length = body.size() + kPacketHeaderSize;
  m_Packet.clear();
  m_Packet.reserve(length);
  m_Packet.push_back(static_cast<std::uint8_t>(PacketType::Reply));
  m_Packet.push_back(last ? status::kEndOfMessage : 0);
  m_Packet.push_back(static_cast<std::uint8_t>(length >> 8));
  m_Packet.push_back(static_cast<std::uint8_t>(length));
  m_Packet.push_back(static_cast<std::uint8_t>(m_Spid >> 8));
  m_Packet.push_back(static_cast<std::uint8_t>(m_Spid));
  m_Packet.push_back(m_PacketId);
  m_Packet.push_back(0);
  m_Packet.insert(m_Packet.end(), body.begin(), body.end());
  m_PacketId = static_cast<std::uint8_t>(m_PacketId + 1);
  m_Write(m_Packet);
}

void MessageWriter::FlushFull() {
  std::size_t bodySize = m_PacketSize - kPacketHeaderSize;
  std::size_t offset = 0;
  // Strictly greater: the last packet must carry EOM, so a payload that exactly
  // fills packets keeps its final packet back for EndMessage.
  while (m_Payload.size() - offset > bodySize) {
    SendPacket(std::span(m_Payload).subspan(offset, bodySize), false);
    offset += bodySize;
  }
  m_Payload.erase(m_Payload.begin(), m_Payload.begin() + static_cast<std::ptrdiff_t>(offset));
}

void MessageWriter::EndMessage() {
  FlushFull();
  SendPacket(m_Payload, true);
  m_Payload.clear();
  m_PacketId = 1;
}

}  // namespace standin::tds
