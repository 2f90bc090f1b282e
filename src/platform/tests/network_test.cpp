#include "platform/Network.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

namespace bw::platform {
namespace {

std::vector<BrowserInstance> Parse(const std::string& text) {
  std::string datagram = std::string("\x05", 1) + static_cast<char>(text.size() & 0xFF) +
                         static_cast<char>(text.size() >> 8) + text;
  return ParseBrowserReply(reinterpret_cast<const unsigned char*>(datagram.data()),
                           datagram.size());
}

TEST(BrowserReply, RecordsAndTheirRegistrationNames) {
  auto instances = Parse(
      "ServerName;SRV1;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;1433;;"
      "ServerName;SRV1;InstanceName;ARCHIVE;IsClustered;Yes;Version;8.00.760;tcp;2001;;"
      "ServerName;SRV2;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;14333;;");
  ASSERT_EQ(instances.size(), 3u);
  EXPECT_EQ(instances[0].DataSourceName(), "SRV1");
  EXPECT_EQ(instances[1].DataSourceName(), "SRV1\\ARCHIVE");
  EXPECT_TRUE(instances[1].clustered);
  EXPECT_EQ(instances[2].DataSourceName(), "SRV2,14333");
  EXPECT_EQ(instances[2].version, "8.00.194");
}

TEST(BrowserReply, MalformedInputIsSkippedNotTrusted) {
  EXPECT_TRUE(ParseBrowserReply(nullptr, 0).empty());
  const unsigned char wrongType[] = {0x04, 0x00, 0x00, 'x'};
  EXPECT_TRUE(ParseBrowserReply(wrongType, sizeof wrongType).empty());
  EXPECT_TRUE(Parse(";;;;").empty());
  EXPECT_TRUE(Parse("InstanceName;X;tcp;1;;").empty());  // no server name
  auto badPort = Parse("ServerName;S;InstanceName;MSSQLSERVER;tcp;99999;;ServerName;T;tcp;x;;");
  ASSERT_EQ(badPort.size(), 2u);
  EXPECT_EQ(badPort[0].tcpPort, 0);
  EXPECT_EQ(badPort[1].tcpPort, 0);
  EXPECT_EQ(Parse("ServerName;S;Version").size(), 1u);  // truncated record
}

TEST(BrowserDiscovery, AsksTheConfiguredAddressOnLoopback) {
  int port = 0;
  int fd = testing::BindLoopback(SOCK_DGRAM, port);
  std::thread responder([fd] {
    unsigned char request[16];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t got =
        ::recvfrom(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got != 1 || request[0] != 0x03) return;
    std::string text =
        "ServerName;LOOP;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;1500;;";
    std::string reply = std::string("\x05", 1) + static_cast<char>(text.size()) + '\0' + text;
    ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
  });
  auto found = DiscoverSqlServers({"127.0.0.1"}, port, 2000);
  responder.join();
  ::close(fd);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].DataSourceName(), "LOOP,1500");
}

TEST(BrowserDiscovery, SilenceEndsWithinTheTimeout) {
  int port = 0;
  int fd = testing::BindLoopback(SOCK_DGRAM, port);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(DiscoverSqlServers({"127.0.0.1"}, port, 300).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ::close(fd);
}

TEST(SambaJoinInformation, WorkgroupDomainAndMissingFile) {
  std::string path = ::testing::TempDir() + "smb-" + std::to_string(::getpid()) + ".conf";
  std::ofstream(path)
      << "[global]\n   workgroup = ARCHIVES\n   security = user\n[share]\nworkgroup=NO\n";
  auto workgroup = ReadSambaJoinInformation(path);
  ASSERT_TRUE(workgroup.has_value());
  EXPECT_EQ(workgroup->status, 2);
  EXPECT_EQ(workgroup->name, "ARCHIVES");
  std::ofstream(path) << "[Global]\nWorkgroup = CORP\nsecurity = ADS\n";
  EXPECT_EQ(ReadSambaJoinInformation(path)->status, 3);
  std::remove(path.c_str());
  EXPECT_FALSE(ReadSambaJoinInformation(path).has_value());
}

TEST(LocalAccounts, QualifiedWithTheHostName) {
  auto accounts = LocalAccounts();
  std::string prefix = LocalHostName() + "\\";
  ASSERT_FALSE(accounts.empty());
  for (const auto& account : accounts) EXPECT_EQ(account.rfind(prefix, 0), 0u) << account;
  EXPECT_NE(std::find(accounts.begin(), accounts.end(), prefix + "root"), accounts.end());
}

}  // namespace
}  // namespace bw::platform
