#include "FakeListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace bw::testing {

namespace {

int ConnectLoopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

FakeListener::FakeListener(Mode mode, int relayPort) : m_Mode(mode), m_RelayPort(relayPort) {
  m_Listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_Listener < 0 || ::bind(m_Listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_Listener, 16) != 0 ||
      ::getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe(m_Wake) != 0) {
    throw std::runtime_error("the fake listener could not listen on the loopback address");
  }
  m_Port = ntohs(address.sin_port);
  m_Thread = std::thread([this] { Run(); });
}

FakeListener::~FakeListener() {
  m_Stop = true;
  char wake = 0;
  (void)!::write(m_Wake[1], &wake, 1);
  m_Thread.join();
  for (int fd : m_Held) ::close(fd);
  for (const Pair& pair : m_Pairs) {
    if (pair.client >= 0) ::close(pair.client);
    if (pair.server >= 0) ::close(pair.server);
  }
  ::close(m_Listener);
  ::close(m_Wake[0]);
  ::close(m_Wake[1]);
}

void FakeListener::CutAt(const std::string& text, std::function<void()> onCut) {
  m_CutPattern.clear();
  for (char c : text) {
    m_CutPattern += c;
    m_CutPattern += '\0';
  }
  m_OnCut = std::move(onCut);
}

bool FakeListener::CutsHere(Pair& pair, const char* data, std::size_t size) {
  if (m_CutPattern.empty()) return false;
  std::string window = pair.tail + std::string(data, size);
  if (window.find(m_CutPattern) != std::string::npos) return true;
  // TDS packets split a batch; keep enough to find the text across the seam.
  const std::size_t keep = m_CutPattern.size() + 16;
  pair.tail = window.size() > keep ? window.substr(window.size() - keep) : window;
  return false;
}

void FakeListener::CloseAllPairs() {
  for (Pair& pair : m_Pairs) {
    if (pair.client >= 0) ::close(pair.client);
    if (pair.server >= 0) ::close(pair.server);
    pair.client = pair.server = -1;
  }
}

void FakeListener::Forward(Pair& pair, bool fromClient) {
  char buffer[8192];
  const int from = fromClient ? pair.client : pair.server;
  const int to = fromClient ? pair.server : pair.client;
  ssize_t got = ::read(from, buffer, sizeof buffer);
  if (got > 0 && fromClient && CutsHere(pair, buffer, static_cast<std::size_t>(got))) {
    if (m_OnCut) m_OnCut();
    m_Cut = true;
    CloseAllPairs();
    return;
  }
  if (got <= 0) {
    // One side ended: so does the relayed connection (poll skips -1).
    ::close(pair.client);
    ::close(pair.server);
    pair.client = pair.server = -1;
    return;
  }
  for (ssize_t sent = 0; sent < got;) {
    ssize_t n = ::write(to, buffer + sent, static_cast<std::size_t>(got - sent));
    if (n <= 0) return;
    sent += n;
  }
}

void FakeListener::Run() {
  while (!m_Stop) {
    std::vector<pollfd> fds{{m_Listener, POLLIN, 0}, {m_Wake[0], POLLIN, 0}};
    if (!m_Frozen) {
      for (const Pair& pair : m_Pairs) {
        fds.push_back({pair.client, POLLIN, 0});
        fds.push_back({pair.server, POLLIN, 0});
      }
    }
    if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      int client = ::accept(m_Listener, nullptr, nullptr);
      if (client >= 0) {
        ++m_Accepted;
        if (m_Mode == Mode::CloseAtOnce || m_Cut) {
          ::close(client);
        } else if (m_Mode == Mode::NeverAnswer) {
          m_Held.push_back(client);
        } else if (int server = ConnectLoopback(m_RelayPort); server >= 0) {
          m_Pairs.push_back({client, server, {}});
        } else {
          ::close(client);
        }
      }
    }
    // A freeze can come between the poll and here: then nothing is read.
    if (m_Frozen) continue;
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP)) &&
          m_Pairs[(i - 2) / 2].client >= 0) {
        Forward(m_Pairs[(i - 2) / 2], (i - 2) % 2 == 0);
        if (m_Cut) break;
      }
    }
  }
}

}  // namespace bw::testing
