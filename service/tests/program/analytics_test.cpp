// The analytics end to end: a scripted mix of visits through a trusted proxy
// (countries from a MaxMind DB file the test writes) counted exactly across a
// flush and a restart, and on two instances sharing one PostgreSQL; what is
// never kept; the different-visitor sketch's error and merges; retention.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "service/app/keys.h"
#include "service/core/distinct_count.h"
#include "service/core/json_body.h"
#include "service/core/keyed_hash.h"
#include "service/links/tally_retention.h"
#include "service/links/visit_counts.h"
#include "service/store/open_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/postgres_server.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Response;

// A country file with two networks, written with Debian's MaxMind DB writer.
std::string WriteCountryFile(const test::TempDir& dir) {
  const std::string script = dir.File("countries.pl"), file = dir.File("countries.mmdb");
  std::ofstream(script) << R"(use strict; use MaxMind::DB::Writer::Tree;
my $tree = MaxMind::DB::Writer::Tree->new(ip_version => 6, record_size => 24, database_type => 'Test-Country',
  languages => ['en'], description => {en => 'test'}, remove_reserved_networks => 0,
  map_key_type_callback => sub { {country => 'map', iso_code => 'utf8_string'}->{$_[0]} });
$tree->insert_network('10.1.0.0/16', {country => {iso_code => 'DE'}});
$tree->insert_network('10.2.0.0/16', {country => {iso_code => 'CN'}});
open my $out, '>:raw', $ARGV[0] or die; $tree->write_tree($out); close $out;
)";
  const std::string command = "perl " + script + " " + file;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return file;
}

constexpr char kChrome[] = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0 Safari/537.36";
constexpr char kIphone[] =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 Version/17.0 Mobile/15E148 "
    "Safari/604.1";
constexpr char kTablet[] = "Mozilla/5.0 (Android 14; Tablet; rv:128.0) Gecko/128.0 Firefox/128.0";

struct Hit {
  const char* method;
  const char* target;  // after "/mix"
  const char* client;
  const char* agent;   // null: no User-Agent line
  const char* referer;  // null: none
  const char* extra;   // another header line, or ""
};

// The mix, and (below) what it must count to: people's visits from three
// visitors and two countries, crawlers, a HEAD, DNT and Sec-GPC, QR scans.
constexpr Hit kMix[] = {
    {"GET", "", "10.1.0.1", kChrome, "https://news.example/a?private=1", ""},
    {"GET", "", "10.1.0.1", kChrome, "https://news.example/b#x", ""},
    {"GET", "", "10.1.0.1", kChrome, "http://user:pw@News.Example/c", ""},
    {"GET", "", "10.2.0.7", kIphone, "https://Chat.Example:8443/room/42", ""},
    {"GET", "", "10.2.0.7", kIphone, "https://chat.example/", ""},
    {"GET", "", "192.0.2.9", kTablet, nullptr, ""},
    {"GET", "", "10.1.0.3", "Slackbot-LinkExpanding 1.0 (+https://api.slack.com/robots)", nullptr, ""},
    {"GET", "", "10.1.0.3", nullptr, nullptr, ""},
    {"HEAD", "", "10.1.0.3", kChrome, nullptr, ""},
    {"GET", "", "10.1.0.5", kChrome, "https://dnt.example/", "DNT: 1\r\n"},
    {"GET", "", "10.1.0.6", kChrome, "https://gpc.example/", "Sec-GPC: 1\r\n"},
    {"GET", "?qr", "10.1.0.1", kChrome, nullptr, ""},
    {"GET", "?qr", "10.1.0.1", kChrome, nullptr, ""},
};
constexpr char kMixCounted[] =
    R"("total":10,"unique":3,"bots":3,"qr":2,"referrers":{"chat.example":2,"direct":3,"news.example":3},)"
    R"("countries":{"CN":2,"DE":5,"unknown":1},"browsers":{"chrome":5,"firefox":1,"safari":2},)"
    R"("os":{"android":1,"ios":2,"windows":5},"devices":{"desktop":5,"mobile":2,"tablet":1}})";

Response VisitOnce(uint16_t port, const Hit& hit) {
  std::string request = std::string(hit.method) + " /mix" + hit.target + " HTTP/1.1\r\nHost: snip.invalid\r\n" +
                        "Connection: close\r\nX-Forwarded-For: " + hit.client + "\r\n" + hit.extra;
  if (hit.agent) request += std::string("User-Agent: ") + hit.agent + "\r\n";
  if (hit.referer) request += std::string("Referer: ") + hit.referer + "\r\n";
  return test::Exchange(port, request + "\r\n", std::string_view(hit.method) == "HEAD");
}

// Everything of the period after "days"'s list: the totals and dimensions.
std::string PeriodOf(const std::string& body) {
  const std::size_t at = body.find("],\"total\"");
  return at == std::string::npos ? body : body.substr(at + 2, body.size() - at - 3);
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// What identifies a visitor in the mix: its addresses, agents and full
// referrers (their paths and queries).
void ExpectNothingIdentifying(const std::string& where, const std::string& text) {
  for (const Hit& hit : kMix) {
    EXPECT_EQ(text.find(hit.client), std::string::npos) << hit.client << " in " << where;
    if (hit.agent && *hit.agent) {
      EXPECT_EQ(text.find(hit.agent), std::string::npos) << hit.agent << " in " << where;
    }
    if (hit.referer) {
      EXPECT_EQ(text.find(hit.referer), std::string::npos) << hit.referer << " in " << where;
    }
  }
  for (const char* piece : {"private=1", "/room/42", "user:pw", "Slackbot", "iPhone OS"})
    EXPECT_EQ(text.find(piece), std::string::npos) << piece << " in " << where;
}

std::vector<std::string> Options(const std::string& countries) {
  return {"--geoip-database", countries, "--trusted-proxies", "127.0.0.1/32", "--click-flush-ms", "50", "--analytics-flush-ms", "50",
          "--access-log", "off"};
}

TEST(Analytics, AScriptedMixCountsExactlyAcrossAFlushAndARestartAndKeepsNoVisitor) {
  test::TempDir dir;
  const std::string countries = WriteCountryFile(dir), database = dir.File("links.db");
  const std::string admin = NewKeyText();
  OpenStore(database)->AddKey({"root", "admin", KeyDigest(admin), 1});
  std::string said;
  {
    test::ServiceProcess service(database, Options(countries));
    ASSERT_NE(service.port(), 0);
    ASSERT_EQ(test::Send(service.port(), "POST", "/api/v1/links", admin, R"({"url":"http://to.example/","alias":"mix"})")
                  .status,
              201);
    const std::size_t half = std::size(kMix) / 2;
    for (std::size_t i = 0; i < half; ++i) ASSERT_EQ(VisitOnce(service.port(), kMix[i]).status, 301);
    std::this_thread::sleep_for(300ms);  // flushed
    for (std::size_t i = half; i < std::size(kMix); ++i) {
      const Response answer = VisitOnce(service.port(), kMix[i]);
      ASSERT_EQ(answer.status, 301);
      // the QR code's marker leads where the plain address does
      EXPECT_NE(answer.head.find("Location: http://to.example/\r\n"), std::string::npos) << answer.head;
    }
    test::Get(service.port(), "/nosuch1");
    test::Get(service.port(), "/nosuch1");
    const std::string metrics = test::Get(service.port(), "/metrics").body;
    EXPECT_NE(metrics.find("snipora_clicks_total 10\n"), std::string::npos);
    EXPECT_NE(metrics.find("snipora_bot_visits_total 3\n"), std::string::npos);
    EXPECT_NE(metrics.find("snipora_qr_visits_total 2\n"), std::string::npos);
    EXPECT_NE(metrics.find("snipora_unknown_code_visits_total 2\n"), std::string::npos);
    EXPECT_EQ(metrics.find("mix"), std::string::npos) << "no label per link";
    ExpectNothingIdentifying("/metrics", metrics);
    EXPECT_EQ(service.Signal(SIGTERM), 0);  // the rest written at stop
    said = service.said();
  }
  test::ServiceProcess service(database, Options(countries));
  ASSERT_NE(service.port(), 0);
  const Response stats = test::Send(service.port(), "GET", "/api/v1/links/mix/stats", admin);
  ASSERT_EQ(stats.status, 200);
  EXPECT_EQ(PeriodOf(stats.body), kMixCounted) << stats.body;
  // the link's total counts people alone
  EXPECT_NE(test::Send(service.port(), "GET", "/api/v1/links/mix", admin).body.find("\"clicks\":10"), std::string::npos);
  const Response unknown = test::Send(service.port(), "GET", "/api/v1/stats/unknown", admin);
  EXPECT_NE(unknown.body.find(R"("total":2,"codes":{"nosuch1":2})"), std::string::npos) << unknown.body;
  EXPECT_EQ(test::Send(service.port(), "GET", "/api/v1/stats/unknown", "").status, 401);
  // Kutt's shape: its lists of {name, value}, the largest first, and its views
  const std::optional<Json> kutt = ParseJsonBody(
      test::Exchange(service.port(), "GET /api/v2/links/mix/stats HTTP/1.1\r\nHost: snip.invalid\r\nConnection: "
                                     "close\r\nX-API-KEY: " + admin + "\r\n\r\n").body);
  ASSERT_TRUE(kutt && kutt->is_object());
  EXPECT_EQ((*kutt)["lastDay"]["stats"]["country"].dump(), R"([{"name":"DE","value":5},{"name":"CN","value":2},)"
                                                           R"({"name":"unknown","value":1}])");
  EXPECT_EQ((*kutt)["allTime"]["stats"]["referrer"][0].dump(), R"({"name":"direct","value":3})");
  EXPECT_EQ((*kutt)["lastWeek"]["views"].size(), 7u);
  EXPECT_EQ((*kutt)["lastMonth"]["views"].size(), 30u);
  EXPECT_EQ((*kutt)["lastMonth"]["views"].back(), 10);
  EXPECT_EQ((*kutt)["allTime"]["views"].size(), 18u);
  EXPECT_EQ((*kutt)["visit_count"], 10);
  service.Signal(SIGTERM);
  ExpectNothingIdentifying("the service's log", said + service.said());
  for (const char* file : {"links.db", "links.db-wal"}) ExpectNothingIdentifying(file, FileBytes(dir.File(file)));
}

TEST(Analytics, TwoInstancesOnOnePostgresAddUpAndCountAVisitorOnce) {
  test::TempDir dir;
  const std::string countries = WriteCountryFile(dir), database = test::SharedPostgres::FreshDatabase();
  const std::string admin = NewKeyText();
  OpenStore(database)->AddKey({"root", "admin", KeyDigest(admin), 1});
  test::ServiceProcess first(database, Options(countries)), second(database, Options(countries));
  ASSERT_NE(first.port(), 0);
  ASSERT_NE(second.port(), 0);
  ASSERT_EQ(test::Send(first.port(), "POST", "/api/v1/links", admin, R"({"url":"http://to.example/","alias":"mix"})")
                .status,
            201);
  // the mix split between them, the first visitor on both
  for (std::size_t i = 0; i < std::size(kMix); ++i)
    ASSERT_EQ(VisitOnce(i % 2 ? first.port() : second.port(), kMix[i]).status, 301);
  // 300 more visitors, 100 of them seen by both
  for (int i = 0; i < 300; ++i) {
    const std::string client = "10.2." + std::to_string(1 + i / 250) + "." + std::to_string(i % 250);
    const Hit hit{"GET", "", client.c_str(), kIphone, nullptr, ""};
    ASSERT_EQ(VisitOnce(first.port(), hit).status, 301);
    if (i < 100) {
      ASSERT_EQ(VisitOnce(second.port(), hit).status, 301);
    }
  }
  // both instances' flushes written (each on its own interval)
  std::optional<Json> stats;
  for (const auto until = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < until;) {
    stats = ParseJsonBody(test::Send(second.port(), "GET", "/api/v1/links/mix/stats", admin).body);
    if (stats && stats->is_object() && (*stats)["total"] == 410 && (*stats)["countries"].dump() ==
        R"({"CN":402,"DE":5,"unknown":1})") break;
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(stats && stats->is_object());
  EXPECT_EQ((*stats)["total"], 410);
  EXPECT_EQ((*stats)["bots"], 3);
  EXPECT_EQ((*stats)["qr"], 2);
  EXPECT_EQ((*stats)["countries"].dump(), R"({"CN":402,"DE":5,"unknown":1})");
  EXPECT_EQ((*stats)["referrers"].dump(), R"({"chat.example":2,"direct":403,"news.example":3})");
  // 303 different visitors (the salt is random: linear counting's error)
  EXPECT_NEAR((*stats)["unique"].get<double>(), 303, 6) << stats->dump();
}

// The sketch's error at and above 1,000 visitors, and what merges it.
TEST(Analytics, DifferentVisitorsWithinTwoPercentOnceEachAndAgainTheNextDay) {
  // the keyed hash is SipHash-2-4: its authors' test vector (a weaker hash
  // would let visitors be told apart, or collide)
  HashKey key{};
  std::string message;
  for (int i = 0; i < 16; ++i) key[std::size_t(i)] = uint8_t(i);
  for (int i = 0; i < 15; ++i) message += char(i);
  EXPECT_EQ(KeyedHashOf(key, message), 0xa129ca6149be45e5ULL);
  KeyedHash split(key);
  split.Add(message.substr(0, 3));
  split.Add(message.substr(3));
  EXPECT_EQ(split.Finish(), 0xa129ca6149be45e5ULL);
  HashKey salt{};
  salt[0] = 7;
  for (int visitors : {1000, 10000, 100000}) {
    DistinctCount once, twice, left, right;
    for (int i = 0; i < visitors; ++i) {
      const uint64_t hash = KeyedHashOf(salt, "visitor " + std::to_string(i));
      once.AddHash(hash);
      twice.AddHash(hash);
      twice.AddHash(hash);
      (i % 3 ? left : right).AddHash(hash);
      if (i % 5 == 0) right.AddHash(hash);  // seen on both instances
    }
    EXPECT_NEAR(once.Estimate(), visitors, visitors * 0.02) << visitors;
    EXPECT_EQ(twice.Estimate(), once.Estimate());
    left.Merge(right);
    EXPECT_EQ(left.Estimate(), once.Estimate()) << "a merge is the sketch of the union";
  }
  // one visitor twice on a day is one; the next day (its own salt) one again
  VisitCounts counts(nullptr, 100, salt);
  Visit visit;
  visit.client = "10.1.0.1";
  visit.userAgent = kChrome;
  visit.referrer = "direct";
  counts.Count("c", visit);
  counts.Count("c", visit);
  HashKey next = salt;
  next[1] = 1;
  const Tallies first = counts.Take(101, next);
  counts.Count("c", visit);
  const Tallies second = counts.Take(102, next);
  ASSERT_EQ(first.registers.size(), 1u);
  EXPECT_EQ(first.registers[0].day, 100);
  ASSERT_EQ(second.registers.size(), 1u);
  EXPECT_EQ(second.registers[0].day, 101);
  EXPECT_NE(first.registers[0].index, second.registers[0].index) << "another day's salt hashes it anew";
}

TEST(Analytics, RetentionRemovesOnlyRowsOlderThanItsSettingInSteps) {
  test::TempDir dir;
  std::unique_ptr<Store> store = OpenStore(dir.File("links.db"));
  ASSERT_EQ(store->InsertIfAbsent(std::vector<NewLink>{{"c", "http://to.example/"}})[0].outcome,
            InsertResult::kInserted);
  const int64_t today = 20000;
  for (int64_t day : {today - 500, today - 401, today - 400, today - 40, today - 20, today}) {
    Tallies tallies;
    tallies.counts.push_back({"c", day, "country", "DE", 1});
    tallies.counts.push_back({"c", day, "bots", "", 1});
    for (int reg = 0; reg < 3; ++reg) tallies.registers.push_back({"c", day, reg, 1});
    ClickFlush flush{"f" + std::to_string(day), day, &tallies};
    store->AddClicks(std::vector<ClickCount>{{"c", 1}}, flush);
  }
  RetentionSettings keep;
  keep.dimensionDays = 400;
  keep.totalDays = 30;
  keep.stepRows = 2;  // many steps
  keep.pause = 1ms;
  keep.today = [&] { return today; };
  {
    TallyRetention retention(*store, keep);
    for (int i = 0; i < 500 && retention.passes() == 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(retention.passes(), 1);
  }
  std::vector<int64_t> dimensionDays, registerDays, botDays, clickDays;
  for (const TallyRow& row : store->TalliesByDay("c", 0, today))
    (row.kind == "bots" ? botDays : dimensionDays).push_back(row.day);
  for (const RegisterRow& row : store->RegistersByDay("c", 0, today))
    if (row.index == 0) registerDays.push_back(row.day);
  for (const DayCount& day : store->ClicksByDay("c", 0, today)) clickDays.push_back(day.day);
  const std::vector<int64_t> within400 = {today - 400, today - 40, today - 20, today}, within30 = {today - 20, today};
  EXPECT_EQ(dimensionDays, within400);
  EXPECT_EQ(registerDays, within400);
  EXPECT_EQ(botDays, within30);
  EXPECT_EQ(clickDays, within30);
  EXPECT_EQ(store->FindCode("c")->clicks, 6) << "a link's total stays";
}

}  // namespace
}  // namespace snipora::service
