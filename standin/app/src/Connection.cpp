#include "Connection.h"

#include <array>
#include <charconv>

#include "Log.h"
#include "ReplyWriter.h"
#include "engine/Errors.h"
#include "service/LoginThrottle.h"
#include "tds/Prelogin.h"
#include "tds/Requests.h"
#include "tds/TokenWriter.h"

namespace standin::app {
namespace {

// Requests a client may send ahead of their replies before the reader waits;
// the reader keeps a little slack so an ATTENTION behind them is still seen.
constexpr std::size_t kMaxQueuedRequests = 8;

// "8.00.2039" → {8, 0, 0x07, 0xF7}.
std::array<std::uint8_t, 4> ParseProductVersion(const std::string& text) {
  unsigned parts[3] = {0, 0, 0};
  std::size_t index = 0;
  const char* position = text.data();
  const char* end = text.data() + text.size();
  while (index < 3 && position < end) {
    auto result = std::from_chars(position, end, parts[index]);
    position = result.ptr;
    ++index;
    if (position < end && *position == '.')
      ++position;
    else
      break;
  }
  return {static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts[1]),
          static_cast<std::uint8_t>(parts[2] >> 8), static_cast<std::uint8_t>(parts[2])};
}

std::string VersionName(tds::TdsVersion version) {
  switch (version) {
    case tds::TdsVersion::V7_0:
      return "7.0";
    case tds::TdsVersion::V7_1:
      return "7.1";
    case tds::TdsVersion::V7_2:
      return "7.2";
    case tds::TdsVersion::V7_3A:
      return "7.3A";
    case tds::TdsVersion::V7_3B:
      return "7.3B";
    case tds::TdsVersion::V7_4:
      return "7.4";
  }
  return "?";
}

engine::Message ProtocolMessage(const std::string& detail) {
  return engine::MakeMessage(4002, {"The incoming tabular data stream (TDS) protocol stream is "
                                    "incorrect: " +
                                    detail});
}

}  // namespace

Connection::Connection(int fd, std::string peer, engine::Engine& engine,
                       std::chrono::milliseconds handshakeTimeout, service::LoginThrottle* throttle)
    : m_Socket(fd),
      m_Peer(std::move(peer)),
      m_Engine(engine),
      m_HandshakeTimeout(handshakeTimeout),
      m_Throttle(throttle),
      m_Writer([this](std::span<const std::uint8_t> bytes) { m_Socket.WriteAll(bytes); }) {
  // Until the login succeeds the client is a stranger: nothing it may send
  // before then is larger than a LOGIN7.
  m_Assembler.SetMaxMessageSize(tds::kMaxLogin7Size);
}

Connection::~Connection() {
  StopReader();
}

void Connection::StopReader() {
  m_Socket.ShutDown();
  {
    std::lock_guard lock(m_Mutex);
    m_Stopping = true;
    m_Changed.notify_all();
  }
  if (m_Reader.joinable()) m_Reader.join();
}

void Connection::Run() {
  try {
    if (Handshake()) Serve();
  } catch (const SocketClosed&) {
    // The client went away; nothing to answer.
  } catch (const std::exception& failure) {
    LogLine("connection from " + m_Peer + ": " + failure.what());
  }
  StopReader();
  if (m_Session) LogLine("spid " + std::to_string(m_Session->Spid()) + " disconnected");
  m_Session.reset();
}

std::optional<tds::Message> Connection::ReadHandshakeMessage() {
  std::array<std::uint8_t, 8192> buffer;
  bool first = !m_Assembler.InsideMessage();
  while (true) {
    if (auto message = m_Assembler.Next()) return message;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_HandshakeDeadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      LogLine("connection from " + m_Peer + " closed: no complete login within " +
              std::to_string(m_HandshakeTimeout.count()) + " ms");
      return std::nullopt;
    }
    std::size_t received;
    try {
      received = m_Socket.ReadSome(buffer, static_cast<int>(left.count()));
    } catch (const SocketClosed&) {
      if (std::chrono::steady_clock::now() < m_HandshakeDeadline) throw;
      continue;  // the deadline passed: said above
    }
    if (received == 0) return std::nullopt;
    if (first && buffer[0] == 0x16) {
      // A TLS record before any TDS packet: strict (TDS 8.0) encryption.
      LogLine("connection from " + m_Peer +
              " refused: the client requires TLS encryption, which sqlstandin does not support");
      return std::nullopt;
    }
    first = false;
    m_Assembler.Feed(std::span(buffer).first(received));
  }
}

bool Connection::Handshake() {
  m_HandshakeDeadline = std::chrono::steady_clock::now() + m_HandshakeTimeout;
  std::optional<tds::Message> message;
  try {
    message = ReadHandshakeMessage();
    if (!message) return false;
    if (message->type == tds::PacketType::Prelogin) {
      tds::PreloginRequest prelogin = tds::ParsePrelogin(message->payload);
      if (prelogin.encryption == tds::Encryption::Required) {
        LogLine("connection from " + m_Peer +
                ": the client requires encryption, which sqlstandin does not support; "
                "answered 'encryption not supported'");
      }
      auto version = ParseProductVersion(m_Engine.ProductVersion());
      m_Writer.Payload() = tds::BuildPreloginReply(
          version[0], version[1], static_cast<std::uint16_t>((version[2] << 8) | version[3]));
      m_Writer.EndMessage();
      message = ReadHandshakeMessage();
      if (!message) {
        // Drivers set to require encryption give up here without a word to
        // the server; say why the login never came.
        bool wantedEncryption = prelogin.encryption == tds::Encryption::On ||
                                prelogin.encryption == tds::Encryption::Required;
        LogLine("connection from " + m_Peer + " closed by the client before login" +
                (wantedEncryption ? " (it asked for encryption, which sqlstandin does not support; "
                                    "configure the client with encryption off)"
                                  : ""));
        return false;
      }
      if (message->type == tds::PacketType::Prelogin && tds::IsTlsHandshake(message->payload)) {
        LogLine("connection from " + m_Peer +
                " refused: the client insists on TLS encryption, which sqlstandin does not "
                "support; connect with encryption off");
        return false;
      }
    }
  } catch (const tds::ProtocolError& failure) {
    LogLine("connection from " + m_Peer + " closed: malformed handshake: " + failure.what());
    return false;
  }
  if (message->type == tds::PacketType::PreTds7Login) {
    // Older protocol versions; closing quietly is what such clients expect.
    LogLine("connection from " + m_Peer + " closed: pre-7.0 TDS login is not supported");
    return false;
  }
  if (message->type != tds::PacketType::Login7) {
    LogLine("connection from " + m_Peer + " closed: expected a login, got packet type " +
            std::to_string(static_cast<int>(message->type)));
    return false;
  }
  return Login(*message);
}

void Connection::RefuseLogin(tds::TdsVersion version,
                             const std::vector<engine::Message>& messages) {
  tds::TokenWriter tokens(m_Writer.Payload(), version);
  for (const engine::Message& message : messages) tokens.Message(message, m_Engine.ServerName());
  tokens.Done(tds::Token::Done, tds::done::kError, 0, 0);
  m_Writer.EndMessage();
}

bool Connection::Login(const tds::Message& message) {
  tds::Login7 login;
  try {
    login = tds::ParseLogin7(message.payload);
  } catch (const tds::ProtocolError& failure) {
    LogLine("connection from " + m_Peer + " closed: malformed LOGIN7: " + failure.what());
    return false;
  }
  // Until LOGINACK the client reads tokens with the widths of the version it
  // asked for; the failure reply must use them too.
  try {
    m_Version = tds::NegotiateVersion(login.tdsVersion);
  } catch (const tds::ProtocolError& failure) {
    LogLine("login from " + m_Peer + " refused: " + failure.what());
    RefuseLogin(tds::TdsVersion::V7_1,
                {engine::MakeMessage(engine::kErrorUnsupported,
                                     {"TDS protocol versions before 7.1; configure the client for "
                                      "TDS 7.1 or later"}),
                 engine::MakeMessage(18456, {login.userName})});
    return false;
  }
  if (login.IntegratedSecurity()) {
    LogLine("login from " + m_Peer + " refused: integrated (Windows) authentication requested");
    RefuseLogin(m_Version,
                {engine::MakeMessage(engine::kErrorUnsupported,
                                     {"integrated (Windows/SSPI) authentication; it supports SQL "
                                      "Server authentication only, log in with a SQL Server login "
                                      "and password"}),
                 engine::MakeMessage(18456, {login.userName})});
    return false;
  }
  engine::LoginRequest request{login.userName, login.password, login.database, login.hostName,
                               login.applicationName};
  const std::string source = service::LoginThrottle::SourceOf(m_Peer);
  if (m_Throttle) m_Throttle->Wait(source);
  try {
    m_Session = m_Engine.Login(request);
  } catch (const engine::SqlError& failure) {
    std::vector<engine::Message> messages{failure.Msg()};
    std::string count;
    if (failure.Msg().number != 18456) {
      messages.push_back(engine::MakeMessage(18456, {login.userName}));
    } else if (m_Throttle) {
      // A wrong login or password: the next attempt from there waits longer.
      count = " (failure " + std::to_string(m_Throttle->Failed(source)) + " from " + source + ")";
    }
    LogLine("login from " + m_Peer + " failed for user '" + login.userName + "': error " +
            std::to_string(failure.Msg().number) + ": " + failure.Msg().text + count);
    RefuseLogin(m_Version, messages);
    return false;
  }
  m_Assembler.SetMaxMessageSize(tds::kMaxMessageSize);
  m_PacketSize = tds::NegotiatePacketSize(login.packetSize);
  m_Writer.SetSpid(static_cast<std::uint16_t>(m_Session->Spid()));
  SendLoginReply();
  m_Writer.SetPacketSize(m_PacketSize);
  LogLine("spid " + std::to_string(m_Session->Spid()) + ": login '" + login.userName + "' from " +
          m_Peer + " (" +
          (login.applicationName.empty() ? "no application name" : login.applicationName) +
          ", TDS " + VersionName(m_Version) + ", packet size " + std::to_string(m_PacketSize) +
          ", database " + m_Session->CurrentDatabase() + ")");
  return true;
}

void Connection::SendLoginReply() {
  tds::TokenWriter tokens(m_Writer.Payload(), m_Version);
  std::string database = m_Session->CurrentDatabase();
  tokens.EnvChangeText(tds::EnvChangeKind::Database, database, "master");
  engine::Message databaseChanged = engine::MakeMessage(5701, {database});
  databaseChanged.state = 2;
  databaseChanged.severity = 0;
  tokens.Message(databaseChanged, m_Engine.ServerName());
  tokens.EnvChangeBytes(tds::EnvChangeKind::Collation, tds::kCollation, {});
  tokens.EnvChangeText(tds::EnvChangeKind::Language, "us_english", "");
  engine::Message languageChanged = engine::MakeMessage(5703, {"us_english"});
  languageChanged.state = 1;
  languageChanged.severity = 0;
  tokens.Message(languageChanged, m_Engine.ServerName());
  tokens.EnvChangeText(tds::EnvChangeKind::PacketSize, std::to_string(m_PacketSize),
                       std::to_string(tds::kDefaultPacketSize));
  tokens.LoginAck("Microsoft SQL Server", ParseProductVersion(m_Engine.ProductVersion()));
  tokens.Done(tds::Token::Done, tds::done::kFinal, 0, 0);
  m_Writer.EndMessage();
}

void Connection::Push(Item item) {
  std::lock_guard lock(m_Mutex);
  m_Queue.push_back(std::move(item));
  m_Changed.notify_all();
}

Connection::Item Connection::Pop() {
  std::unique_lock lock(m_Mutex);
  m_Changed.wait(lock, [this] { return !m_Queue.empty(); });
  Item item = std::move(m_Queue.front());
  m_Queue.pop_front();
  m_Changed.notify_all();
  return item;
}

void Connection::ReaderLoop() {
  std::vector<std::uint8_t> buffer(64 * 1024);
  try {
    while (true) {
      std::size_t received = m_Socket.ReadSome(buffer);
      if (received == 0) break;
      m_Assembler.Feed(std::span(buffer).first(received));
      while (auto message = m_Assembler.Next()) {
        if (message->type == tds::PacketType::Attention) {
          m_AttentionPending = true;
          {
            std::lock_guard lock(m_Mutex);
            if (m_Executing) m_Session->RequestCancel();
          }
          Push(Item{Item::Kind::Attention, {}});
          continue;
        }
        {
          std::unique_lock lock(m_Mutex);
          m_Changed.wait(lock,
                         [this] { return m_Stopping || m_Queue.size() < kMaxQueuedRequests; });
          if (m_Stopping) return;
        }
        Push(Item{Item::Kind::Request, std::move(*message)});
      }
    }
  } catch (const tds::ProtocolError& failure) {
    LogLine("spid " + std::to_string(m_Session->Spid()) + ": connection closed: " + failure.what());
  } catch (const SocketClosed&) {
  }
  // Nobody is left to read what a running batch produces.
  {
    std::lock_guard lock(m_Mutex);
    if (m_Executing) m_Session->RequestCancel();
  }
  Push(Item{Item::Kind::Closed, {}});
}

void Connection::Serve() {
  m_Session->SetKillHandler([this] { m_Socket.ShutDown(); });
  // Kept until the session ends: the socket outlives it.
  m_Session->SetClientGoneProbe([this] { return m_Socket.PeerClosed(); });
  m_Reader = std::thread([this] { ReaderLoop(); });
  while (true) {
    Item item = Pop();
    if (item.kind == Item::Kind::Closed || m_Session->IsKilled()) break;
    if (item.kind == Item::Kind::Attention) {
      m_AttentionPending = false;
      SendAttentionAck();
      continue;
    }
    Execute(item.message);
  }
  m_Session->SetKillHandler({});
}

void Connection::SendDoneOnly(std::uint16_t status) {
  tds::TokenWriter tokens(m_Writer.Payload(), m_Version);
  tokens.Done(tds::Token::Done, status, 0, 0);
  m_Writer.EndMessage();
}

void Connection::SendAttentionAck() {
  // Its own message after the interrupted reply: some clients read exactly one
  // further message looking for it.
  SendDoneOnly(tds::done::kAttention);
}

void Connection::Execute(const tds::Message& message) {
  if (message.ignored) {
    SendDoneOnly(tds::done::kFinal);
    return;
  }
  {
    std::lock_guard lock(m_Mutex);
    m_Executing = true;
  }
  ReplyWriter reply(m_Writer, m_Version, m_Engine.ServerName(), m_Session->Spid(),
                    m_AttentionPending, [this] { m_Session->RequestCancel(); });
  if (!m_AttentionPending) {
    try {
      if (message.firstStatus &
          (tds::status::kResetConnection | tds::status::kResetConnectionSkipTransaction)) {
        tds::TokenWriter(m_Writer.Payload(), m_Version)
            .EnvChangeBytes(tds::EnvChangeKind::ResetConnectionAck, {}, {});
        // Pooled clients hand the connection to the next user with this flag.
        m_Session->ResetConnection(
            (message.firstStatus & tds::status::kResetConnectionSkipTransaction) != 0, reply);
      }
      switch (message.type) {
        case tds::PacketType::SqlBatch:
          m_Session->ExecuteBatch(tds::ParseSqlBatch(message.payload, m_Version), reply);
          break;
        case tds::PacketType::Rpc:
          for (const tds::RpcCall& call : tds::ParseRpc(message.payload, m_Version)) {
            m_Session->ExecuteRpc(call.procedureName, call.parameters, reply);
            if (m_AttentionPending || reply.ClientGone()) break;
          }
          break;
        case tds::PacketType::TransactionManager:
          ExecuteTransactionRequest(message, reply);
          break;
        case tds::PacketType::BulkLoad:
          reply.Error(engine::MakeMessage(engine::kErrorUnsupported, {"bulk load"}));
          break;
        default:
          reply.Error(ProtocolMessage("unexpected packet type " +
                                      std::to_string(static_cast<int>(message.type))));
          break;
      }
    } catch (const tds::ProtocolError& failure) {
      reply.Error(ProtocolMessage(failure.what()));
    } catch (const engine::SqlError& failure) {
      reply.Error(failure.Msg());
    } catch (const SocketClosed&) {
      // Handled below through ClientGone.
    } catch (const std::exception& failure) {
      reply.Error(engine::MakeMessage(engine::kErrorStorage, {failure.what()}));
    }
  }
  reply.Finish();
  {
    std::lock_guard lock(m_Mutex);
    m_Executing = false;
  }
  if (reply.ClientGone()) m_Socket.ShutDown();
}

void Connection::ExecuteTransactionRequest(const tds::Message& message, ReplyWriter& reply) {
  tds::TransactionRequest request = tds::ParseTransactionRequest(message.payload, m_Version);
  std::string sql;
  switch (request.kind) {
    case tds::TransactionRequest::Kind::Begin:
      sql = "BEGIN TRANSACTION";
      break;
    case tds::TransactionRequest::Kind::Commit:
      sql = "COMMIT TRANSACTION";
      break;
    case tds::TransactionRequest::Kind::Rollback:
      sql = "ROLLBACK TRANSACTION";
      break;
    case tds::TransactionRequest::Kind::Save:
      reply.Error(engine::MakeMessage(engine::kErrorUnsupported,
                                      {"savepoints requested through the transaction manager"}));
      return;
  }
  if (request.beginNew) sql += "\nBEGIN TRANSACTION";
  m_Session->ExecuteBatch(sql, reply);
}

}  // namespace standin::app
