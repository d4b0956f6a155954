// The Kutt v2 API as Kutt's clients use it: the upload tool's request with its
// nulls answered with the link it reads, Kutt's fields and durations, every
// refusal as {"error"} with Kutt's status, lists newest first with an honest
// total, and changes and deletions by owners and admins alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <regex>

#include "service/app/keys.h"
#include "service/core/json_body.h"
#include "service/core/utc_time.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using test::Response;

// Seconds since 1970 of a date as Kutt's answers write it.
int64_t Seconds(const Json& date) {
  const std::string text = date.get<std::string>();
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.000Z)"))) << text;
  return ParseTime(text.substr(0, 19) + "Z").value_or(-1);
}

class KuttApi : public testing::Test {
 protected:
  void Start(const std::function<void(Settings&)>& adjust = {}) {
    Settings settings = test::TestSettings(dir_);
    denyFile_ = dir_.File("deny.txt");
    std::ofstream(denyFile_) << "spam.example\n";
    settings.denyList = denyFile_;
    if (adjust) adjust(settings);
    {
      std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
      test::AddApiKeys(*store, admin_, alice_, bob_);
      // made over three days, listed in another order than their codes'
      const NewLink seeded[] = {
          {"old", "http://alice.example/old", 1000000, 4, "alice"},
          {"new", "http://alice.example/new", 3000000, 0, "alice"},
          {"mid", "http://alice.example/mid", 2000000, 0, "alice"},
          {"bobs", "http://bob.example/", 2500000, 0, "bob"},
      };
      store->InsertIfAbsent(seeded);
    }
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
  }
  // A request as Kutt's clients send one: the key in X-API-KEY.
  Response Kutt(const std::string& method, const std::string& path, const std::string& key,
                const std::string& body = "", const std::string& header = "X-API-KEY") {
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n";
    if (!key.empty()) request += header + ": " + key + "\r\n";
    if (!body.empty())
      request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    return test::Exchange(port_, request + "\r\n" + body);
  }
  // The link `code` as alice's list shows it, read back from the store.
  Json Listed(const std::string& code) {
    const Json page = Body(Kutt("GET", "/api/v2/links?limit=50", alice_));
    for (const Json& link : page.at("data"))
      if (link.at("id") == code) return link;
    return Json();
  }
  static Json Body(const Response& response) {
    std::optional<Json> json = ParseJsonBody(response.body);
    EXPECT_TRUE(json) << response.body;
    return json.value_or(Json());
  }
  // The message of an error in Kutt's shape, a JSON object with that one member.
  static std::string Error(const Response& response) {
    const Json json = Body(response);
    if (response.Header("Content-Type") != "application/json" || !json.is_object() || json.size() != 1 ||
        !json.contains("error") || !json.at("error").is_string())
      return "(not Kutt's error: " + response.body + ")";
    return json.at("error").get<std::string>();
  }

  test::TempDir dir_;
  std::string denyFile_;
  const std::string admin_ = NewKeyText(), alice_ = NewKeyText(), bob_ = NewKeyText();
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

TEST_F(KuttApi, TheUploadToolsRequestWithItsNullsIsAnsweredWithTheLinkItReads) {
  Start();
  const std::string request =
      R"({"target":"https://example.com/shot.png","password":null,"customurl":null,"reuse":false,"domain":null})";
  const Response made = Kutt("POST", "/api/v2/links", alice_, request);
  ASSERT_EQ(made.status, 201) << made.body;
  EXPECT_EQ(made.Header("Content-Type"), "application/json");
  const Json json = Body(made);
  const std::string code = json.value("id", "");
  ASSERT_EQ(code.size(), kCodeLength) << made.body;
  const int64_t created = Seconds(json.at("created_at"));
  EXPECT_LE(std::abs(created - int64_t(std::time(nullptr))), 2);
  EXPECT_EQ(made.body, R"({"id":")" + code + R"(","address":")" + code +
                           R"(","target":"https://example.com/shot.png","link":"http://snip.invalid/)" + code +
                           R"(","description":null,"password":false,"banned":false,"visit_count":0,)"
                           R"("expire_in":null,"created_at":")" + IsoUtc(created).insert(19, ".000") +
                           R"(","updated_at":")" + IsoUtc(created).insert(19, ".000") + "\"}\n");
  EXPECT_EQ(test::Get(port_, "/" + code).Header("Location"), "https://example.com/shot.png");
  // the same upload again: Kutt's answer to a link it reuses, 200 and the same link
  const Response again = Kutt("POST", "/api/v2/links", alice_, request, "x-api-key");
  EXPECT_EQ(again.status, 200) << again.body;
  EXPECT_EQ(Body(again)["link"], "http://snip.invalid/" + code);
  EXPECT_EQ(Body(again)["created_at"], json.at("created_at"));
  // an address stored through another door is reused with what it has counted
  const Response seeded = Kutt("POST", "/api/v2/links", bob_, R"({"target":"http://alice.example/old"})");
  EXPECT_EQ(seeded.status, 200) << seeded.body;
  EXPECT_EQ(Body(seeded)["id"], "old");
  EXPECT_EQ(Body(seeded)["visit_count"], 4);
  EXPECT_EQ(Body(seeded)["created_at"], "1970-01-12T13:46:40.000Z");
}

TEST_F(KuttApi, KuttsFieldsAndDurationsAreReadAsKuttReadsThem) {
  Start();
  const auto make = [&](const std::string& fields) {
    static int made = 0;
    return Kutt("POST", "/api/v2/links", alice_,
                R"({"target":"https://example.com/)" + std::to_string(++made) + "\"" + fields + "}");
  };
  const Response custom = make(R"(,"customurl":" my-page ","description":"A page","domain":"SNIP.invalid")");
  ASSERT_EQ(custom.status, 201) << custom.body;
  EXPECT_EQ(Body(custom)["id"], "my-page");
  EXPECT_EQ(Body(custom)["link"], "http://snip.invalid/my-page");
  EXPECT_EQ(Body(custom)["description"], "A page");
  const Json kept = Listed("my-page");
  EXPECT_EQ(kept.value("description", ""), "A page") << kept;
  EXPECT_EQ(make(R"(,"domain":"snip.invalid","reuse":true,"password":"")").status, 201);
  // an address without a scheme is http, as Kutt reads it
  const Response bare = Kutt("POST", "/api/v2/links", alice_, R"({"target":" example.org/page "})");
  EXPECT_EQ(Body(bare)["target"], "http://example.org/page") << bare.body;

  struct Duration {
    const char* text;
    int64_t seconds;
  };
  for (const Duration& d : {Duration{"2 hours", 7200}, {"1d", 86400}, {"30m", 1800}, {"1.5 hrs", 5400},
                            {"1 Day", 86400}, {".5h", 1800}, {"90000", 90}, {"2  weeks", 1209600},
                            {"1y", 31557600}, {" 3 mins ", 180}}) {
    const Response made = make(std::string(R"(,"expire_in":")") + d.text + "\"");
    ASSERT_EQ(made.status, 201) << d.text << ": " << made.body;
    const Json json = Body(made);
    EXPECT_EQ(Seconds(json.at("expire_in")) - Seconds(json.at("created_at")), d.seconds) << d.text;
    EXPECT_EQ(Listed(json.at("id")).value("expire_in", ""), json.at("expire_in")) << d.text;
  }
  for (const char* text : {"soon", "2 months", "1e3 days", "1.", "h", "1 d ay", "-3 days", "5", "30 seconds",
                           "101 years", "99999999999999999999999 years"}) {
    const Response refused = make(std::string(R"(,"expire_in":")") + text + "\"");
    EXPECT_EQ(refused.status, 400) << text;
    EXPECT_NE(Error(refused).find("Expire"), std::string::npos) << text << ": " << refused.body;
  }
  EXPECT_EQ(Error(make(R"(,"expire_in":30)")), "Expire format is invalid. Valid examples: 1m, 8h, 42 days.");
}

TEST_F(KuttApi, EveryRefusalIsKuttsErrorWithKuttsStatus) {
  Start();
  ASSERT_EQ(Kutt("POST", "/api/v2/links", alice_, R"({"target":"http://taken.example/","customurl":"taken"})").status,
            201);
  struct Case {
    std::string body;
    int status;
    std::string error;  // "": any sentence
  };
  const Case cases[] = {
      {R"({"target":"ftp://example.com/"})", 400, ""},
      {R"x({"target":"javascript:alert(1)"})x", 400, ""},
      {R"({"target":"http://snip.invalid/abc"})", 400, ""},  // a loop
      {R"({"target":"https://www.spam.example/buy"})", 400, ""},
      {R"({"target":"http://e.com/a","customurl":"no/slash"})", 400, ""},
      {R"({"target":"http://e.com/b","customurl":"static"})", 400, ""},
      {R"({"target":"http://e.com/c","customurl":"taken"})", 400, "That short code belongs to another address."},
      {R"({"target":"http://taken.example/","customurl":"other"})", 400,
       "This address has the short code taken already."},
      {R"({"target":null,"customurl":"x"})", 400, "Target is missing."},
      {R"({"customurl":"x"})", 400, "Target is missing."},
      {R"({"target":["http://e.com/"]})", 400, "Target must be a string."},
      {R"({"target":"http://e.com/d","reuse":"yes"})", 400, "Reuse must be boolean."},
      {R"({"target":"http://e.com/e","password":"secret"})", 400,
       "Passwords are not supported by this service: send password as null or leave it out."},
      {R"({"target":"http://e.com/f","domain":"other.example"})", 400,
       "You can't use this domain: this service's links are on snip.invalid alone."},
      {R"({"target":"http://e.com/g","description":")" + std::string(1001, 'x') + "\"}", 400,
       "Description takes text of up to 1000 bytes."},
      {R"(["http://e.com/"])", 400, "The body is not a JSON object."},
      {R"({"target":"http://e.com/h")", 400, "The body is not a JSON object."},
  };
  for (const Case& c : cases) {
    const Response refused = Kutt("POST", "/api/v2/links", alice_, c.body);
    EXPECT_EQ(refused.status, c.status) << c.body.substr(0, 100);
    const std::string error = Error(refused);
    EXPECT_TRUE(c.error.empty() ? !error.starts_with("(not") : error == c.error) << c.body.substr(0, 100) << ": "
                                                                                 << refused.body;
  }
  // keys: a wrong one is refused even while anyone may create
  const std::string body = R"({"target":"http://keys.example/"})";
  const Response wrong = Kutt("POST", "/api/v2/links", "snp_wrong", body);
  EXPECT_EQ(wrong.status, 401);
  EXPECT_EQ(Error(wrong), "API key is not correct.");
  EXPECT_EQ(Kutt("POST", "/api/v2/links", "", body).status, 201);  // --open-creation on
  EXPECT_EQ(Kutt("GET", "/api/v2/links", "").status, 401);
  EXPECT_EQ(Error(Kutt("GET", "/api/v2/links", "")), "An API key is needed, in the X-API-KEY header.");
  EXPECT_EQ(Kutt("GET", "/api/v2/links", "Bearer " + alice_, "", "Authorization").status, 401);  // not Kutt's
}

TEST_F(KuttApi, WithoutOpenCreationAKeyIsNeededAndTheRateLimitIsKutts429) {
  Start([](Settings& settings) {
    settings.openCreation = false;
    settings.creationsPerMinute = 2;
  });
  const Response none = Kutt("POST", "/api/v2/links", "", R"({"target":"http://a.example/"})");
  EXPECT_EQ(none.status, 401);
  EXPECT_EQ(Error(none), "An API key is needed, in the X-API-KEY header.");
  EXPECT_EQ(none.Header("WWW-Authenticate"), "X-API-KEY realm=\"snipora\"");
  EXPECT_EQ(Kutt("POST", "/api/v2/links", alice_, R"({"target":"http://a.example/"})").status, 201);
  EXPECT_EQ(Kutt("POST", "/api/v2/links", alice_, R"({"target":"http://b.example/"})").status, 201);
  const Response limited = Kutt("POST", "/api/v2/links", alice_, R"({"target":"http://c.example/"})");
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited.Header("Retry-After"), "60");
  EXPECT_FALSE(Error(limited).starts_with("(not"));
}

TEST_F(KuttApi, ListsAreNewestFirstWithTheTotalOfWhatTheKeyMaySee) {
  Start();
  const auto codes = [&](const Response& response) {
    std::string list;
    const Json page = Body(response);
    for (const Json& link : page.at("data")) list += link.at("id").get<std::string>() + " ";
    return list;
  };
  const Response first = Kutt("GET", "/api/v2/links?skip=0&limit=10&all=false", alice_);  // the npm client's query
  ASSERT_EQ(first.status, 200) << first.body;
  EXPECT_EQ(codes(first), "new mid old ");
  const Json page = Body(first);
  EXPECT_EQ(JsonText(Json{{"limit", page.at("limit")}, {"skip", page.at("skip")}, {"total", page.at("total")}}),
            R"({"limit":10,"skip":0,"total":3})");
  EXPECT_EQ(page.at("data").at(2).at("visit_count"), 4);
  const Response second = Kutt("GET", "/api/v2/links?skip=1&limit=1", alice_);
  EXPECT_EQ(codes(second), "mid ");
  EXPECT_EQ(Body(second)["total"], 3);
  EXPECT_EQ(codes(Kutt("GET", "/api/v2/links?skip=3", alice_)), "");
  EXPECT_EQ(Body(Kutt("GET", "/api/v2/links?limit=500", alice_))["limit"], 50);  // Kutt's cap
  EXPECT_EQ(codes(Kutt("GET", "/api/v2/links", bob_)), "bobs ");
  // an admin lists its own links, and every link with all=true
  EXPECT_EQ(Body(Kutt("GET", "/api/v2/links", admin_))["total"], 0);
  EXPECT_EQ(codes(Kutt("GET", "/api/v2/links?all=true", admin_)), "new bobs mid old ");
  for (const char* query : {"limit=0", "limit=ten", "skip=-1", "skip=10001", "all=yes"})
    EXPECT_EQ(Kutt("GET", std::string("/api/v2/links?") + query, alice_).status, 400) << query;
  EXPECT_EQ(Error(Kutt("GET", "/api/v2/links?search=old", alice_)),
            "Searching links is not supported by this service.");
  EXPECT_EQ(Kutt("GET", "/api/v2/links?all=true", alice_).status, 403);
}

TEST_F(KuttApi, OwnersAndAdminsChangeAndDeleteAndNobodyElse) {
  Start();
  const std::string path = "/api/v2/links/mid";
  ASSERT_EQ(test::Get(port_, "/mid").status, 301);  // cached before the changes
  // Kutt's clients send the target back with every edit: unchanged, it is no change
  const Response edited = Kutt("PATCH", path, alice_,
                               R"({"target":"http://alice.example/mid","address":"mid","expire_in":"2 days",)"
                               R"("description":"Middle","password":null})");
  ASSERT_EQ(edited.status, 200) << edited.body;
  const Json json = Body(edited);
  EXPECT_EQ(json.at("id"), "mid");
  EXPECT_EQ(json.at("description"), "Middle");
  EXPECT_EQ(Listed("mid").value("description", ""), "Middle");
  EXPECT_NEAR(double(Seconds(json.at("expire_in")) - std::time(nullptr)), 2 * 86400, 5);
  EXPECT_EQ(Kutt("PATCH", path, alice_, R"({"expire_in":"1 minute"})").status, 200);
  // refused: another creator, another target by a creator, another address, nothing to change
  const Response foreign = Kutt("PATCH", path, bob_, R"({"description":"mine"})");
  EXPECT_EQ(foreign.status, 403);
  EXPECT_EQ(Error(foreign), "This link was made with another key.");
  EXPECT_EQ(Error(Kutt("PATCH", path, alice_, R"({"target":"http://elsewhere.example/"})")),
            "Only an admin key may change a link's target.");
  EXPECT_EQ(Kutt("PATCH", path, alice_, R"({"address":"renamed"})").status, 400);
  EXPECT_EQ(Kutt("PATCH", path, alice_, R"({"customurl":"renamed"})").status, 400);
  EXPECT_EQ(Error(Kutt("PATCH", path, alice_, R"({"description":null,"expire_in":""})")),
            "Should at least update one field.");
  EXPECT_EQ(Kutt("PATCH", path, alice_, R"({"expire_in":"now"})").status, 400);
  EXPECT_EQ(Kutt("PATCH", path, alice_, R"({"password":"secret"})").status, 400);
  EXPECT_EQ(Kutt("PATCH", path, "", R"({"description":"x"})").status, 401);
  EXPECT_EQ(Kutt("PATCH", "/api/v2/links/nothing", alice_, R"({"description":"x"})").status, 404);
  EXPECT_EQ(Error(Kutt("PATCH", path, admin_, R"({"target":"http://bob.example/"})")),
            "That target has another short link already.");
  EXPECT_EQ(Kutt("PATCH", path, admin_, R"({"target":"ftp://x/"})").status, 400);
  // an admin moves it, in force at once
  const Response moved = Kutt("PATCH", path, admin_, R"({"target":"moved.example"})");
  ASSERT_EQ(moved.status, 200) << moved.body;
  EXPECT_EQ(Body(moved)["target"], "http://moved.example/");
  EXPECT_EQ(test::Get(port_, "/mid").Header("Location"), "http://moved.example/");

  // deleting: the npm client's stats() sends DELETE .../ID/stats, which deletes nothing
  EXPECT_EQ(Kutt("DELETE", path + "/stats", alice_).status, 404);
  EXPECT_EQ(Kutt("DELETE", path, bob_).status, 403);
  EXPECT_EQ(Kutt("DELETE", path, "").status, 401);
  EXPECT_EQ(test::Get(port_, "/mid").status, 301);
  const Response deleted = Kutt("DELETE", path, alice_);
  EXPECT_EQ(deleted.status, 200);
  EXPECT_EQ(deleted.body, "{\"message\":\"Link has been deleted successfully.\"}\n");
  EXPECT_EQ(test::Get(port_, "/mid").status, 404);
  EXPECT_EQ(Error(Kutt("DELETE", path, alice_)), "Link was not found.");
  EXPECT_EQ(Kutt("DELETE", "/api/v2/links/bobs", admin_).status, 200);
}

TEST_F(KuttApi, HealthIsKuttsOkAndTheUserAnswersForAValidKeyAlone) {
  Start();
  const Response health = Kutt("GET", "/api/v2/health", "");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, "OK");
  const Response user = Kutt("GET", "/api/v2/users", alice_, "", "X-Api-Key");
  EXPECT_EQ(user.status, 200);
  EXPECT_EQ(user.body, R"({"apikey":")" + alice_ + R"(","email":"","domains":[]})" "\n");
  EXPECT_EQ(Kutt("GET", "/api/v2/users", "").status, 401);
  EXPECT_EQ(Kutt("GET", "/api/v2/users", "snp_wrong").status, 401);
}

}  // namespace
}  // namespace snipora::service
