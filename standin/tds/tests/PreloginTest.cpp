#include <gtest/gtest.h>

#include "tds/Bytes.h"
#include "tds/Prelogin.h"

namespace standin::tds {
namespace {

TEST(Prelogin, ReplyMatchesWhatClientsExpectByteForByte) {
  // VERSION 15.0.2000, ENCRYPTION not supported, INSTOPT 0, THREADID empty, MARS off.
  const std::vector<std::uint8_t> expected = {0x00, 0x00, 0x1A, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00,
                                              0x01, 0x02, 0x00, 0x21, 0x00, 0x01, 0x03, 0x00, 0x22,
                                              0x00, 0x00, 0x04, 0x00, 0x22, 0x00, 0x01, 0xFF, 0x0F,
                                              0x00, 0x07, 0xD0, 0x00, 0x00, 0x02, 0x00, 0x00};
  EXPECT_EQ(BuildPreloginReply(15, 0, 2000), expected);
}

TEST(Prelogin, ReadsEncryptionWhereverTheClientPutsIt) {
  // A FreeTDS-like request: VERSION, ENCRYPTION, INSTOPT, THREADID, MARS.
  const std::vector<std::uint8_t> request = {
      0x00, 0x00, 0x1A, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02, 0x00, 0x21,
      0x00, 0x0C, 0x03, 0x00, 0x2D, 0x00, 0x04, 0x04, 0x00, 0x31, 0x00, 0x01, 0xFF,
      0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 'M',  'S',  'S',  'Q',  'L',  'S',
      'e',  'r',  'v',  'e',  'r',  0x00, 0x01, 0x02, 0x03, 0x04, 0x01};
  PreloginRequest parsed = ParsePrelogin(request);
  ASSERT_TRUE(parsed.encryption);
  EXPECT_EQ(*parsed.encryption, Encryption::Required);
  EXPECT_TRUE(parsed.marsRequested);

  // Unknown options are skipped, absent ones tolerated.
  const std::vector<std::uint8_t> minimal = {0x42, 0x00, 0x06, 0x00, 0x00, 0xFF};
  EXPECT_FALSE(ParsePrelogin(minimal).encryption);
}

TEST(Prelogin, RejectsTablesThatPointOutsideThePacket) {
  const std::vector<std::vector<std::uint8_t>> cases = {
      {},                                    // empty
      {0x00, 0x00, 0x06},                    // entry cut short
      {0x01, 0x00, 0x06, 0x00, 0x01},        // no terminator, data missing
      {0x01, 0x00, 0x40, 0x00, 0x01, 0xFF},  // offset beyond the end
      {0x01, 0x00, 0x06, 0xFF, 0xFF, 0xFF},  // length beyond the end
  };
  for (const auto& payload : cases) EXPECT_THROW(ParsePrelogin(payload), ProtocolError);
}

TEST(Prelogin, RecognisesATlsHandshakeInsteadOfOptions) {
  EXPECT_TRUE(IsTlsHandshake(std::vector<std::uint8_t>{0x16, 0x03, 0x01, 0x00, 0x10}));
  EXPECT_FALSE(IsTlsHandshake(std::vector<std::uint8_t>{0x00, 0x00, 0x06, 0x00, 0x00, 0xFF}));
}

}  // namespace
}  // namespace standin::tds
