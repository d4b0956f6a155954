// The in-memory table the redirects read: lookups through growth, and clicks
// counted without loss while they are taken.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "service/link_table.h"

namespace snipora::service {
namespace {

TEST(LinkTable, FindsEveryCodeThroughGrowthAndKeepsTheFirstAddress) {
  LinkTable table;
  for (int i = 0; i < 50000; ++i) table.Insert("c" + std::to_string(i), "http://e.com/" + std::to_string(i));
  table.Insert("c7", "http://other/");
  table.Insert(std::string(255, 'l'), std::string(9000, 'a'));
  EXPECT_EQ(table.size(), 50001u);
  for (int i = 0; i < 50000; i += 997) EXPECT_EQ(table.Find("c" + std::to_string(i)), "http://e.com/" + std::to_string(i));
  EXPECT_EQ(table.Find("c7"), "http://e.com/7");
  EXPECT_EQ(table.Find(std::string(255, 'l'))->size(), 9000u);
  EXPECT_FALSE(table.Find("C7"));
  EXPECT_FALSE(table.Find(""));
}

TEST(LinkTable, ClicksAreCountedOnceEachWhileTakenConcurrently) {
  LinkTable table;
  for (int i = 0; i < 10; ++i) table.Insert("c" + std::to_string(i), "http://e/");
  constexpr int kThreads = 4, kClicks = 20000;
  std::atomic<bool> done{false};
  std::map<std::string, int64_t> taken;
  std::thread taker([&] {
    while (!done) {
      for (const ClickCount& count : table.TakeClicks()) taken[count.code] += count.clicks;
    }
  });
  std::vector<std::thread> clickers;
  for (int t = 0; t < kThreads; ++t)
    clickers.emplace_back([&table, t] {
      for (int i = 0; i < kClicks; ++i) table.Follow("c" + std::to_string((i + t) % 10));
    });
  for (std::thread& clicker : clickers) clicker.join();
  done = true;
  taker.join();
  for (const ClickCount& count : table.TakeClicks()) taken[count.code] += count.clicks;
  int64_t total = 0;
  for (const auto& [code, clicks] : taken) total += clicks;
  EXPECT_EQ(total, int64_t(kThreads) * kClicks);
  EXPECT_EQ(taken["c3"], int64_t(kThreads) * kClicks / 10);
  EXPECT_TRUE(table.TakeClicks().empty());
  EXPECT_FALSE(table.Follow("nothere"));
  EXPECT_EQ(table.PendingClicks("c1"), 0);
}

}  // namespace
}  // namespace snipora::service
