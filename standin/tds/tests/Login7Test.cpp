#include <gtest/gtest.h>

#include "Login7Builder.h"
#include "tds/Bytes.h"
#include "tds/Login7.h"

namespace standin::tds {
namespace {

using testing::BuildLogin7;
using testing::Login7Fields;

TEST(Login7, DeobfuscatesThePasswordTestVector) {
  const std::vector<std::uint8_t> wire = {0xE2, 0xA5, 0xF3, 0xA5, 0x92, 0xA5, 0xE2,
                                          0xA5, 0xA2, 0xA5, 0xD2, 0xA5, 0xE3, 0xA5};
  const std::vector<std::uint8_t> clear = {'t', 0, 'e', 0, 's', 0, 't', 0, 'p', 0, 'w', 0, 'd', 0};
  EXPECT_EQ(DeobfuscatePassword(wire), clear);
}

TEST(Login7, ParsesTheLayoutsOfDifferentClientsAndVersions) {
  struct Case {
    const char* name;
    Login7Fields fields;
    std::string expectedUser = "sa";
  };
  Login7Fields tds71;
  tds71.tdsVersion = 0x71000001;
  Login7Fields tds74WithFeatures;
  tds74WithFeatures.featureExtension = true;
  Login7Fields nonAscii;
  nonAscii.userName = u"J\u00fcrgen";
  nonAscii.password = u"p\u00e4ss\u20ac";
  nonAscii.database = u"Archiv \u00c4";
  Login7Fields noDatabase;
  noDatabase.database = u"";
  const Case cases[] = {
      {"7.4", Login7Fields{}},
      {"7.1 with the short fixed part", tds71},
      {"7.4 with FeatureExt at the end", tds74WithFeatures},
      {"non-ASCII names and password", nonAscii, "J\xC3\xBCrgen"},
      {"no database", noDatabase},
  };
  for (const Case& c : cases) {
    Login7 login = ParseLogin7(BuildLogin7(c.fields));
    EXPECT_EQ(login.tdsVersion, c.fields.tdsVersion) << c.name;
    EXPECT_EQ(login.packetSize, 4096u) << c.name;
    EXPECT_EQ(login.userName, c.expectedUser) << c.name;
    EXPECT_EQ(login.hostName, "client-host") << c.name;
    EXPECT_EQ(login.applicationName, "tests") << c.name;
    EXPECT_FALSE(login.IntegratedSecurity()) << c.name;
  }
  Login7 special = ParseLogin7(BuildLogin7(nonAscii));
  EXPECT_EQ(special.password, "p\xC3\xA4ss\xE2\x82\xAC");
  EXPECT_EQ(special.database, "Archiv \xC3\x84");
  EXPECT_EQ(ParseLogin7(BuildLogin7(noDatabase)).database, "");
}

TEST(Login7, SeesAnIntegratedLoginByItsSspiBlob) {
  Login7Fields ntlm;
  ntlm.userName = u"";
  ntlm.password = u"";
  ntlm.optionFlags2 = 0x83;
  ntlm.sspi = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 1, 0, 0, 0};
  Login7 login = ParseLogin7(BuildLogin7(ntlm));
  EXPECT_TRUE(login.IntegratedSecurity());
  EXPECT_EQ(login.sspi, ntlm.sspi);
}

TEST(Login7, ToleratesABogusLengthForAnEmptyHostName) {
  Login7Fields fields;
  fields.hostName = u"";
  auto record = BuildLogin7(fields);
  // One client writes the current data offset as the length of an empty host name.
  record[38] = 0x5E;
  record[39] = 0x10;
  EXPECT_EQ(ParseLogin7(record).hostName, "");
}

TEST(Login7, RejectsMalformedRecords) {
  auto valid = BuildLogin7(Login7Fields{});
  auto withLength = [&](std::uint32_t length) {
    auto record = valid;
    for (int i = 0; i < 4; ++i) record[i] = static_cast<std::uint8_t>(length >> (8 * i));
    return record;
  };
  auto withPair = [&](std::size_t at, std::uint16_t offset, std::uint16_t count) {
    auto record = valid;
    record[at] = static_cast<std::uint8_t>(offset);
    record[at + 1] = static_cast<std::uint8_t>(offset >> 8);
    record[at + 2] = static_cast<std::uint8_t>(count);
    record[at + 3] = static_cast<std::uint8_t>(count >> 8);
    return record;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> record;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"only the length", {0x5E, 0, 0, 0}},
      {"truncated fixed part", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 60)},
      {"length larger than the message", withLength(static_cast<std::uint32_t>(valid.size() + 1))},
      {"length smaller than the fixed part", withLength(40)},
      {"7.4 record with only the 7.1 fixed part",
       [&] {
         auto record = withLength(90);
         record.resize(90);
         return record;
       }()},
      {"user name beyond the end", withPair(40, 0xFFF0, 4)},
      {"user name longer than the record", withPair(40, 94, 0x7FFF)},
      {"password beyond the end", withPair(44, static_cast<std::uint16_t>(valid.size()), 1)},
      {"database beyond the end", withPair(68, 94, 0xFFFF)},
      {"SSPI blob beyond the end", withPair(78, 94, 0xFFF0)},
  };
  for (const Case& c : cases) EXPECT_THROW(ParseLogin7(c.record), ProtocolError) << c.name;
}

TEST(Login7, NegotiatesTheClientsVersionOrRefusesOldOnes) {
  struct Case {
    std::uint32_t requested;
    std::optional<TdsVersion> answer;
  };
  const Case cases[] = {
      {0x71000001, TdsVersion::V7_1},  {0x72090002, TdsVersion::V7_2},
      {0x730A0003, TdsVersion::V7_3A}, {0x730B0003, TdsVersion::V7_3B},
      {0x74000004, TdsVersion::V7_4},  {0x75000005, TdsVersion::V7_4},
      {0x70000000, std::nullopt},      {0x00000000, std::nullopt},
      {0x08000000, std::nullopt},
  };
  for (const Case& c : cases) {
    if (c.answer) {
      EXPECT_EQ(NegotiateVersion(c.requested), *c.answer) << std::hex << c.requested;
    } else {
      EXPECT_THROW(NegotiateVersion(c.requested), ProtocolError) << std::hex << c.requested;
    }
  }
}

TEST(Login7, GrantsPacketSizesWithinTheProtocolLimits) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 4096},    {4096, 4096},   {512, 512},     {100, 512},
      {8191, 8188}, {32767, 32764}, {65536, 32764}, {0xFFFFFFFF, 32764},
  };
  for (auto [requested, granted] : cases)
    EXPECT_EQ(NegotiatePacketSize(requested), granted) << requested;
}

}  // namespace
}  // namespace standin::tds
