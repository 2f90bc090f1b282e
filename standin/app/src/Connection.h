// One client connection: the PRELOGIN/LOGIN7 handshake, then requests until
// the client leaves, the session is killed or the server shuts down.
//
// Two threads serve a connection. Run() (the connection's thread) executes
// requests one at a time and writes every reply; after login a reader thread
// receives packets, so an ATTENTION is seen while a batch runs, and hands
// requests over through a queue. Only Run() writes to the socket.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Socket.h"
#include "tds/EngineTypes.h"
#include "tds/Login7.h"
#include "tds/Packet.h"

namespace standin::service {
class LoginThrottle;
}

namespace standin::app {

class Connection {
 public:
  // A client that connects and never finishes its login must not hold a
  // thread for ever.
  static constexpr std::chrono::milliseconds kHandshakeTimeout{60'000};

  // Takes ownership of the connected socket `fd`. `peer` names the client in
  // log lines. The whole handshake (PRELOGIN to LOGIN7) must arrive within
  // `handshakeTimeout`, however the client spreads its bytes. `throttle`
  // (may be null) delays logins from addresses that failed before.
  Connection(int fd, std::string peer, engine::Engine& engine,
             std::chrono::milliseconds handshakeTimeout = kHandshakeTimeout,
             service::LoginThrottle* throttle = nullptr);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Serves the connection to its end. Never throws.
  void Run();
  // Ends the connection from another thread (server shutdown).
  void Close() { m_Socket.ShutDown(); }

 private:
  struct Item {
    enum class Kind { Request, Attention, Closed };
    Kind kind = Kind::Closed;
    tds::Message message;
  };

  std::optional<tds::Message> ReadHandshakeMessage();
  bool Handshake();
  bool Login(const tds::Message& message);
  void RefuseLogin(tds::TdsVersion version, const std::vector<engine::Message>& messages);
  void SendLoginReply();
  void StopReader();

  void ReaderLoop();
  void Push(Item item);
  Item Pop();
  void Serve();
  void Execute(const tds::Message& message);
  void ExecuteTransactionRequest(const tds::Message& message, class ReplyWriter& reply);
  void SendAttentionAck();
  void SendDoneOnly(std::uint16_t status);

  Socket m_Socket;
  std::string m_Peer;
  engine::Engine& m_Engine;
  std::chrono::milliseconds m_HandshakeTimeout;
  service::LoginThrottle* m_Throttle;
  std::chrono::steady_clock::time_point m_HandshakeDeadline;
  tds::MessageAssembler m_Assembler;
  tds::MessageWriter m_Writer;
  tds::TdsVersion m_Version = tds::TdsVersion::V7_4;
  std::uint32_t m_PacketSize = tds::kDefaultPacketSize;
  std::unique_ptr<engine::Session> m_Session;
  std::string m_LoginDatabase;

  std::thread m_Reader;
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  std::deque<Item> m_Queue;
  bool m_Executing = false;  // guarded by m_Mutex
  bool m_Stopping = false;   // guarded by m_Mutex
  std::atomic<bool> m_AttentionPending{false};
};

}  // namespace standin::app
