// backup and restore of an SQLite store, with the program running on it as
// an operator runs it: the backup taken under creations and clicks holds
// every creation answered before it began, whole, and restores to a store
// that serves; a store that holds anything is never restored over.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "service/store/open_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using test::Get;
using test::ServiceProcess;

// Links already there: enough pages that the copy takes several steps.
constexpr int kStored = 40000;

TEST(Backup, TakenUnderLoadHoldsEveryCreationAnsweredBeforeItWholeAndRestoresToAStoreThatServes) {
  test::TempDir dir;
  const std::string live = dir.File("live.db"), backup = dir.File("live.backup"), restored = dir.File("restored.db");
  {
    std::unique_ptr<Store> store = OpenStore(live);
    std::vector<NewLink> links;
    for (int i = 0; i < kStored; ++i)
      links.push_back({"s" + std::to_string(i), "https://stored.example/" + std::string(150, 'p') + std::to_string(i), 1});
    store->InsertIfAbsent(links);
  }
  ServiceProcess service(live, {"--click-flush-ms", "20"});
  ASSERT_NE(service.port(), 0);

  std::atomic<bool> backupBegun{false}, stop{false};
  std::mutex mutex;
  std::vector<std::pair<std::string, std::string>> answeredBefore;  // address, code
  std::atomic<int> answeredDuring{0};
  std::vector<std::thread> load;
  for (int client = 0; client < 2; ++client)
    load.emplace_back([&, client] {
      for (int i = 0; !stop; ++i) {
        const std::string address = "https://made.example/" + std::to_string(client) + "/" + std::to_string(i);
        const test::Response made =
            Get(service.port(), "/api-create.php?format=simple&url=" + test::Escape(address));
        // read before the answer is looked at: answered before the backup began
        const bool before = !backupBegun;
        if (made.status != 200) continue;
        const std::string code = made.body.substr(made.body.rfind('/') + 1);
        std::lock_guard lock(mutex);
        if (before) answeredBefore.emplace_back(address, code);
        else ++answeredDuring;
      }
    });
  load.emplace_back([&] {
    for (int i = 0; !stop; ++i) Get(service.port(), "/s" + std::to_string(i % 100));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  backupBegun = true;
  std::string output;
  ASSERT_EQ(test::RunProgram({"backup", "--database", live, "--to", backup}, &output), 0) << output;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop = true;
  for (std::thread& thread : load) thread.join();
  EXPECT_EQ(service.Signal(SIGTERM), 0);
  ASSERT_FALSE(answeredBefore.empty());
  EXPECT_GT(answeredDuring.load(), 0);  // the service kept answering creations around it

  ASSERT_EQ(test::RunProgram({"restore", "--from", backup, "--database", restored}, &output), 0) << output;
  {
    std::unique_ptr<Store> store = OpenStore(restored);
    for (const auto& [address, code] : answeredBefore) {
      const std::optional<Link> link = store->FindCode(code);
      ASSERT_TRUE(link) << code << " answered before the backup began is missing";
      EXPECT_EQ(link->address, address);
    }
    // a click write is one transaction: a copy torn across one would count
    // a link's clicks and its clicks of the day apart
    int64_t clicked = 0;
    for (int i = 0; i < 100; ++i) {
      const std::optional<Link> link = store->FindCode("s" + std::to_string(i));
      ASSERT_TRUE(link);
      int64_t daily = 0;
      for (const DayCount& day : store->ClicksByDay(link->code, 0, 1000000)) daily += day.clicks;
      EXPECT_EQ(daily, link->clicks) << link->code;
      clicked += link->clicks;
    }
    EXPECT_GT(clicked, 0);
    EXPECT_TRUE(store->FindCode("s" + std::to_string(kStored - 1)));
  }

  // over a store that holds links: refused, and the store left as it was
  EXPECT_EQ(test::RunProgram({"restore", "--from", backup, "--database", live}, &output), 1);
  EXPECT_NE(output.find("not empty"), std::string::npos) << output;
  EXPECT_EQ(test::RunProgram({"restore", "--from", live + "-missing", "--database", dir.File("new.db")}, &output), 1);
  EXPECT_EQ(test::RunProgram({"backup", "--database", live, "--to", dir.path().string() + "/./live.db"}, &output), 1);
  EXPECT_NE(output.find("the store itself"), std::string::npos) << output;
  EXPECT_TRUE(OpenStore(live)->FindCode("s0"));

  ServiceProcess again(restored);
  ASSERT_NE(again.port(), 0);
  const test::Response redirect = Get(again.port(), "/" + answeredBefore.back().second);
  EXPECT_EQ(redirect.status, 301);
  EXPECT_EQ(redirect.Header("Location"), answeredBefore.back().first);
  EXPECT_EQ(Get(again.port(), "/api-create.php?format=simple&url=https%3A%2F%2Fafter.example%2F").status, 200);
}

}  // namespace
}  // namespace snipora::service
