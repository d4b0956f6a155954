// Threat feeds fetched from a server the test runs on loopback, through a
// running service: a listed host refused once its feed is fetched, the last
// good version kept when a fetch fails and across a restart, a feed not sent
// again while its ETag holds, every instance on one PostgreSQL database
// applying the version one of them fetched, and the links made before a
// feed listed them put under review, released and taken down.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "service/app/keys.h"
#include "service/core/json_body.h"
#include "service/store/sqlite_store.h"
#include "service/program/service.h"
#include "service/tests/support/feed_server.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/postgres_server.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;

// Whether `done` holds within `limit`, asked every 20 ms.
bool Within(std::chrono::milliseconds limit, const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The own API's status for a creation of `url`.
int Create(uint16_t port, const std::string& url) {
  return test::Send(port, "POST", "/api/v1/links", "", JsonText(Json{{"url", url}})).status;
}

Settings FeedSettings(const test::TempDir& dir, const std::string& feeds) {
  Settings settings = test::TestSettings(dir);
  settings.threatFeeds = feeds;
  settings.threatFeedInterval = 1;
  return settings;
}

TEST(ThreatFeeds, AFailedFetchKeepsTheVersionBeforeAlsoAcrossARestartAndAnUnchangedOneIsNotSentAgain) {
  test::TempDir dir;
  test::FeedServer server;
  server.Serve("0.0.0.0 phish.example\n");
  const Settings settings = FeedSettings(dir, "hosts=" + server.Url());
  {
    Service service(settings, nullptr, nullptr);
    ASSERT_TRUE(Within(5s, [&] { return service.metrics().threatEntries.load() == 1; }));
    EXPECT_EQ(Create(service.port(), "http://login.phish.example/"), 403);
    EXPECT_EQ(Create(service.port(), "http://fine.example/"), 201);
    // the next fetches ask with the ETag and are answered without the body
    ASSERT_TRUE(Within(5s, [&] { return server.notModified() >= 1; }));
    EXPECT_EQ(server.bodiesSent(), 1);

    server.Fail(true);
    ASSERT_TRUE(Within(5s, [&] { return service.metrics().threatFeedsFailing.load() == 1; }));
    EXPECT_GE(service.metrics().threatFeedFailures.load(), 1u);
    EXPECT_EQ(service.metrics().threatEntries.load(), 1u);
    EXPECT_EQ(Create(service.port(), "http://phish.example/"), 403);
  }
  // a restart applies the stored version before any fetch, which still fails
  {
    Service service(settings, nullptr, nullptr);
    EXPECT_EQ(Create(service.port(), "http://phish.example/"), 403);
    // and once the feed answers again, the stored ETag spares its body
    server.Fail(false);
    const int before = server.notModified();
    ASSERT_TRUE(Within(5s, [&] { return server.notModified() > before; }));
    EXPECT_EQ(server.bodiesSent(), 1);
    EXPECT_EQ(service.metrics().threatFeedsFailing.load(), 0u);
  }
}

TEST(ThreatFeeds, TwoInstancesOnOnePostgresApplyTheVersionOneOfThemFetched) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  test::TempDir dirA, dirB;
  test::FeedServer good, down;
  good.Serve("first.example\n");
  down.Fail(true);
  Settings a = FeedSettings(dirA, "list=" + good.Url());
  Settings b = FeedSettings(dirB, "list=" + down.Url());
  a.database = b.database = database;
  Service first(a, nullptr, nullptr);
  // the second instance's own fetch always fails: what it applies came through the store
  Service second(b, nullptr, nullptr);
  ASSERT_TRUE(Within(5s, [&] { return Create(second.port(), "http://first.example/") == 403; }));
  EXPECT_EQ(Create(first.port(), "http://first.example/"), 403);
  EXPECT_TRUE(Within(5s, [&] { return second.metrics().threatFeedFailures.load() >= 1; }));

  // a new version replaces the old one on both, within an interval and a second
  good.Serve("second.example\n");
  const auto changed = std::chrono::steady_clock::now();
  ASSERT_TRUE(Within(5s, [&] { return Create(second.port(), "http://second.example/") == 403; }));
  EXPECT_LT(std::chrono::steady_clock::now() - changed, 2500ms);
  EXPECT_EQ(Create(first.port(), "http://second.example/"), 403);
  EXPECT_EQ(Create(second.port(), "http://www.first.example/"), 201);
}

constexpr char kAdmin[] = "snp_feeds_admin_key_0123456789abcdef";

std::string CodeOf(const test::Response& response) {
  const std::optional<Json> json = ParseJsonBody(response.body);
  return json && json->contains("code") ? (*json)["code"].get<std::string>() : "";
}

TEST(ThreatFeeds, ALinkMadeBeforeItsHostWasListedIsPutUnderReviewReleasedForGoodAndTakenDown) {
  test::TempDir dir;
  test::FeedServer server;
  server.Serve("unrelated.example\n");
  const Settings settings = FeedSettings(dir, "list=" + server.Url());
  OpenSqliteStore(settings.database)->AddKey({"root", "admin", KeyDigest(kAdmin), 1});
  Service service(settings, nullptr, nullptr);
  const uint16_t port = service.port();
  ASSERT_TRUE(Within(5s, [&] { return service.metrics().threatEntries.load() == 1; }));
  const std::string code =
      CodeOf(test::Send(port, "POST", "/api/v1/links", "", JsonText(Json{{"url", "http://www.later.example/p"}})));
  const std::string other =
      CodeOf(test::Send(port, "POST", "/api/v1/links", "", JsonText(Json{{"url", "http://b.other.example/"}})));
  ASSERT_FALSE(code.empty());
  ASSERT_FALSE(other.empty());
  EXPECT_EQ(test::Get(port, "/" + code).status, 301);

  server.Serve("later.example\n");
  ASSERT_TRUE(Within(5s, [&] { return test::Get(port, "/" + code).status == 410; }));
  // the page says it is under review, in the page's language; the link is kept
  EXPECT_NE(test::Get(port, "/" + code + "?lang=en").body.find("under review"), std::string::npos);
  EXPECT_NE(test::Get(port, "/" + code + "?lang=zh-CN").body.find("审核"), std::string::npos);
  const test::Response held = test::Send(port, "GET", "/api/v1/links/" + code, kAdmin);
  EXPECT_NE(held.body.find("\"quarantine\":\"feed list: later.example\""), std::string::npos) << held.body;
  EXPECT_EQ(test::Get(port, "/" + other).status, 301);
  EXPECT_EQ(service.metrics().quarantined.load(), 1u);

  // only an admin releases it
  EXPECT_EQ(test::Send(port, "POST", "/api/v1/links/" + code + "/release", "").status, 401);
  EXPECT_EQ(test::Send(port, "POST", "/api/v1/links/" + code + "/release", kAdmin).status, 200);
  EXPECT_EQ(test::Get(port, "/" + code).status, 301);

  // the next version checks every link again: the released one stays released
  // from the entry that held it, while a new entry catches another link
  server.Serve("later.example\nother.example\n");
  ASSERT_TRUE(Within(5s, [&] { return test::Get(port, "/" + other).status == 410; }));
  EXPECT_EQ(test::Get(port, "/" + code).status, 301);

  // taken down, it is gone for good, as a disabled link is, and still kept
  const test::Response down = test::Send(port, "POST", "/api/v1/links/" + other + "/takedown", kAdmin);
  EXPECT_EQ(down.status, 200);
  EXPECT_NE(down.body.find("\"disabled\":true"), std::string::npos) << down.body;
  const test::Response gone = test::Get(port, "/" + other + "?lang=en");
  EXPECT_EQ(gone.status, 410);
  EXPECT_EQ(gone.body.find("under review"), std::string::npos);
}

}  // namespace
}  // namespace snipora::service
