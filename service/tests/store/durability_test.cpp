// The real program in a child process, on each store: a creation that was
// answered survives SIGKILL; SIGTERM finishes, writes the counted clicks and
// exits 0.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "service/core/pages.h"
#include "service/store/open_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"
#include "service/tests/support/store_kinds.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::CreateTarget;
using test::Get;
using test::ServiceProcess;

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
