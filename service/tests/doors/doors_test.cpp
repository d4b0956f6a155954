// Every door over one store: an address shortened through any of them —
// the program's form, the service's own API, the plain-text API, YOURLS,
// Shlink, Kutt — is given the same code through all the others, and an
// address one door refuses, every door refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/app/keys.h"
#include "service/core/json_body.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/feed_server.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using test::Response;

constexpr char kKey[] = "snp_doors_test_key_0123456789abcdef";

// A request with a key in a header of the door's choosing and a body.
Response Request(uint16_t port, const std::string& method, const std::string& target, const std::string& header,
                 const std::string& type, const std::string& body) {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n";
  if (!header.empty()) request += header + ": " + kKey + "\r\n";
  if (!body.empty())
    request += "Content-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  return test::Exchange(port, request + "\r\n" + body);
}

std::string Member(const Response& response, const std::string& name) {
  const std::optional<Json> json = ParseJsonBody(response.body);
  if (!json || !json->is_object() || !json->contains(name) || !(*json)[name].is_string()) return "";
  return (*json)[name].get<std::string>();
}

// The code of the short address a door answered ("" when it gave none).
std::string CodeOf(const std::string& shortAddress) {
  const std::size_t slash = shortAddress.rfind('/');
  return slash == std::string::npos || shortAddress.rfind("http://snip.invalid/", 0) != 0
             ? ""
             : shortAddress.substr(slash + 1);
}

struct Door {
  const char* name;
  // the door's answer to shortening `url`: the response, and the code it gave
  std::function<Response(uint16_t port, const std::string& url)> ask;
  std::function<std::string(const Response&)> code;
};

const std::vector<Door>& AllDoors() {
  static const std::vector<Door> doors = {
      {"form", [](uint16_t port, const std::string& url) { return test::Get(port, test::CreateTarget(url)); },
       [](const Response& response) {
         // the page holds the address between the markers the program cuts from
         const std::size_t at = response.body.find("snip.invalid/");
         if (response.status != 200 || at == std::string::npos) return std::string();
         const std::size_t end = response.body.find_first_of("<\"", at);
         return response.body.substr(at + 13, end - at - 13);
       }},
      {"own API",
       [](uint16_t port, const std::string& url) {
         return test::Send(port, "POST", "/api/v1/links", kKey, JsonText(Json{{"url", url}}));
       },
       [](const Response& response) { return Member(response, "code"); }},
      {"plain text",
       [](uint16_t port, const std::string& url) { return test::Get(port, "/api-create.php?url=" + test::Escape(url)); },
       [](const Response& response) { return response.status == 200 ? CodeOf(response.body) : ""; }},
      {"YOURLS",
       [](uint16_t port, const std::string& url) {
         return Request(port, "POST", "/yourls-api.php", "", "application/x-www-form-urlencoded",
                        "action=shorturl&format=json&signature=" + std::string(kKey) + "&url=" + test::Escape(url));
       },
       [](const Response& response) { return CodeOf(Member(response, "shorturl")); }},
      {"Shlink",
       [](uint16_t port, const std::string& url) {
         return Request(port, "POST", "/rest/v3/short-urls", "X-Api-Key", "application/json",
                        JsonText(Json{{"longUrl", url}}));
       },
       [](const Response& response) { return Member(response, "shortCode"); }},
      {"Kutt",
       [](uint16_t port, const std::string& url) {
         return Request(port, "POST", "/api/v2/links", "X-API-KEY", "application/json",
                        JsonText(Json{{"target", url}, {"customurl", nullptr}, {"reuse", false}}));
       },
       [](const Response& response) { return CodeOf(Member(response, "link")); }},
  };
  return doors;
}

class Doors : public testing::Test {
 protected:
  void SetUp() override {
    Settings settings = test::TestSettings(dir_);
    std::ofstream(dir_.File("deny.txt")) << "spam.example\n10.6.6.6\n";
    settings.denyList = dir_.File("deny.txt");
    OpenSqliteStore(settings.database)->AddKey({"doors", "creator", KeyDigest(kKey), 1});
    log_ = std::tmpfile();
    service_ = std::make_unique<Service>(settings, nullptr, log_);
    port_ = service_->port();
  }
  void TearDown() override {
    service_.reset();
    if (log_) std::fclose(log_);
  }
  // The access log so far.
  std::string AccessLogText() {
    service_->FlushLog();
    std::rewind(log_);
    std::string text;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, log_)) > 0;) text.append(chunk, got);
    return text;
  }
  test::TempDir dir_;
  std::FILE* log_ = nullptr;
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

TEST_F(Doors, AnAddressHasOneCodeWhicheverDoorMadeIt) {
  for (const Door& maker : AllDoors()) {
    // each door makes an address of its own, spelled another way by the others
    const std::string made = std::string("http://Doors.Example/") + maker.name[0] + std::to_string(port_);
    const std::string code = maker.code(maker.ask(port_, made));
    ASSERT_FALSE(code.empty()) << maker.name << " made no code for " << made;
    for (const Door& finder : AllDoors()) {
      const std::string respelled = "HTTP://doors.example:80/" + made.substr(made.rfind('/') + 1);
      EXPECT_EQ(finder.code(finder.ask(port_, respelled)), code)
          << finder.name << " finding what " << maker.name << " made";
    }
    EXPECT_EQ(test::Get(port_, "/" + code).Header("Location"), "http://doors.example/" + made.substr(made.rfind('/') + 1));
  }
}

TEST_F(Doors, WhatOneDoorRefusesEveryDoorRefuses) {
  const char* refused[] = {"javascript:alert(1)", "http://SNIP.INVALID/loop", "http://www.spam.example/x", "http://",
                           // the service listens on loopback: every loopback name is its own
                           "http://localhost:8080/loop", "http://[::ffff:7f00:1]/loop",
                           // 10.6.6.6, denied, spelled as browsers also read it
                           "http://0x0a060606/p", "http://10.394758/p", "http://10.6.6.256/p"};
  for (const char* url : refused) {
    for (const Door& door : AllDoors()) {
      const Response response = door.ask(port_, url);
      EXPECT_GE(response.status, 400) << door.name << " took " << url;
      EXPECT_LT(response.status, 500) << door.name << " on " << url;
      EXPECT_EQ(door.code(response), "") << door.name << " gave a code for " << url;
    }
  }
}

// A threat feed's entry, in each of the formats feeds come in, is refused
// on every door as the deny list is; an address entry refuses that address
// alone, not its host.
TEST(DoorsFeeds, AThreatFeedsEntryInAnyFormatIsRefusedOnEveryDoor) {
  test::TempDir dir;
  test::FeedServer hosts, domains, urls, csv;
  hosts.Serve("127.0.0.1 localhost\n0.0.0.0 hosts.example\n");
  domains.Serve("# list\n||domains.example^\n");
  urls.Serve("http://urls.example/exact\n");
  csv.Serve("# id,dateadded,url,url_status\n\"1\",\"2026-12-01\",\"http://csv.example/bin\",\"online\"\n");
  Settings settings = test::TestSettings(dir);
  settings.threatFeeds = "hosts=" + hosts.Url() + ",domains=" + domains.Url() + ",urls=" + urls.Url() +
                         ",csv=" + csv.Url();
  OpenSqliteStore(settings.database)->AddKey({"doors", "creator", KeyDigest(kKey), 1});
  Service service(settings, nullptr, nullptr);
  const uint16_t port = service.port();
  for (int tries = 0; tries < 250 && service.metrics().threatEntries.load() < 4; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(service.metrics().threatEntries.load(), 4u);
  const char* refused[] = {"http://login.hosts.example/", "https://domains.example/a", "http://URLS.example:80/exact",
                           "http://csv.example/bin"};
  for (const Door& door : AllDoors()) {
    for (const char* url : refused) {
      const Response response = door.ask(port, url);
      EXPECT_GE(response.status, 400) << door.name << " took " << url;
      EXPECT_LT(response.status, 500) << door.name << " on " << url;
      EXPECT_EQ(door.code(response), "") << door.name << " gave a code for " << url;
    }
    const std::string other = std::string("http://urls.example/other-") + door.name[0];
    EXPECT_NE(door.code(door.ask(port, other)), "") << door.name << " refused " << other;
  }
  EXPECT_EQ(service.metrics().threatRefused.load(), std::size(refused) * AllDoors().size());
}

// A creation is answered after its commit, from the writer (a new link) or
// from the transport's thread (a known one): those answers carry the
// headers of the door's immediate ones (a refusal before the writer), which
// the pages' security headers and Shlink's CORS are.
TEST_F(Doors, AnAnswerPutOffCarriesTheHeadersOfAnImmediateOne) {
  const char* kDecoration[] = {"Content-Security-Policy", "X-Content-Type-Options", "Referrer-Policy",
                               "Access-Control-Allow-Origin"};
  for (const Door& door : AllDoors()) {
    const std::string url = std::string("http://later.example/") + door.name[0];
    const Response made = door.ask(port_, url);
    ASSERT_FALSE(door.code(made).empty()) << door.name;
    const Response known = door.ask(port_, url);
    const Response refused = door.ask(port_, "ftp://later.example/");
    ASSERT_GE(refused.status, 400) << door.name;
    for (const char* header : kDecoration) {
      EXPECT_EQ(made.Header(header), refused.Header(header)) << door.name << ", a new link: " << header;
      EXPECT_EQ(known.Header(header), refused.Header(header)) << door.name << ", a known one: " << header;
    }
    EXPECT_NE(made.Header("Content-Security-Policy"), "") << door.name;
    if (std::string_view(door.name) == "Shlink") {
      EXPECT_EQ(made.Header("Access-Control-Allow-Origin"), "*");
    }
  }
}

// A deleted code is held back: asking for it again as an alias, through any
// door, is refused as a taken one, and the old short address stays dead.
TEST_F(Doors, ADeletedAliasIsRefusedAsTaken) {
  const Response made = test::Send(port_, "POST", "/api/v1/links", kKey,
                                   JsonText(Json{{"url", "http://promo.example/2026"}, {"alias", "promo2026"}}));
  ASSERT_EQ(made.status, 201) << made.body;
  ASSERT_EQ(test::Send(port_, "DELETE", "/api/v1/links/promo2026", kKey).status, 200);
  const Response own = test::Send(port_, "POST", "/api/v1/links", kKey,
                                  JsonText(Json{{"url", "http://takeover.example/"}, {"alias", "promo2026"}}));
  EXPECT_EQ(own.status, 409);
  EXPECT_NE(own.body.find("\"alias_taken\""), std::string::npos) << own.body;
  const Response yourls = Request(port_, "POST", "/yourls-api.php", "", "application/x-www-form-urlencoded",
                                  "action=shorturl&format=json&keyword=promo2026&url=http%3A%2F%2Ftakeover.example%2F");
  EXPECT_EQ(yourls.status, 400);
  EXPECT_EQ(Member(yourls, "code"), "error:keyword") << yourls.body;
  EXPECT_EQ(test::Get(port_, "/promo2026").status, 404);
}

// HEAD on every route that creates changes nothing: a new address is not
// made (405, the route's other methods in Allow) and neither the rate limit
// nor the metrics count it; an address stored before is answered with the
// head GET answers it with.
TEST(DoorsHead, HeadOnACreatingRouteMakesNothingAndAnswersAKnownAddressAsGetDoes) {
  struct Route {
    const char* name;
    std::string prefix;  // the target up to the escaped address
    std::string allow;
  };
  const Route routes[] = {
      {"form", "/create.php?source=indexpage&submit=x&url=", "GET, POST"},
      {"form simple", "/create.php?format=simple&url=", "GET, POST"},
      {"plain text", "/api-create.php?url=", "GET"},
      {"YOURLS", "/yourls-api.php?action=shorturl&format=json&url=", "GET, POST"},
      {"Shlink shorten", "/rest/v3/short-urls/shorten?longUrl=", "GET"},
  };
  test::TempDir dir;
  Settings settings = test::TestSettings(dir);
  settings.creationsPerMinute = 2 * std::size(routes);  // the GETs below, no more
  Service service(settings, nullptr, nullptr);
  const uint16_t port = service.port();
  std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
  const auto head = [&](const std::string& target) {
    return test::Exchange(port, "HEAD " + target + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n\r\n", true);
  };
  for (const Route& route : routes) {
    const std::string target = route.prefix + test::Escape(std::string("http://head.example/") + route.name);
    const std::size_t before = store->ListLinks({}).size();
    const Response fresh = head(target);
    EXPECT_EQ(fresh.status, 405) << route.name;
    EXPECT_EQ(fresh.Header("Allow"), route.allow) << route.name;
    EXPECT_EQ(store->ListLinks({}).size(), before) << route.name << " stored a link for a HEAD";
    EXPECT_LT(test::Get(port, target).status, 300) << route.name;  // made now
    ASSERT_EQ(store->ListLinks({}).size(), before + 1) << route.name;
    const Response get = test::Get(port, target);  // known now
    const Response known = head(target);
    EXPECT_EQ(known.status, get.status) << route.name;
    EXPECT_NE(known.Header("Content-Length"), "") << route.name;  // the size GET's body has
    for (const char* header : {"Content-Type", "Content-Length"})
      EXPECT_EQ(known.Header(header), get.Header(header)) << route.name << " " << header;
    EXPECT_TRUE(known.body.empty());
    EXPECT_EQ(store->ListLinks({}).size(), before + 1) << route.name;
  }
  const std::string metrics = test::Get(port, "/metrics").body;
  const std::string made = "snipora_creations_total " + std::to_string(std::size(routes)) + "\n";
  const std::string known = "snipora_known_addresses_total " + std::to_string(std::size(routes)) + "\n";
  EXPECT_NE(metrics.find(made), std::string::npos) << metrics;
  EXPECT_NE(metrics.find(known), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("snipora_rate_limited_total 0\n"), std::string::npos) << metrics;
}

// The doors that take a key in the query (YOURLS's signature=, Shlink's
// apiKey=) are used with one, each spelling of its name, and a YOURLS
// password and timestamp-signed signature: the access log holds none of
// them, and the rest of each target as it came.
TEST_F(Doors, NoKeyOrPasswordReachesTheAccessLog) {
  const std::string url = test::Escape("http://logged.example/");
  const struct {
    std::string target;
    int status;
    std::string logged;  // what the log keeps of it
  } kCases[] = {
      {"/yourls-api.php?action=shorturl&format=json&signature=" + std::string(kKey) + "&url=" + url, 200,
       "/yourls-api.php?action=shorturl&format=json&signature=***&url=" + url},
      {"/yourls-api.php?action=version&format=json&SIGNATURE=" + std::string(kKey), 200,
       "/yourls-api.php?action=version&format=json&SIGNATURE=***"},
      {"/yourls-api.php?action=version&format=json&timestamp=1765000000&signature=9c0fa1f4d1b2e3",
       403, "/yourls-api.php?action=version&format=json&timestamp=1765000000&signature=***"},
      {"/yourls-api.php?action=version&format=json&username=ops&password=hunter2", 403,
       "/yourls-api.php?action=version&format=json&username=ops&password=***"},
      {"/rest/v3/short-urls/shorten?apiKey=" + std::string(kKey) + "&longUrl=" + url, 200,
       "/rest/v3/short-urls/shorten?apiKey=***&longUrl=" + url},
      {"/rest/v3/short-urls/shorten?api%4Bey=" + std::string(kKey) + "&longUrl=" + url + "&format=txt", 200,
       "/rest/v3/short-urls/shorten?api%4Bey=***&longUrl=" + url + "&format=txt"},
  };
  for (const auto& c : kCases) EXPECT_EQ(test::Get(port_, c.target).status, c.status) << c.target;
  // a request's line is written once it is complete, a moment after its answer
  std::string log = AccessLogText();
  for (int wait = 0; wait < 100 && std::count(log.begin(), log.end(), '\n') < std::ssize(kCases); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log = AccessLogText();
  }
  for (const auto& c : kCases) EXPECT_NE(log.find("\"GET " + c.logged + " HTTP/1.0\" "), std::string::npos) << c.logged;
  for (const char* secret : {kKey, "hunter2", "9c0fa1f4d1b2e3"}) EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

}  // namespace
}  // namespace snipora::service
