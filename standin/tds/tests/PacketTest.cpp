// Message reassembly and reply splitting: the framing every request and reply
// goes through, with the stream cut at awkward places.
#include <gtest/gtest.h>

#include <numeric>

#include "Login7Builder.h"
#include "tds/Bytes.h"
#include "tds/Packet.h"

namespace standin::tds {
namespace {

using testing::Packetise;

std::vector<std::uint8_t> Sequence(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

TEST(MessageAssembler, ReassemblesWhateverWayTheStreamIsCut) {
  auto payload = Sequence(10000);
  auto stream = Packetise(PacketType::SqlBatch, payload, 512);
  auto second = Packetise(PacketType::Rpc, Sequence(3), 512);
  stream.insert(stream.end(), second.begin(), second.end());
  for (std::size_t chunk :
       {std::size_t{1}, std::size_t{7}, std::size_t{512}, std::size_t{513}, stream.size()}) {
    MessageAssembler assembler;
    std::vector<Message> messages;
    for (std::size_t offset = 0; offset < stream.size(); offset += chunk) {
      std::size_t size = std::min(chunk, stream.size() - offset);
      assembler.Feed(std::span(stream).subspan(offset, size));
      while (auto message = assembler.Next()) messages.push_back(std::move(*message));
    }
    ASSERT_EQ(messages.size(), 2u) << "chunk " << chunk;
    EXPECT_EQ(messages[0].type, PacketType::SqlBatch);
    EXPECT_EQ(messages[0].payload, payload);
    EXPECT_EQ(messages[1].type, PacketType::Rpc);
    EXPECT_EQ(messages[1].payload.size(), 3u);
    EXPECT_FALSE(assembler.InsideMessage());
  }
}

TEST(MessageAssembler, IgnoreBitDiscardsTheAbortedRequest) {
  MessageAssembler assembler;
  auto first = Packetise(PacketType::SqlBatch, Sequence(5000), 4096);
  // The client gives up after the first packet and ends with IGNORE|EOM.
  first.resize(4096);
  auto abort = Packetise(PacketType::SqlBatch, Sequence(4), 4096, status::kIgnore);
  assembler.Feed(first);
  assembler.Feed(abort);
  auto message = assembler.Next();
  ASSERT_TRUE(message);
  EXPECT_TRUE(message->ignored);
  EXPECT_TRUE(message->payload.empty());
}

TEST(MessageAssembler, AttentionInsideARequestDropsThePartialRequest) {
  MessageAssembler assembler;
  auto partial = Packetise(PacketType::SqlBatch, Sequence(5000), 4096);
  partial.resize(4096);
  assembler.Feed(partial);
  assembler.Feed(Packetise(PacketType::Attention, {}, 4096));
  assembler.Feed(Packetise(PacketType::SqlBatch, Sequence(2), 4096));
  auto attention = assembler.Next();
  ASSERT_TRUE(attention);
  EXPECT_EQ(attention->type, PacketType::Attention);
  auto next = assembler.Next();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->payload.size(), 2u);
}

TEST(MessageAssembler, RejectsMalformedHeaders) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"length below header size", {0x01, 0x01, 0x00, 0x07, 0, 0, 1, 0}},
      {"zero length", {0x01, 0x01, 0x00, 0x00, 0, 0, 1, 0}},
      {"longer than 32 KiB", {0x01, 0x01, 0x80, 0x01, 0, 0, 1, 0}},
      {"server reply type from a client", {0x04, 0x01, 0x00, 0x08, 0, 0, 1, 0}},
      {"unknown type", {0x55, 0x01, 0x00, 0x08, 0, 0, 1, 0}},
      {"TLS record instead of a packet", {0x16, 0x03, 0x01, 0x02, 0x00, 0x01, 0x00, 0x01}},
      {"type changes inside a message",
       {0x01, 0x00, 0x00, 0x09, 0, 0, 1, 0, 'a', 0x03, 0x01, 0x00, 0x09, 0, 0, 2, 0, 'b'}},
  };
  for (const Case& c : cases) {
    MessageAssembler assembler;
    EXPECT_THROW(assembler.Feed(c.bytes), ProtocolError) << c.name;
  }
}

TEST(MessageAssembler, BoundsTheSizeOfOneMessage) {
  MessageAssembler assembler;
  std::vector<std::uint8_t> packet(32768, 0);
  packet[0] = 0x01;
  packet[2] = 0x80;
  packet[3] = 0x00;
  EXPECT_THROW(
      {
        for (std::size_t i = 0; i <= kMaxMessageSize / packet.size() + 1; ++i)
          assembler.Feed(packet);
      },
      ProtocolError);
}

struct SentPacket {
  std::uint8_t status;
  std::uint16_t length;
  std::uint16_t spid;
  std::uint8_t id;
  std::vector<std::uint8_t> body;
};

std::vector<SentPacket> Split(std::vector<std::uint8_t> bytes) {
  std::vector<SentPacket> packets;
  ByteReader reader(bytes);
  while (!reader.AtEnd()) {
    SentPacket packet;
    EXPECT_EQ(reader.U8(), 0x04);
    packet.status = reader.U8();
    packet.length = reader.U16BigEndian();
    packet.spid = reader.U16BigEndian();
    packet.id = reader.U8();
    reader.U8();
    auto body = reader.Take(packet.length - 8u);
    packet.body.assign(body.begin(), body.end());
    packets.push_back(packet);
  }
  return packets;
}

TEST(MessageWriter, SplitsAtThePacketSizeAndMarksOnlyTheLastPacket) {
  struct Case {
    std::size_t payload;
    std::size_t expectedPackets;
  };
  // 512-byte packets carry 504 bytes: an exact fit stays one packet (no
  // empty EOM packet), one byte more needs a second.
  for (Case c : {Case{0, 1}, Case{504, 1}, Case{505, 2}, Case{1008, 2}, Case{5000, 10}}) {
    std::vector<std::uint8_t> sent;
    MessageWriter writer(
        [&](std::span<const std::uint8_t> bytes) {
          sent.insert(sent.end(), bytes.begin(), bytes.end());
        },
        512);
    writer.SetSpid(53);
    writer.Payload() = Sequence(c.payload);
    writer.FlushFull();
    writer.EndMessage();
    auto packets = Split(sent);
    ASSERT_EQ(packets.size(), c.expectedPackets) << c.payload;
    std::vector<std::uint8_t> joined;
    for (std::size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i].status, i + 1 == packets.size() ? 0x01 : 0x00);
      EXPECT_LE(packets[i].length, 512);
      EXPECT_EQ(packets[i].spid, 53);
      EXPECT_EQ(packets[i].id, static_cast<std::uint8_t>(i + 1));
      joined.insert(joined.end(), packets[i].body.begin(), packets[i].body.end());
    }
    EXPECT_EQ(joined, Sequence(c.payload));
  }
}

TEST(MessageWriter, FlushKeepsThePartialPacketForTheEnd) {
  std::size_t packetsSent = 0;
  MessageWriter writer([&](std::span<const std::uint8_t>) { ++packetsSent; }, 512);
  writer.Payload() = Sequence(700);
  writer.FlushFull();
  EXPECT_EQ(packetsSent, 1u);
  EXPECT_EQ(writer.Payload().size(), 700u - 504u);
  writer.EndMessage();
  EXPECT_EQ(packetsSent, 2u);
  EXPECT_FALSE(writer.MessageStarted());
}

}  // namespace
}  // namespace standin::tds
