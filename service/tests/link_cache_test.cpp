// The read cache: bounded, least recently used out, and clicks counted
// without loss while they are taken.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "service/link_cache.h"

namespace snipora::service {
namespace {

TEST(LinkCache, StaysWithinItsCapacityAndDropsTheLeastRecentlyUsed) {
  LinkCache cache(16 * 100);
  for (int i = 0; i < 20000; ++i) {
    cache.Insert("c" + std::to_string(i), "http://e/" + std::to_string(i));
    EXPECT_TRUE(cache.Find("c0", false)) << i;  // kept in use: never the one to go
  }
  EXPECT_LE(cache.size(), 1600u);
  EXPECT_GT(cache.size(), 1400u);
  EXPECT_EQ(cache.Find("c0", false), "http://e/0");
  EXPECT_EQ(cache.Find("c19999", false), "http://e/19999");
  EXPECT_FALSE(cache.Find("c1", false));  // long unused
  cache.Insert("c0", "http://other/");
  EXPECT_EQ(cache.Find("c0", false), "http://e/0");  // a mapping never changes
  EXPECT_FALSE(cache.Find("C0", false));
  EXPECT_EQ(cache.hits(), 20003u);
  EXPECT_EQ(cache.misses(), 2u);
}

TEST(LinkCache, WithoutCapacityNothingIsCachedButClicksAreCounted) {
  LinkCache cache(0);
  cache.Insert("a", "http://a/", true);
  cache.Insert("a", "http://a/", true);
  EXPECT_FALSE(cache.Find("a", true));
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.PendingClicks("a"), 2);
  const std::vector<ClickCount> taken = cache.TakeClicks();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].clicks, 2);
  cache.ReturnClicks(taken);  // a flush that failed
  EXPECT_EQ(cache.PendingClicks("a"), 2);
}

TEST(LinkCache, ClicksAreCountedOnceEachWhileTakenConcurrently) {
  LinkCache cache(4);  // most codes do not stay cached: their clicks still count
  for (int i = 0; i < 10; ++i) cache.Insert("c" + std::to_string(i), "http://e/");
  constexpr int kThreads = 4, kClicks = 20000;
  std::atomic<bool> done{false};
  std::map<std::string, int64_t> taken;
  std::thread taker([&] {
    while (!done) {
      for (const ClickCount& count : cache.TakeClicks()) taken[count.code] += count.clicks;
    }
  });
  std::vector<std::thread> clickers;
  for (int t = 0; t < kThreads; ++t)
    clickers.emplace_back([&cache, t] {
      for (int i = 0; i < kClicks; ++i) {
        const std::string code = "c" + std::to_string((i + t) % 10);
        if (!cache.Find(code, true)) cache.Insert(code, "http://e/", true);
      }
    });
  for (std::thread& clicker : clickers) clicker.join();
  done = true;
  taker.join();
  for (const ClickCount& count : cache.TakeClicks()) taken[count.code] += count.clicks;
  int64_t total = 0;
  for (const auto& [code, clicks] : taken) total += clicks;
  EXPECT_EQ(total, int64_t(kThreads) * kClicks);
  EXPECT_EQ(taken["c3"], int64_t(kThreads) * kClicks / 10);
  EXPECT_TRUE(cache.TakeClicks().empty());
  EXPECT_EQ(cache.PendingClicks("c1"), 0);
}

}  // namespace
}  // namespace snipora::service
