// One service on two domains: a link lives on the domain it was made on,
// whichever door made it, and is found, counted, drawn, taken down and
// listed there alone.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "service/app/keys.h"
#include "service/core/json_body.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using test::Response;

constexpr char kKey[] = "snp_domains_test_key_0123456789abcd";

// A request on `host`, with the key in `header` (none: "") and a body.
Response On(uint16_t port, const std::string& host, const std::string& method, const std::string& target,
            const std::string& header = "", const std::string& body = "",
            const std::string& type = "application/json") {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n";
  if (!header.empty()) request += header + ": " + (header == "Authorization" ? "Bearer " : "") + kKey + "\r\n";
  if (!body.empty())
    request += "Content-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  return test::Exchange(port, request + "\r\n" + body);
}

std::string Member(const Response& response, const std::string& name) {
  const std::optional<Json> json = ParseJsonBody(response.body);
  if (!json || !json->is_object() || !json->contains(name) || !(*json)[name].is_string()) return "";
  return (*json)[name].get<std::string>();
}

class TwoDomains : public testing::Test {
 protected:
  void SetUp() override {
    Settings settings = test::TestSettings(dir_);
    settings.domains = "go.example,s.example";
    OpenSqliteStore(settings.database)->AddKey({"ops", "admin", KeyDigest(kKey), 1});
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
  }
  // The short address the own API gives `url` with `alias` on `domain` ("": none named).
  Response Make(const std::string& url, const std::string& alias, const std::string& domain) {
    Json body{{"url", url}, {"alias", alias}};
    if (!domain.empty()) body["domain"] = domain;
    return On(port_, "go.example", "POST", "/api/v1/links", "Authorization", JsonText(body));
  }
  std::string Location(const std::string& host, const std::string& code) {
    return On(port_, host, "GET", "/" + code).Header("Location");
  }
  test::TempDir dir_;
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

TEST_F(TwoDomains, TheSameCodeLeadsToADifferentAddressOnEachDomain) {
  ASSERT_EQ(Make("http://one.example/", "promo", "").status, 201);  // the default: the first domain
  const Response other = Make("http://two.example/", "promo", "s.example");
  ASSERT_EQ(other.status, 201) << other.body;
  EXPECT_EQ(Member(other, "short"), "http://s.example/promo");
  EXPECT_EQ(Location("go.example", "promo"), "http://one.example/");
  EXPECT_EQ(Location("S.Example.:8080", "promo"), "http://two.example/");  // the host as hosts are compared
  // one code per address holds on each domain alone
  const Response again = Make("http://one.example/", "", "s.example");
  ASSERT_EQ(again.status, 201) << again.body;
  EXPECT_NE(Member(again, "code"), "promo");
  EXPECT_EQ(Member(Make("http://one.example/", "", "go.example"), "code"), "promo");
  EXPECT_EQ(Make("http://one.example/", "", "elsewhere.example").status, 400);

  // a host that is none of them (here the listen address, which is allowed)
  const std::string listen = "127.0.0.1:" + std::to_string(port_);
  const Response nowhere = On(port_, listen, "GET", "/promo");
  EXPECT_EQ(nowhere.status, 404);
  EXPECT_NE(nowhere.body.find("href=\"http://go.example/?lang="), std::string::npos) << nowhere.body;
  EXPECT_EQ(On(port_, listen, "GET", "/promo/qr-code").status, 404);
  // the QR code of each domain's short address
  EXPECT_NE(On(port_, "go.example", "GET", "/promo/qr-code?format=svg").Header("ETag"),
            On(port_, "s.example", "GET", "/promo/qr-code?format=svg").Header("ETag"));
}

// Each door takes the domain its own way: the pages, the plain-text API and
// YOURLS's by the host asked on, the JSON APIs by a member.
TEST_F(TwoDomains, ACreationThroughEachDoorLandsOnTheDomainAsked) {
  struct Ask {
    const char* door;
    std::function<Response(const std::string& url)> ask;
  };
  const std::vector<Ask> asks = {
      {"form", [&](const std::string& url) { return On(port_, "s.example", "GET", test::CreateTarget(url)); }},
      {"plain text",
       [&](const std::string& url) { return On(port_, "s.example", "GET", "/api-create.php?url=" + test::Escape(url)); }},
      {"YOURLS",
       [&](const std::string& url) {
         return On(port_, "s.example", "POST", "/yourls-api.php", "", "action=shorturl&format=json&url=" + test::Escape(url),
                   "application/x-www-form-urlencoded");
       }},
      {"own API",
       [&](const std::string& url) {
         return On(port_, "go.example", "POST", "/api/v1/links", "Authorization",
                   JsonText(Json{{"url", url}, {"domain", "s.example"}}));
       }},
      {"Shlink",
       [&](const std::string& url) {
         return On(port_, "go.example", "POST", "/rest/v3/short-urls", "X-Api-Key",
                   JsonText(Json{{"longUrl", url}, {"domain", "s.example"}}));
       }},
      {"Kutt",
       [&](const std::string& url) {
         return On(port_, "go.example", "POST", "/api/v2/links", "X-API-KEY",
                   JsonText(Json{{"target", url}, {"domain", "s.example"}}));
       }},
  };
  for (const Ask& ask : asks) {
    const std::string url = std::string("http://door.example/") + ask.door[0] + ask.door[1];
    const Response made = ask.ask(url);
    ASSERT_LT(made.status, 300) << ask.door << ": " << made.body;
    const std::size_t at = made.body.find("s.example/");
    ASSERT_NE(at, std::string::npos) << ask.door << " answered no address on s.example: " << made.body;
    const std::size_t end = made.body.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_", at + 10);
    const std::string code = made.body.substr(at + 10, end - at - 10);
    EXPECT_EQ(Location("s.example", code), url) << ask.door;
    EXPECT_EQ(On(port_, "go.example", "GET", "/" + code).status, 404) << ask.door;
  }
  // Shlink names a domain it does not serve as invalid, Kutt refuses it
  EXPECT_EQ(On(port_, "go.example", "POST", "/rest/v3/short-urls", "X-Api-Key",
               JsonText(Json{{"longUrl", "http://x.example/"}, {"domain", "old.example"}}))
                .status,
            400);
  EXPECT_EQ(On(port_, "go.example", "POST", "/api/v2/links", "X-API-KEY",
               JsonText(Json{{"target", "http://x.example/"}, {"domain", "old.example"}}))
                .status,
            400);
}

TEST_F(TwoDomains, ALinkToEitherDomainIsALoop) {
  for (const char* url : {"http://go.example/promo", "http://S.EXAMPLE:81/promo"}) {
    const Response refused = Make(url, "", "");
    EXPECT_EQ(refused.status, 400) << url << ": " << refused.body;
  }
}

TEST_F(TwoDomains, ATakedownOnOneDomainLeavesTheSameCodeOnTheOtherAlone) {
  ASSERT_EQ(Make("http://one.example/", "promo", "go.example").status, 201);
  ASSERT_EQ(Make("http://two.example/", "promo", "s.example").status, 201);
  ASSERT_EQ(Location("go.example", "promo"), "http://one.example/");  // both cached
  ASSERT_EQ(Location("s.example", "promo"), "http://two.example/");
  const Response disabled = On(port_, "go.example", "PATCH", "/api/v1/links/promo?domain=s.example", "Authorization",
                               JsonText(Json{{"disabled", true}}));
  ASSERT_EQ(disabled.status, 200) << disabled.body;
  EXPECT_EQ(On(port_, "s.example", "GET", "/promo").status, 410);
  EXPECT_EQ(Location("go.example", "promo"), "http://one.example/");
  // the statistics and the deletion of one domain's code
  EXPECT_EQ(On(port_, "s.example", "GET", "/api/v1/links/promo/stats", "Authorization").status, 200);
  ASSERT_EQ(On(port_, "go.example", "DELETE", "/rest/v3/short-urls/promo?domain=s.example", "X-Api-Key").status, 204);
  EXPECT_EQ(On(port_, "s.example", "GET", "/promo").status, 404);
  EXPECT_EQ(Location("go.example", "promo"), "http://one.example/");
}

TEST_F(TwoDomains, ShlinksDomainsAndListsNameEachDomain) {
  ASSERT_EQ(Make("http://one.example/", "promo", "go.example").status, 201);
  ASSERT_EQ(Make("http://two.example/", "promo", "s.example").status, 201);
  const std::optional<Json> domains = ParseJsonBody(On(port_, "go.example", "GET", "/rest/v3/domains", "X-Api-Key").body);
  ASSERT_TRUE(domains);
  const Json& data = (*domains)["domains"]["data"];
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[0]["domain"], "go.example");
  EXPECT_EQ(data[0]["isDefault"], true);
  EXPECT_EQ(data[1]["domain"], "s.example");
  EXPECT_EQ(data[1]["isDefault"], false);
  EXPECT_TRUE((*domains)["domains"]["defaultRedirects"].is_object());
  EXPECT_EQ(On(port_, "go.example", "GET", "/rest/v3/domains").status, 401);

  const std::optional<Json> all = ParseJsonBody(On(port_, "s.example", "GET", "/rest/v3/short-urls", "X-Api-Key").body);
  ASSERT_TRUE(all);
  std::vector<std::pair<Json, Json>> listed;
  for (const Json& one : (*all)["shortUrls"]["data"]) listed.emplace_back(one["domain"], one["shortUrl"]);
  EXPECT_EQ(listed, (std::vector<std::pair<Json, Json>>{{nullptr, "http://go.example/promo"},
                                                        {"s.example", "http://s.example/promo"}}));
  const std::optional<Json> one =
      ParseJsonBody(On(port_, "go.example", "GET", "/rest/v3/short-urls?domain=s.example", "X-Api-Key").body);
  ASSERT_TRUE(one);
  EXPECT_EQ((*one)["shortUrls"]["data"].size(), 1u);
  EXPECT_EQ(On(port_, "go.example", "GET", "/rest/v3/short-urls/promo?domain=s.example", "X-Api-Key").body.find(
                "two.example") != std::string::npos,
            true);
}

}  // namespace
}  // namespace snipora::service
