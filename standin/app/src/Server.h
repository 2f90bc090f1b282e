// The listener: accepts connections on one address and serves each on its own
// thread until Stop().
//
// It keeps accepting whatever happens to one connection: a thread that cannot
// be started refuses that connection only, and when the process is out of
// descriptors it pauses rather than spins. Connections beyond the limit are
// closed at once. Each of these is logged.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tds/EngineTypes.h"

namespace standin::service {
class LoginThrottle;
}

namespace standin::app {

class Connection;

struct ServerOptions {
  // Connections served at once; more are closed as they arrive.
  std::size_t maxConnections = 256;
  std::chrono::milliseconds handshakeTimeout{60'000};
  // Slows password guessing; may be null.
  service::LoginThrottle* throttle = nullptr;
  // Starts a connection's thread (std::thread by default); may throw like
  // std::thread's constructor. Tests make it fail.
  std::function<std::thread(std::function<void()>)> startThread;
};

class Server {
 public:
  explicit Server(engine::Engine& engine, ServerOptions options = {});
  ~Server();

  // Binds and listens; throws std::runtime_error with a readable reason.
  // Returns the port actually bound (useful with port 0).
  int Listen(const std::string& address, int port);
  // Accepts connections until Stop() is called (from a signal watcher or
  // another thread).
  void Serve();
  // Stops accepting, ends every connection and waits for their threads.
  void Stop();

 private:
  struct Slot {
    std::shared_ptr<Connection> connection;
    std::thread thread;
    std::shared_ptr<bool> finished;
  };
  // Both return false when Serve() should end.
  bool AcceptFailed(int error);
  bool Start(int fd, const std::string& peer);
  void ReapFinished();
  void Pause(int milliseconds);

  engine::Engine& m_Engine;
  ServerOptions m_Options;
  int m_ListenFd = -1;
  int m_WakePipe[2] = {-1, -1};
  std::mutex m_Mutex;
  std::list<Slot> m_Slots;
  bool m_Stopping = false;
  // Set while accepting is impaired, so each episode is logged once, not per
  // connection; counts the connections refused meanwhile.
  bool m_OutOfResources = false;
  bool m_AtLimit = false;
  std::size_t m_RefusedAtLimit = 0;
};

}  // namespace standin::app
