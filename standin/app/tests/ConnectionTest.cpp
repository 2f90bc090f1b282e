// The connection's protocol behaviour end to end over a socket pair, with a
// scripted engine: login replies and refusals, reply framing, DONE chaining,
// cancellation and malformed input.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <thread>

#include "Connection.h"
#include "FakeEngine.h"
#include "TestClient.h"

namespace standin::app {
namespace {

using tds::testing::Login7Fields;
using testing::Bytes;
using testing::FakeEngine;
using testing::TestClient;
using testing::Token;

const Bytes kPrelogin = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                         0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

class ConnectionTest : public ::testing::Test {
 protected:
  // Starts a connection served on its own thread; returns the client side.
  std::unique_ptr<TestClient> Connect(
      std::chrono::milliseconds handshakeTimeout = Connection::kHandshakeTimeout) {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    auto connection = std::make_shared<Connection>(fds[0], "test", m_Engine, handshakeTimeout);
    m_Threads.emplace_back([connection] { connection->Run(); });
    return std::make_unique<TestClient>(fds[1]);
  }

  std::optional<testing::Reply> LogIn(TestClient& client, const Login7Fields& fields = {}) {
    client.SendMessage(tds::PacketType::Prelogin, kPrelogin);
    auto prelogin = client.ReadReply();
    EXPECT_TRUE(prelogin);
    client.SendMessage(tds::PacketType::Login7, tds::testing::BuildLogin7(fields));
    return client.ReadReply();
  }

  void TearDown() override {
    for (auto& thread : m_Threads) thread.join();
  }

  FakeEngine m_Engine;
  std::vector<std::thread> m_Threads;
};

std::vector<Token> DoneTokens(const std::vector<Token>& tokens) {
  std::vector<Token> dones;
  for (const Token& token : tokens) {
    if (token.type >= 0xFD) dones.push_back(token);
  }
  return dones;
}

TEST_F(ConnectionTest, LoginReplyHasEverythingClientsWaitFor) {
  auto client = Connect();
  auto reply = LogIn(*client);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->spid, 51) << "the session id goes into every reply header";
  auto tokens = TestClient::Tokens(reply->payload);
  std::vector<std::uint8_t> envTypes;
  std::vector<std::int32_t> infos;
  bool loginAck = false;
  for (const Token& token : tokens) {
    if (token.type == 0xE3) envTypes.push_back(token.envType);
    if (token.type == 0xAB) infos.push_back(token.number);
    loginAck |= token.type == 0xAD;
  }
  EXPECT_EQ(envTypes, (std::vector<std::uint8_t>{1, 7, 2, 4}));
  EXPECT_EQ(infos, (std::vector<std::int32_t>{5701, 5703}));
  EXPECT_TRUE(loginAck);
  ASSERT_FALSE(tokens.empty());
  EXPECT_EQ(tokens.back().type, 0xFD);
  EXPECT_EQ(tokens.back().status, 0);
}

TEST_F(ConnectionTest, RefusedLoginsSayWhyAndCloseTheConnection) {
  struct Case {
    const char* name;
    Login7Fields fields;
    std::vector<std::int32_t> errors;
    const char* textPart;
  };
  Login7Fields wrongPassword;
  wrongPassword.password = u"wrong";
  Login7Fields unknownDatabase;
  unknownDatabase.database = u"nowhere";
  Login7Fields integrated;
  integrated.userName = u"";
  integrated.password = u"";
  integrated.optionFlags2 = 0x83;
  integrated.sspi = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 1, 0, 0, 0};
  Login7Fields tds70;
  tds70.tdsVersion = 0x70000000;
  const Case cases[] = {
      {"wrong password", wrongPassword, {18456}, "Login failed for user 'sa'."},
      {"unknown database", unknownDatabase, {4060, 18456}, "nowhere"},
      {"integrated login", integrated, {50100, 18456}, "SQL Server authentication only"},
      {"TDS 7.0", tds70, {50100, 18456}, "7.1 or later"},
  };
  for (const Case& c : cases) {
    auto client = Connect();
    auto reply = LogIn(*client, c.fields);
    ASSERT_TRUE(reply) << c.name;
    std::vector<std::int32_t> errors;
    std::string text;
    std::vector<Token> tokens;
    if (c.fields.tdsVersion >= 0x72000000) tokens = TestClient::Tokens(reply->payload);
    for (const Token& token : tokens) {
      if (token.type == 0xAA) errors.push_back(token.number), text += token.text;
      EXPECT_NE(token.type, 0xAD) << c.name;
    }
    if (!tokens.empty()) {
      EXPECT_EQ(errors, c.errors) << c.name;
      EXPECT_NE(text.find(c.textPart), std::string::npos) << c.name << ": " << text;
      EXPECT_EQ(tokens.back().status, tds::done::kError) << c.name;
    }
    EXPECT_TRUE(client->ServerClosed()) << c.name;
  }
}

TEST_F(ConnectionTest, EveryDoneButTheLastSaysMore) {
  auto client = Connect();
  ASSERT_TRUE(LogIn(*client));
  client->SendBatch(u"ROWS 3;FAIL;USE other;ROWS 0");
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  auto tokens = TestClient::Tokens(reply->payload);
  auto dones = DoneTokens(tokens);
  ASSERT_EQ(dones.size(), 4u);
  EXPECT_EQ(dones[0].status, tds::done::kMore | tds::done::kCount);
  EXPECT_EQ(dones[0].count, 3u);
  EXPECT_EQ(dones[1].status, tds::done::kMore | tds::done::kError);
  EXPECT_EQ(dones[2].status, tds::done::kMore);
  EXPECT_EQ(dones[3].status, tds::done::kCount) << "final DONE has no DONE_MORE";
  EXPECT_EQ(tokens.back().type, 0xFD);

  // A reply with no statement at all still ends with a DONE.
  client->SendBatch(u"");
  reply = client->ReadReply();
  ASSERT_TRUE(reply);
  tokens = TestClient::Tokens(reply->payload);
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(tokens[0].status, 0);
}

TEST_F(ConnectionTest, RpcRepliesEndWithDoneProcAndReturnOutputs) {
  auto client = Connect();
  ASSERT_TRUE(LogIn(*client));
  Bytes ntext = {0x63, 0xFE, 0xFF, 0xFF, 0x7F, 9, 4, 0xD0, 0, 0x34};
  Bytes statement = tds::testing::Utf16Le(u"ROWS 2");
  Bytes payload = tds::testing::AllHeaders();
  auto append = [&](const Bytes& bytes) {
    payload.insert(payload.end(), bytes.begin(), bytes.end());
  };
  append({0xFF, 0xFF, 10, 0, 0, 0, 0, 0});
  append(ntext);
  append({static_cast<std::uint8_t>(statement.size()), 0, 0, 0});
  append(statement);
  append({2, '@', 0, 'o', 0, 0x01, 0x26, 4, 4, 9, 0, 0, 0});
  append({0xFF});
  append({0xFF, 0xFF, 10, 0, 0, 0});
  client->SendMessage(tds::PacketType::Rpc, payload);
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  auto tokens = TestClient::Tokens(reply->payload);
  std::vector<std::uint8_t> kinds;
  for (const Token& token : tokens) kinds.push_back(token.type);
  EXPECT_EQ(kinds,
            (std::vector<std::uint8_t>{0x81, 0xD1, 0xD1, 0xFD, 0x79, 0xAC, 0xFE, 0x79, 0xFE}));
  auto dones = DoneTokens(tokens);
  EXPECT_EQ(dones[1].status, tds::done::kMore) << "DONEPROC never carries a count";
  EXPECT_EQ(dones[2].status, 0);
}

TEST_F(ConnectionTest, LargeResultsAreSplitAtTheNegotiatedPacketSize) {
  auto client = Connect();
  Login7Fields fields;
  fields.packetSize = 512;
  ASSERT_TRUE(LogIn(*client, fields));
  client->SendBatch(u"ROWS 5000");
  auto reply = client->ReadReply(512);
  ASSERT_TRUE(reply);
  EXPECT_GT(reply->packets, 40u);
  auto tokens = TestClient::Tokens(reply->payload);
  std::size_t rows = 0;
  for (const Token& token : tokens) rows += token.type == 0xD1 || token.type == 0xD2;
  EXPECT_EQ(rows, 5000u);
  EXPECT_EQ(DoneTokens(tokens).back().count, 5000u);
}

TEST_F(ConnectionTest, AttentionEndsTheReplyAndIsAcknowledgedSeparately) {
  auto client = Connect();
  ASSERT_TRUE(LogIn(*client));
  client->SendBatch(u"STREAM");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  client->SendMessage(tds::PacketType::Attention, {});
  auto interrupted = client->ReadReply();
  ASSERT_TRUE(interrupted);
  auto tokens = TestClient::Tokens(interrupted->payload);
  ASSERT_FALSE(tokens.empty());
  EXPECT_EQ(tokens.back().type, 0xFD);
  EXPECT_EQ(tokens.back().status & tds::done::kMore, 0);
  auto ack = client->ReadReply();
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->payload, (Bytes{0xFD, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m_Engine.m_Cancels.load(), 1);

  // Idle attention: acknowledged at once; the connection stays usable.
  client->SendMessage(tds::PacketType::Attention, {});
  ack = client->ReadReply();
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->payload[1], 0x20);
  client->SendBatch(u"ROWS 1");
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(DoneTokens(TestClient::Tokens(reply->payload)).back().count, 1u);
}

TEST_F(ConnectionTest, IgnoredRequestGetsASingleDone) {
  auto client = Connect();
  ASSERT_TRUE(LogIn(*client));
  client->SendMessage(tds::PacketType::SqlBatch, {1, 2, 3}, 4096, tds::status::kIgnore);
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->payload, (Bytes{0xFD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ConnectionTest, MalformedRequestsAreAnsweredOrCloseOnlyTheirConnection) {
  auto bystander = Connect();
  ASSERT_TRUE(LogIn(*bystander));

  // Bad content inside good framing: an error reply, the connection lives on.
  auto client = Connect();
  ASSERT_TRUE(LogIn(*client));
  client->SendMessage(tds::PacketType::Rpc, {0x16, 0, 0, 0, 0xFF, 0xFF, 99});
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  auto tokens = TestClient::Tokens(reply->payload);
  ASSERT_GE(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].type, 0xAA);
  EXPECT_EQ(tokens.back().status, tds::done::kError);
  client->SendBatch(u"ROWS 1");
  ASSERT_TRUE(client->ReadReply());

  // Broken framing: the connection is closed.
  client->Send({0x01, 0x01, 0x00, 0x03, 0, 0, 1, 0});
  EXPECT_FALSE(client->ReadReply());

  // A client that vanishes mid-batch.
  auto leaver = Connect();
  ASSERT_TRUE(LogIn(*leaver));
  leaver->SendBatch(u"STREAM");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  leaver.reset();

  bystander->SendBatch(u"ROWS 2");
  reply = bystander->ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(DoneTokens(TestClient::Tokens(reply->payload)).back().count, 2u);
}

TEST_F(ConnectionTest, HandshakeGarbageClosesQuietly) {
  const std::vector<Bytes> openings = {
      {0x16, 0x03, 0x01, 0x00, 0x05, 0x01, 0x00, 0x00, 0x01},  // TLS first
      {0x02, 0x01, 0x00, 0x0A, 0, 0, 1, 0, 1, 2},              // pre-7.0 login
      {0x12, 0x01, 0x00, 0x0A, 0, 0, 1, 0, 0x01, 0x00},        // PRELOGIN table cut short
      {0x10, 0x01, 0x00, 0x0C, 0, 0, 1, 0, 0xFF, 0, 0, 0},     // LOGIN7 that lies about its length
      {0x01, 0x01, 0x00, 0x0A, 0, 0, 1, 0, 'a', 0},            // a batch before login
  };
  for (const Bytes& opening : openings) {
    auto client = Connect();
    client->Send(opening);
    EXPECT_FALSE(client->ReadReply()) << ::testing::PrintToString(opening);
  }
}

// A client that sends its handshake a byte at a time, each well within the
// time-out, is still closed when the whole handshake takes longer.
TEST_F(ConnectionTest, HandshakeDeadlineIsAbsolute) {
  auto client = Connect(std::chrono::milliseconds(400));
  const Bytes packets = tds::testing::Packetise(tds::PacketType::Prelogin, kPrelogin);
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  for (std::size_t i = 0; i + 1 < packets.size() && !closed; ++i) {
    closed = ::send(client->Fd(), &packets[i], 1, MSG_NOSIGNAL) != 1;
    pollfd descriptor{client->Fd(), POLLIN, 0};
    closed = closed || ::poll(&descriptor, 1, 100) == 1;
  }
  EXPECT_TRUE(closed) << "the trickle was still being read after "
                      << std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count()
                      << " ms";
  EXPECT_TRUE(client->ServerClosed());
}

// Before login, a message may be as large as a LOGIN7 can be and no larger.
TEST_F(ConnectionTest, HandshakeMessagesAreBoundedByTheLargestLogin) {
  auto client = Connect();
  // Packets of one PRELOGIN message that never ends.
  Bytes packet(4096, 0);
  packet[0] = static_cast<std::uint8_t>(tds::PacketType::Prelogin);
  packet[2] = 0x10;
  std::size_t sent = 0;
  while (sent < 4 * tds::kMaxLogin7Size) {
    if (::send(client->Fd(), packet.data(), packet.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(packet.size()))
      break;
    sent += packet.size();
  }
  EXPECT_LT(sent, 4 * tds::kMaxLogin7Size) << "the server kept buffering";
  EXPECT_TRUE(client->ServerClosed());
}

}  // namespace
}  // namespace standin::app
