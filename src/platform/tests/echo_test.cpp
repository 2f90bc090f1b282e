#include "platform/Echo.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bw::platform {
namespace {

// A listening TCP socket on a free loopback port.
class Listener {
 public:
  Listener() { m_Fd = testing::BindLoopback(SOCK_STREAM, m_Port); }
  ~Listener() { Close(); }
  void Close() {
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = -1;
  }
  int Port() const { return m_Port; }

 private:
  int m_Fd = -1;
  int m_Port = 0;
};

TEST(Echo, LoopbackAnswersByWhateverPathTheSystemAllows) {
  Listener listener;
  EchoRequest request;
  request.address = "127.0.0.1";
  request.fallbackPort = listener.Port();
  EchoReply reply = SystemEcho().Echo(request);
  EXPECT_EQ(reply.status, kEchoSuccess) << "path " << static_cast<int>(reply.path);
}

TEST(Echo, UnresolvableOrEmptyAddressSendsNothing) {
  EchoRequest request;
  request.address = "";
  EXPECT_EQ(SystemEcho().Echo(request).status, kEchoUnresolved);
  request.address = "not-an-address";
  EXPECT_EQ(SystemEcho().Echo(request).status, kEchoUnresolved);
  EXPECT_EQ(ResolveHostAddress(""), "");
  EXPECT_EQ(ResolveHostAddress("no-such-host.invalid"), "");
  EXPECT_EQ(ResolveHostAddress("localhost"), "127.0.0.1");
  EXPECT_EQ(ResolveHostAddress("127.0.0.9"), "127.0.0.9");
}

TEST(EchoTcpFallback, OpenPortAnswersClosedPortDoesNot) {
  Listener listener;
  EchoRequest request;
  request.address = "127.0.0.1";
  request.fallbackPort = listener.Port();
  EchoReply open = SystemEcho(true).Echo(request);
  EXPECT_EQ(open.path, EchoPath::TcpConnect);
  EXPECT_EQ(open.status, kEchoSuccess);
  listener.Close();
  EchoReply closed = SystemEcho(true).Echo(request);
  EXPECT_NE(closed.status, kEchoSuccess);
}

class FixedEcho : public EchoService {
 public:
  EchoReply Echo(const EchoRequest&) override { return {kEchoTimedOut, EchoPath::PingSocket}; }
};

TEST(EchoSeam, TwinReplacesAndRestores) {
  FixedEcho twin;
  SetEchoService(&twin);
  EchoRequest request;
  request.address = "127.0.0.1";
  EXPECT_EQ(Echoes().Echo(request).status, kEchoTimedOut);
  SetEchoService(nullptr);
  EXPECT_NE(&Echoes(), static_cast<EchoService*>(&twin));
}

}  // namespace
}  // namespace bw::platform
