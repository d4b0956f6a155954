// The service's own name looked up in DNS blocklists: Debian's dnsmasq,
// started by the test on a loopback port, lists the public host in one zone
// and answers NXDOMAIN in another; the listing shows in /metrics.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "service/program/service.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/webhook_receiver.h"

extern char** environ;

namespace snipora::service {
namespace {

using namespace std::chrono_literals;

// A UDP port nothing holds now.
uint16_t FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

class Dnsmasq {
 public:
  Dnsmasq(uint16_t port, const std::vector<std::string>& rules) {
    std::vector<std::string> words = {"/usr/sbin/dnsmasq", "--keep-in-foreground", "--no-resolv", "--no-hosts",
                                      "--conf-file=/dev/null", "--pid-file=", "--bind-interfaces",
                                      "--listen-address=127.0.0.1", "--port=" + std::to_string(port)};
    words.insert(words.end(), rules.begin(), rules.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~Dnsmasq() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

TEST(Reputation, AListingOfThePublicHostIsReportedAndAnUnlistedZoneIsNot) {
  if (::access("/usr/sbin/dnsmasq", X_OK) != 0) GTEST_SKIP() << "dnsmasq (dnsmasq-base) is not installed";
  const uint16_t port = FreeUdpPort();
  // listed in dbl.test; clean.test answers NXDOMAIN for everything
  Dnsmasq dns(port, {"--address=/snip.invalid.dbl.test/127.0.1.2", "--address=/clean.test/"});
  ASSERT_TRUE(dns.started());
  std::this_thread::sleep_for(300ms);  // until it listens
  test::TempDir dir;
  Settings settings = test::TestSettings(dir);
  settings.reputationZones = "dbl.test,clean.test";
  settings.reputationResolver = "127.0.0.1:" + std::to_string(port);
  test::WebhookReceiver receiver;
  settings.webhooks = receiver.Url();
  settings.webhookSecretFile = (dir.path() / "secret").string();
  std::ofstream(settings.webhookSecretFile) << "a secret\n";
  Service service(settings, nullptr, nullptr);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (service.metrics().reputationListings.load() == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(service.metrics().reputationListings.load(), 1u);
  EXPECT_EQ(service.metrics().reputationFailures.load(), 0u);
  EXPECT_NE(test::Get(service.port(), "/metrics").body.find("snipora_reputation_listings 1"), std::string::npos);
  // and told to the webhooks, once, for the zone that lists it
  const auto told = std::chrono::steady_clock::now() + 10s;
  while (receiver.received().empty() && std::chrono::steady_clock::now() < told) std::this_thread::sleep_for(20ms);
  ASSERT_EQ(receiver.received().size(), 1u);
  const std::string body = receiver.received()[0].body;
  EXPECT_NE(body.find(R"("type":"domain.listed")"), std::string::npos) << body;
  EXPECT_NE(body.find(R"("zone":"dbl.test")"), std::string::npos) << body;
}

}  // namespace
}  // namespace snipora::service
