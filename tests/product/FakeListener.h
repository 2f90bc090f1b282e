// A loopback TCP listener that is not a SQL Server, for tests of what the
// product does with a server that must not be reached or that stops talking:
// it counts the connections it accepts and either closes each at once, holds
// each open without ever answering, or relays each to a real server until
// Freeze() stops the relay in both directions (the connections stay open) or
// a client sends the statement CutAt() names (the server is lost then).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bw::testing {

class FakeListener {
 public:
  enum class Mode { CloseAtOnce, NeverAnswer, Relay };

  // `relayPort`: the loopback port Relay forwards to.
  explicit FakeListener(Mode mode, int relayPort = 0);
  ~FakeListener();
  FakeListener(const FakeListener&) = delete;
  FakeListener& operator=(const FakeListener&) = delete;

  int Port() const { return m_Port; }
  // Connections accepted so far.
  int Accepted() const { return m_Accepted.load(); }
  // From now on nothing is forwarded any more; nothing is closed either.
  void Freeze() { m_Frozen = true; }
  // When a client sends a batch containing `text` (ASCII; it travels as
  // UTF-16LE), that batch is not forwarded, `onCut` runs (on the relay's
  // thread: stop the server there), every relayed connection is closed and
  // later ones are closed at once. Set before the first connection.
  void CutAt(const std::string& text, std::function<void()> onCut);
  bool Cut() const { return m_Cut.load(); }

 private:
  struct Pair {
    int client;
    int server;
    std::string tail;  // the last bytes from the client, for a text split across reads
  };
  void Run();
  void Forward(Pair& pair, bool fromClient);
  bool CutsHere(Pair& pair, const char* data, std::size_t size);
  void CloseAllPairs();

  Mode m_Mode;
  int m_RelayPort;
  int m_Listener = -1;
  int m_Port = 0;
  int m_Wake[2] = {-1, -1};
  std::atomic<int> m_Accepted{0};
  std::atomic<bool> m_Frozen{false};
  std::atomic<bool> m_Stop{false};
  std::atomic<bool> m_Cut{false};
  std::string m_CutPattern;  // UTF-16LE
  std::function<void()> m_OnCut;
  std::vector<int> m_Held;
  std::vector<Pair> m_Pairs;
  std::thread m_Thread;
};

}  // namespace bw::testing
