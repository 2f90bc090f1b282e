// A minimal TDS client for the connection tests: sends packets and reads
// reply messages, checking framing as it goes, and walks the tokens the fake
// engine can produce (INT columns only).
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "../../tds/tests/Login7Builder.h"
#include "tds/Bytes.h"
#include "tds/Protocol.h"

namespace standin::app::testing {

using Bytes = std::vector<std::uint8_t>;

struct Reply {
  Bytes payload;
  std::size_t packets = 0;
  std::uint16_t spid = 0;
};

struct Token {
  std::uint8_t type = 0;
  std::uint16_t status = 0;  // DONE family
  std::uint64_t count = 0;   // DONE family
  std::int32_t number = 0;   // ERROR/INFO
  std::string text;          // ERROR/INFO message (ASCII)
  std::uint8_t envType = 0;  // ENVCHANGE
  std::size_t rowValues = 0;
};

class TestClient {
 public:
  explicit TestClient(int fd) : m_Fd(fd) {}
  ~TestClient() { ::close(m_Fd); }

  void Send(const Bytes& bytes) {
    ASSERT_EQ(::send(m_Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void SendMessage(tds::PacketType type, const Bytes& payload, std::size_t packetSize = 4096,
                   std::uint8_t extra = 0) {
    Send(tds::testing::Packetise(type, payload, packetSize, extra));
  }
  void SendBatch(const std::u16string& sql) {
    Bytes payload = tds::testing::AllHeaders();
    Bytes text = tds::testing::Utf16Le(sql);
    payload.insert(payload.end(), text.begin(), text.end());
    SendMessage(tds::PacketType::SqlBatch, payload);
  }

  // Reads one reply message; nullopt when the server closed the connection.
  std::optional<Reply> ReadReply(std::size_t maxPacketSize = 32767) {
    Reply reply;
    while (true) {
      std::uint8_t header[8];
      if (!ReadExactly(header, 8)) return std::nullopt;
      EXPECT_EQ(header[0], 0x04);
      std::size_t length = static_cast<std::size_t>((header[2] << 8) | header[3]);
      EXPECT_GE(length, 8u);
      EXPECT_LE(length, maxPacketSize);
      reply.spid = static_cast<std::uint16_t>((header[4] << 8) | header[5]);
      Bytes body(length - 8);
      if (!ReadExactly(body.data(), body.size())) return std::nullopt;
      reply.payload.insert(reply.payload.end(), body.begin(), body.end());
      ++reply.packets;
      if (header[1] & 0x01) return reply;
    }
  }

  int Fd() const { return m_Fd; }

  bool ServerClosed() {
    std::uint8_t byte;
    return ::recv(m_Fd, &byte, 1, 0) <= 0;
  }

  // Walks tokens of a reply at 7.2+ widths.
  static std::vector<Token> Tokens(const Bytes& payload) {
    std::vector<Token> tokens;
    tds::ByteReader in(payload);
    std::size_t columns = 0;
    while (!in.AtEnd()) {
      Token token;
      token.type = in.U8();
      switch (token.type) {
        case 0xFD:
        case 0xFE:
        case 0xFF:
          token.status = in.U16();
          in.U16();
          token.count = in.U64();
          break;
        case 0xAA:
        case 0xAB: {
          std::size_t length = in.U16();
          tds::ByteReader body(in.Take(length));
          token.number = static_cast<std::int32_t>(body.U32());
          body.Skip(2);
          std::size_t characters = body.U16();
          auto text = body.Take(characters * 2);
          for (std::size_t i = 0; i < text.size(); i += 2) token.text += static_cast<char>(text[i]);
          break;
        }
        case 0xE3: {
          std::size_t length = in.U16();
          auto body = in.Take(length);
          token.envType = body[0];
          break;
        }
        case 0xAD:
          in.Skip(in.U16());
          break;
        case 0x79:
          in.Skip(4);
          break;
        case 0x81:
          columns = in.U16();
          for (std::size_t i = 0; i < columns; ++i) {
            in.Skip(4 + 2);
            EXPECT_EQ(in.U8(), 0x26) << "fake engine columns are INTN";
            in.Skip(1);
            in.Skip(in.U8() * 2u);
          }
          break;
        case 0xD1:
          for (std::size_t i = 0; i < columns; ++i) in.Skip(in.U8()), ++token.rowValues;
          break;
        case 0xD2: {
          auto bitmap = in.Take((columns + 7) / 8);
          for (std::size_t i = 0; i < columns; ++i) {
            if (!(bitmap[i / 8] & (1u << (i % 8)))) in.Skip(in.U8()), ++token.rowValues;
          }
          break;
        }
        case 0xAC: {
          in.U16();
          in.Skip(in.U8() * 2u);
          in.Skip(1 + 4 + 2);
          EXPECT_EQ(in.U8(), 0x26);
          in.Skip(1);
          in.Skip(in.U8());
          break;
        }
        default:
          ADD_FAILURE() << "unexpected token " << int(token.type);
          return tokens;
      }
      tokens.push_back(token);
    }
    return tokens;
  }

 private:
  bool ReadExactly(std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
      ssize_t received = ::recv(m_Fd, data + done, size - done, 0);
      if (received <= 0) return false;
      done += static_cast<std::size_t>(received);
    }
    return true;
  }

  int m_Fd;
};

}  // namespace standin::app::testing
