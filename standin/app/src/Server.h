// The listener: accepts connections on one address and serves each on its own
// thread until Stop().
#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tds/EngineTypes.h"

namespace standin::app {

class Connection;

class Server {
 public:
  explicit Server(engine::Engine& engine) : m_Engine(engine) {}
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
  void ReapFinished();

  engine::Engine& m_Engine;
  int m_ListenFd = -1;
  int m_WakePipe[2] = {-1, -1};
  std::mutex m_Mutex;
  std::list<Slot> m_Slots;
  bool m_Stopping = false;
};

}  // namespace standin::app
