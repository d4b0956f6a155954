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

#include "service/core/json_body.h"
#include "service/keys.h"
#include "service/service.h"
#include "service/sqlite_store.h"
#include "service/tests/http_client.h"

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
    std::ofstream(dir_.File("deny.txt")) << "spam.example\n";
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
  const char* refused[] = {"javascript:alert(1)", "http://SNIP.INVALID/loop", "http://www.spam.example/x", "http://"};
  for (const char* url : refused) {
    for (const Door& door : AllDoors()) {
      const Response response = door.ask(port_, url);
      EXPECT_GE(response.status, 400) << door.name << " took " << url;
      EXPECT_LT(response.status, 500) << door.name << " on " << url;
      EXPECT_EQ(door.code(response), "") << door.name << " gave a code for " << url;
    }
  }
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
