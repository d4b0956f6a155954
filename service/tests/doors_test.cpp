// Every door over one store: an address shortened through any of them —
// the program's form, the service's own API, the plain-text API, YOURLS,
// Shlink, Kutt — is given the same code through all the others, and an
// address one door refuses, every door refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
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
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
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
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
  }
  test::TempDir dir_;
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

}  // namespace
}  // namespace snipora::service
