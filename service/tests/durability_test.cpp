// The real program in a child process, on each store: a creation that was
// answered survives SIGKILL; SIGTERM finishes, writes the counted clicks and
// exits 0.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "service/core/pages.h"
#include "service/open_store.h"
#include "service/tests/http_client.h"
#include "service/tests/store_kinds.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::CreateTarget;
using test::Get;

// snipora-service as a child; its port read from its start-up line.
class ServiceProcess {
 public:
  explicit ServiceProcess(const std::string& database) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDERR_FILENO);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      close(out[0]);
      execl(SERVICE_PROGRAM, SERVICE_PROGRAM, "--listen", "127.0.0.1:0", "--database", database.c_str(),
            "--public-host", "snip.invalid", "--creations-per-minute", "0", "--click-flush-ms", "60000",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    std::string said;
    char chunk[256];
    ssize_t got;
    while (said.find(')') == std::string::npos && (got = read(out[0], chunk, sizeof chunk)) > 0) said.append(chunk, got);
    const std::size_t at = said.find("(port ");
    if (at != std::string::npos) port_ = uint16_t(std::stoi(said.substr(at + 6)));
    stderr_ = out[0];
  }
  ~ServiceProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stderr_ >= 0) close(stderr_);
  }
  uint16_t port() const { return port_; }
  // Sends the signal and waits; the exit status as waitpid gives it.
  int Signal(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int stderr_ = -1;
  uint16_t port_ = 0;
};

std::string Cut(const std::string& page) {
  const std::size_t start = page.find(kStartMarker);
  const std::size_t end = page.find(kEndMarker);
  if (start == std::string::npos || end == std::string::npos) return "";
  return page.substr(start + kStartMarker.size(), end - start - kStartMarker.size());
}

class Durability : public testing::TestWithParam<test::StoreKind> {
 protected:
  void SetUp() override { database = GetParam().place(dir); }
  test::TempDir dir;
  std::string database;
};

TEST_P(Durability, EveryAnsweredCreationSurvivesSigkill) {
  std::map<std::string, std::string> answered;  // code -> address
  {
    ServiceProcess service(database);
    ASSERT_NE(service.port(), 0);
    std::mutex mutex;
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < 6; ++c)
      clients.emplace_back([&, c] {
        for (int i = 0; !stop; ++i) {
          const std::string address = "http://durable.example/" + std::to_string(c) + "/" + std::to_string(i);
          const std::string cut = Cut(Get(service.port(), CreateTarget(address)).body);
          if (cut.empty()) continue;  // cut off by the kill: not answered, nothing promised
          std::lock_guard lock(mutex);
          answered[cut.substr(cut.find('/') + 1)] = address;
        }
      });
    std::this_thread::sleep_for(700ms);
    const int status = service.Signal(SIGKILL);  // in the middle of the stream
    stop = true;
    for (std::thread& client : clients) client.join();
    EXPECT_TRUE(WIFSIGNALED(status));
  }
  ASSERT_GT(answered.size(), 20u);
  ServiceProcess restarted(database);
  ASSERT_NE(restarted.port(), 0);
  for (const auto& [code, address] : answered) {
    const test::Response redirect = Get(restarted.port(), "/" + code);
    EXPECT_EQ(redirect.status, 301) << code;
    EXPECT_EQ(redirect.Header("Location"), address) << code;
  }
}

TEST_P(Durability, SigtermWritesTheCountedClicksAndExitsCleanly) {
  std::string code;
  {
    ServiceProcess service(database);
    ASSERT_NE(service.port(), 0);
    const std::string cut = Cut(Get(service.port(), CreateTarget("http://clicks.example/")).body);
    ASSERT_FALSE(cut.empty());
    code = cut.substr(cut.find('/') + 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Get(service.port(), "/" + code).status, 301);
    const int status = service.Signal(SIGTERM);  // clicks are not due for a minute
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(OpenStore(database)->FindCode(code)->clicks, 4);
}

INSTANTIATE_TEST_SUITE_P(Stores, Durability, testing::ValuesIn(test::kStoreKinds), test::KindName);

}  // namespace
}  // namespace snipora::service
