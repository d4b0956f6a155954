// Service instances on a PostgreSQL database: two of them (processes)
// creating at once, and the database going away and coming back under a
// running instance.
#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <cstdio>
#include <thread>

#include "service/app/keys.h"
#include "service/core/pages.h"
#include "service/store/open_store.h"
#include "service/tests/support/commit_cutter.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/postgres_server.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::CreateTarget;
using test::Get;

std::unique_ptr<Service> StartOn(const test::TempDir& dir, const std::string& database) {
  Settings settings = test::TestSettings(dir);
  settings.database = database;
  auto service = std::make_unique<Service>(settings, nullptr, nullptr);
  // what the tests count as cached is what their own requests cached
  service->WaitForCacheFill();
  return service;
}

// The code of the short address on a creation's page; "" when there is none.
std::string CodeOn(const std::string& page) {
  const std::size_t start = page.find(kStartMarker);
  const std::size_t end = page.find(kEndMarker);
  if (start == std::string::npos || end == std::string::npos) return "";
  const std::string shortAddress = page.substr(start + kStartMarker.size(), end - start - kStartMarker.size());
  return shortAddress.substr(shortAddress.rfind('/') + 1);
}

TEST(SharedStore, TwoInstancesCreatingAtOnceGiveOneCodePerAddressAndNoCodeTwice) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  test::ServiceProcess first(database), second(database);
  // what the test counts as cached is what its own requests cached
  for (test::ServiceProcess* instance : {&first, &second}) {
    ASSERT_NE(instance->port(), 0);
    ASSERT_TRUE(instance->WaitForLine("cache filled from the store"));
  }
  const uint16_t ports[] = {first.port(), second.port()};
  constexpr int kClients = 8, kEach = 40;
  const test::GivenCodes given = test::CreateAtOnce(kClients, kEach, [&](int c, int i, const std::string& address) {
    return CodeOn(Get(ports[(c + i) % 2], CreateTarget(address)).body);
  });
  test::ExpectOneCodePerAddress(given, kClients, kEach);
  const auto& addressesOf = given.addressesOf;
  // each instance redirects the other's codes, which it has never cached
  for (const auto& [code, addresses] : addressesOf) {
    for (uint16_t port : ports) {
      const test::Response redirect = Get(port, "/" + code);
      EXPECT_EQ(redirect.status, 301) << code;
      EXPECT_EQ(redirect.Header("Location"), *addresses.begin()) << code;
    }
  }
  // now each instance has every code cached: no more store reads, all hits
  const auto counter = [](uint16_t port, const std::string& name) {
    const std::string text = Get(port, "/metrics").body;
    const std::size_t at = text.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + name.size() + 2));
  };
  const long long misses = counter(ports[0], "snipora_cache_misses_total");
  const long long hits = counter(ports[0], "snipora_cache_hits_total");
  EXPECT_GT(misses, 0);
  for (const auto& [code, addresses] : addressesOf) EXPECT_EQ(Get(ports[0], "/" + code).status, 301);
  EXPECT_EQ(counter(ports[0], "snipora_cache_misses_total"), misses);
  EXPECT_EQ(counter(ports[0], "snipora_cache_hits_total"), hits + (long long)addressesOf.size());
  EXPECT_EQ(counter(ports[0], "snipora_cache_entries"), (long long)addressesOf.size());
  EXPECT_EQ(counter(ports[0], "snipora_cache_capacity"), 1000000);
  // the same alias asked of both instances goes to one address only
  const int one = Get(ports[0], CreateTarget("http://alias-one.example/", "both")).status;
  const int two = Get(ports[1], CreateTarget("http://alias-two.example/", "both")).status;
  EXPECT_EQ(one, 200);
  EXPECT_EQ(two, 409);
}

// How long `port` took to answer `path` with `status`, polled; -1 when it
// did not within a second.
long long MillisecondsUntil(uint16_t port, const std::string& path, int status) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (Get(port, path).status == status) return took.count();
    if (took > 1000ms) return -1;
    std::this_thread::sleep_for(10ms);
  }
}

test::Response Patch(uint16_t port, const std::string& path, const std::string& key, const std::string& body) {
  return test::Exchange(port, "PATCH " + path + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\nAuthorization: Bearer " +
                                  key + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

// A link disabled through one instance answers 410 on the other within a
// second, though the other had it cached; the same after the other's
// connections (its listening one included) were cut and came back.
TEST(SharedStore, AChangeThroughOneInstanceReachesTheOtherWithinASecond) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  const std::string key = NewKeyText();
  OpenStore(database)->AddKey({"ops", "admin", KeyDigest(key), 1});
  test::TempDir dirs[2];
  std::unique_ptr<Service> one = StartOn(dirs[0], database), two = StartOn(dirs[1], database);
  const std::string code = CodeOn(Get(one->port(), CreateTarget("http://shared.example/")).body);
  ASSERT_FALSE(code.empty());
  const auto turn = [&](bool disabled) {
    const std::string body = std::string(R"({"disabled":)") + (disabled ? "true" : "false") + "}";
    ASSERT_EQ(Patch(one->port(), "/api/v1/links/" + code, key, body).status, 200);
  };
  ASSERT_EQ(Get(two->port(), "/" + code).status, 301);  // cached there now
  turn(true);
  const long long disabledAfter = MillisecondsUntil(two->port(), "/" + code, 410);
  EXPECT_GE(disabledAfter, 0);
  turn(false);
  EXPECT_GE(MillisecondsUntil(two->port(), "/" + code, 301), 0);

  {
    PGconn* admin = PQconnectdb(database.c_str());
    PGresult* cut = PQexec(admin, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                  " WHERE datname = current_database() AND pid <> pg_backend_pid()");
    EXPECT_EQ(PQresultStatus(cut), PGRES_TUPLES_OK) << PQerrorMessage(admin);
    EXPECT_GE(PQntuples(cut), 2);  // at least each instance's listening connection
    PQclear(cut);
    PQfinish(admin);
  }
  std::this_thread::sleep_for(300ms);  // the listeners connect again
  ASSERT_EQ(Get(two->port(), "/" + code).status, 301);
  turn(true);
  const long long afterCut = MillisecondsUntil(two->port(), "/" + code, 410);
  EXPECT_GE(afterCut, 0);
  std::printf("410 on the other instance after %lld ms; after the connections were cut, %lld ms\n", disabledAfter,
              afterCut);
}

// Clicks of a link with max_clicks, counted on two instances that both have
// it cached, add up: once a write has had time to land, the other instance
// counts it too, and the link goes at its limit, not at twice it.
TEST(SharedStore, MaxClicksCountsTheOtherInstancesWrittenClicks) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  test::TempDir dirs[2];
  std::unique_ptr<Service> instances[2];
  for (int i = 0; i < 2; ++i) {
    Settings settings = test::TestSettings(dirs[i]);
    settings.database = database;
    settings.clickFlushMs = 50;
    instances[i] = std::make_unique<Service>(settings, nullptr, nullptr);
  }
  const std::string code = CodeOn(Get(instances[0]->port(), CreateTarget("http://limited.example/")).body);
  ASSERT_FALSE(code.empty());
  LinkChange limit;
  limit.maxClicks = int64_t(4);
  OpenStore(database)->ChangeLink(code, limit);
  const auto click = [&](int instance) {
    const int status = Get(instances[instance]->port(), "/" + code).status;
    std::this_thread::sleep_for(300ms);  // written, and noted to the other
    return status;
  };
  EXPECT_EQ(click(0), 301);
  EXPECT_EQ(click(1), 301);
  EXPECT_EQ(click(0), 301);
  EXPECT_EQ(click(1), 301);
  EXPECT_EQ(click(0), 410);
  EXPECT_EQ(click(1), 410);
  for (auto& instance : instances) instance->Stop();
  EXPECT_EQ(OpenStore(database)->FindCode(code)->clicks, 4);
}

// The connection breaks after the server committed and before its answer
// came: the store tries again on a new connection, and neither a click
// write nor a creation is applied twice or answered wrong.
TEST(SharedStore, ACommitWhoseAnswerIsLostIsAppliedOnce) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  const std::size_t at = database.find("127.0.0.1:") + 10;
  test::CommitCutter cutter(uint16_t(std::stoi(database.substr(at))));
  std::unique_ptr<Store> store = OpenStore(cutter.Through(database));
  ASSERT_EQ(store->InsertIfAbsent(std::vector<NewLink>{{"clicked", "http://clicked.example/", 1}})[0].outcome,
            InsertResult::kInserted);

  cutter.Arm();
  store->AddClicks(std::vector<ClickCount>{{"clicked", 3}}, ClickFlush{"flush-cut", 20000});
  ASSERT_EQ(cutter.cuts(), 1);
  cutter.Arm();
  const std::vector<InsertResult> made =
      store->InsertIfAbsent(std::vector<NewLink>{{"made", "http://made.example/", 1}});
  ASSERT_EQ(cutter.cuts(), 2);
  // stored by the lost commit: the retry finds it, under the code it was given
  EXPECT_EQ(made[0].code, "made");

  std::unique_ptr<Store> direct = OpenStore(database);
  EXPECT_EQ(direct->FindCode("clicked")->clicks, 3);
  const std::vector<DayCount> days = direct->ClicksByDay("clicked", 20000, 20000);
  ASSERT_EQ(days.size(), 1u);
  EXPECT_EQ(days[0].clicks, 3);
  EXPECT_EQ(direct->FindAddress("http://made.example/"), "made");
}

TEST(SharedStore, TheDatabaseGoingAwayGives503UntilItIsBackAndCachedLinksGoOn) {
  test::OwnPostgres server;
  test::TempDir dir;
  std::unique_ptr<Service> service = StartOn(dir, server.address());
  const uint16_t port = service->port();
  const std::string cached = CodeOn(Get(port, CreateTarget("http://cached.example/")).body);
  ASSERT_FALSE(cached.empty());
  ASSERT_EQ(Get(port, "/" + cached).status, 301);
  // made by another instance: this one has not cached it
  OpenStore(server.address())->InsertIfAbsent(std::vector<NewLink>{{"elsewhere", "http://elsewhere.example/", 1}});

  server.Halt();
  const test::Response redirect = Get(port, "/" + cached);
  EXPECT_EQ(redirect.status, 301);
  EXPECT_EQ(redirect.Header("Location"), "http://cached.example/");
  const test::Response uncached = Get(port, "/elsewhere");
  EXPECT_EQ(uncached.status, 503);
  EXPECT_FALSE(uncached.Header("Retry-After").empty());
  const test::Response creation = Get(port, CreateTarget("http://while-away.example/"));
  EXPECT_EQ(creation.status, 503);
  EXPECT_EQ(CodeOn(creation.body), "");  // no short address the program could take
  const test::Response health = Get(port, "/healthz");
  EXPECT_EQ(health.status, 503);
  EXPECT_EQ(health.body.substr(0, 26), "the store is unreachable: ");
  EXPECT_EQ(Get(port, "/healthz?ready=redirects").status, 200);  // the cached ones go on
  EXPECT_EQ(Get(port, "/api/v1/links/elsewhere").status, 503);

  server.Resume();
  // reconnects by itself: no restart of the service
  int status = 0;
  for (int i = 0; i < 100 && status != 200; ++i) {
    std::this_thread::sleep_for(100ms);
    status = Get(port, "/healthz").status;
  }
  ASSERT_EQ(status, 200);
  EXPECT_EQ(Get(port, "/elsewhere").Header("Location"), "http://elsewhere.example/");
  const std::string after = CodeOn(Get(port, CreateTarget("http://while-away.example/")).body);
  EXPECT_FALSE(after.empty());
  EXPECT_EQ(OpenStore(server.address())->FindAddress("http://while-away.example/"), after);
  service->Stop();
  // the clicks counted while the database was away were written at the end
  EXPECT_EQ(OpenStore(server.address())->FindCode(cached)->clicks, 2);
}

}  // namespace
}  // namespace snipora::service
