// The read cache: bounded, the least recently used out (CLOCK), and clicks counted
// without loss while they are taken.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <list>
#include <map>
#include <random>
#include <thread>
#include <unordered_map>
#include <vector>

#include "service/links/read_cache.h"

namespace snipora::service {
namespace {

constexpr int64_t kNow = 1000;
const DenyList kNoDenial;

// The address a redirect gets now; none when not cached (or gone).
std::optional<std::string> Find(LinkCache& cache, std::string_view code, bool click) {
  const Resolved resolved = cache.Find(code, click, kNow, kNoDenial);
  return resolved.state == Resolved::kLive ? std::optional(resolved.address) : std::nullopt;
}
void Insert(LinkCache& cache, std::string_view code, std::string_view address, bool click = false) {
  cache.Insert(code, LinkLife{std::string(address)}, click, kNow, kNoDenial);
}

TEST(LinkCache, StaysWithinItsCapacityAndDropsTheLeastRecentlyUsed) {
  LinkCache cache(16 * 100);
  for (int i = 0; i < 20000; ++i) {
    Insert(cache, "c" + std::to_string(i), "http://e/" + std::to_string(i));
    EXPECT_TRUE(Find(cache, "c0", false)) << i;  // kept in use: never the one to go
  }
  EXPECT_LE(cache.size(), 1600u);
  EXPECT_GT(cache.size(), 1400u);
  EXPECT_EQ(Find(cache, "c0", false), "http://e/0");
  EXPECT_EQ(Find(cache, "c19999", false), "http://e/19999");
  EXPECT_FALSE(Find(cache, "c1", false));  // long unused
  Insert(cache, "c0", "http://other/");
  EXPECT_EQ(Find(cache, "c0", false), "http://e/0");  // a mapping never changes
  EXPECT_FALSE(Find(cache, "C0", false));
  EXPECT_EQ(cache.hits(), 20003u);
  EXPECT_EQ(cache.misses(), 2u);
}

// On a skewed stream (a few links take most clicks, as real clicks do) the
// cache keeps the hot links and hits about as often as an exact LRU of the
// same size would; whatever it evicted, every code it still holds answers
// its own address, and its size counts exactly those.
TEST(LinkCache, KeepsTheHotLinksOfASkewedStreamAsLruWould) {
  constexpr std::size_t kCapacity = 16 * 64, kCodes = 8192, kRequests = 200000;
  LinkCache cache(kCapacity);
  std::list<int> lru;  // the exact LRU, most recent first
  std::unordered_map<int, std::list<int>::iterator> inLru;
  std::mt19937 random(7);
  std::size_t hits = 0, lruHits = 0;
  const auto address = [](int code) { return "http://e.example/" + std::to_string(code); };
  for (std::size_t i = 0; i < kRequests; ++i) {
    // the n-th code is asked for about 1/n as often
    const double u = double(random()) / double(std::mt19937::max());
    const int code = int(std::pow(double(kCodes), u)) - 1;
    const std::string key = "c" + std::to_string(code);
    if (Find(cache, key, true)) ++hits; else Insert(cache, key, address(code), true);
    if (const auto found = inLru.find(code); found != inLru.end()) {
      ++lruHits;
      lru.splice(lru.begin(), lru, found->second);
    } else {
      lru.push_front(code);
      inLru[code] = lru.begin();
      if (lru.size() > kCapacity) {
        inLru.erase(lru.back());
        lru.pop_back();
      }
    }
  }
  EXPECT_GT(double(hits), 0.97 * double(lruHits)) << hits << " against " << lruHits;
  for (int code = 0; code < 32; ++code) EXPECT_EQ(Find(cache, "c" + std::to_string(code), false), address(code));
  std::size_t held = 0;
  for (int code = 0; code < int(kCodes); ++code)
    if (const std::optional<std::string> found = Find(cache, "c" + std::to_string(code), false)) {
      ++held;
      EXPECT_EQ(*found, address(code));
    }
  EXPECT_EQ(held, cache.size());
  EXPECT_LE(held, kCapacity);
}

TEST(LinkCache, WithoutCapacityNothingIsCachedButClicksAreCounted) {
  LinkCache cache(0);
  Insert(cache, "a", "http://a/", true);
  Insert(cache, "a", "http://a/", true);
  EXPECT_FALSE(Find(cache, "a", true));
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
  for (int i = 0; i < 10; ++i) Insert(cache, "c" + std::to_string(i), "http://e/");
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
        if (!Find(cache, code, true)) Insert(cache, code, "http://e/", true);
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

// A link's life is judged at each lookup: time, clicks counted here, the
// deny list given; a gone link counts no click, and a dropped one keeps its
// clicks for the next flush.
TEST(LinkCache, GoneIsDecidedAtEachLookupAndCountsNoClick) {
  LinkCache cache(1600);
  Link limited{"few", "https://Shop.Example:8443/x"};
  limited.maxClicks = 3;
  limited.clicks = 1;  // stored before
  limited.expires = kNow + 10;
  EXPECT_EQ(cache.Insert("few", LifeOf(limited), true, kNow, kNoDenial).state, Resolved::kLive);
  EXPECT_EQ(cache.Find("few", true, kNow, kNoDenial).state, Resolved::kLive);
  EXPECT_EQ(cache.Find("few", true, kNow, kNoDenial).state, Resolved::kGone);  // the third click was the last
  EXPECT_EQ(cache.PendingClicks("few"), 2);
  Link dated{"dated", "http://a.example/"};
  dated.expires = kNow + 10;
  cache.InsertIfRoom("dated", LifeOf(dated));
  EXPECT_EQ(cache.Find("dated", false, kNow + 9, kNoDenial).state, Resolved::kLive);
  EXPECT_EQ(cache.Find("dated", false, kNow + 10, kNoDenial).state, Resolved::kGone);
  Link noted{"noted", "http://a.example/y"};
  noted.disabled = true;
  noted.publicNote = "Taken down";
  const Resolved disabled = cache.Insert("noted", LifeOf(noted), true, kNow, kNoDenial);
  EXPECT_EQ(disabled.state, Resolved::kGone);
  EXPECT_EQ(disabled.publicNote, "Taken down");
  EXPECT_EQ(cache.PendingClicks("noted"), 0);
  // the host was read once, without port or case; subdomains are denied too
  const DenyList denied = DenyList::FromText("example\n");
  EXPECT_EQ(cache.Find("dated", false, kNow, denied).state, Resolved::kGone);
  EXPECT_EQ(cache.Find("dated", false, kNow, DenyList::FromText("shop.example\n")).state, Resolved::kLive);
  cache.Drop("few");
  EXPECT_EQ(cache.Find("few", false, kNow, kNoDenial).state, Resolved::kMiss);
  EXPECT_EQ(cache.PendingClicks("few"), 2);
  // cached again from a store that has not had the clicks yet: they still count
  Link reloaded = limited;
  reloaded.clicks = 1;
  EXPECT_EQ(cache.Insert("few", LifeOf(reloaded), true, kNow, kNoDenial).state, Resolved::kGone);
}

}  // namespace
}  // namespace snipora::service
