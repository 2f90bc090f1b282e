// A pooled client hands its connection to the next user with the
// reset-connection flag on the next request: sent here byte for byte to a
// started stand-in, since the command-line clients never set it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "../../standin/app/tests/TestClient.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

using app::testing::Bytes;
using app::testing::TestClient;
using app::testing::Token;

constexpr std::uint8_t kEnvDatabase = 1;
constexpr std::uint8_t kEnvRollback = 10;
constexpr std::uint8_t kEnvResetAck = 18;

class ConnectionReset : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Server.Start();
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(m_Server.Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    m_Client = std::make_unique<TestClient>(fd);
    const Bytes prelogin = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                            0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    m_Client->SendMessage(tds::PacketType::Prelogin, prelogin);
    ASSERT_TRUE(m_Client->ReadReply());
    tds::testing::Login7Fields login;
    login.password = u"Standin-Test-1";
    m_Client->SendMessage(tds::PacketType::Login7, tds::testing::BuildLogin7(login));
    auto reply = m_Client->ReadReply();
    ASSERT_TRUE(reply);
    bool acknowledged = false;
    for (const Token& token : TestClient::Tokens(reply->payload))
      acknowledged = acknowledged || token.type == 0xAD;
    ASSERT_TRUE(acknowledged) << "no LOGINACK\n" << m_Server.Log();
  }

  // A batch; `status` adds packet status bits (the reset flags).
  std::vector<Token> Batch(const std::u16string& sql, std::uint8_t status = 0) {
    Bytes payload = tds::testing::AllHeaders();
    Bytes text = tds::testing::Utf16Le(sql);
    payload.insert(payload.end(), text.begin(), text.end());
    m_Client->SendMessage(tds::PacketType::SqlBatch, payload, 4096, status);
    auto reply = m_Client->ReadReply();
    if (!reply) return {};
    return TestClient::Tokens(reply->payload);
  }

  static std::vector<std::uint8_t> EnvChanges(const std::vector<Token>& tokens) {
    std::vector<std::uint8_t> types;
    for (const Token& token : tokens)
      if (token.type == 0xE3) types.push_back(token.envType);
    return types;
  }
  static std::size_t Rows(const std::vector<Token>& tokens) {
    std::size_t rows = 0;
    for (const Token& token : tokens) rows += token.type == 0xD1 || token.type == 0xD2;
    return rows;
  }

  StandinProcess m_Server;
  std::unique_ptr<TestClient> m_Client;
};

// The query answers one row exactly when the session is as a new login's.
const std::u16string kFresh =
    u"SELECT 1 WHERE OBJECT_ID('tempdb..#left') IS NULL AND @@TRANCOUNT = 0 "
    u"AND DB_NAME() = 'master' AND @@TEXTSIZE = 2147483647";

TEST_F(ConnectionReset, TheNextUserFindsTheSessionAsANewLoginWould) {
  ASSERT_EQ(Rows(Batch(kFresh)), 1u);
  std::vector<Token> setup =
      Batch(u"CREATE TABLE #left (n int) SET TEXTSIZE 100 USE tempdb BEGIN TRANSACTION");
  ASSERT_EQ(EnvChanges(setup), (std::vector<std::uint8_t>{kEnvDatabase, 8}));
  ASSERT_EQ(Rows(Batch(kFresh)), 0u) << "the state is there before the reset";

  std::vector<Token> reset = Batch(kFresh, tds::status::kResetConnection);
  EXPECT_EQ(EnvChanges(reset),
            (std::vector<std::uint8_t>{kEnvResetAck, kEnvRollback, kEnvDatabase}));
  EXPECT_EQ(Rows(reset), 1u) << m_Server.Log();
}

TEST_F(ConnectionReset, TheSkipTransactionFlagKeepsTheTransaction) {
  ASSERT_EQ(EnvChanges(Batch(u"BEGIN TRANSACTION")), (std::vector<std::uint8_t>{8}));
  std::vector<Token> reset =
      Batch(u"SELECT 1 WHERE @@TRANCOUNT = 1", tds::status::kResetConnectionSkipTransaction);
  EXPECT_EQ(EnvChanges(reset), (std::vector<std::uint8_t>{kEnvResetAck}));
  EXPECT_EQ(Rows(reset), 1u);
}

}  // namespace
}  // namespace standin::integration
