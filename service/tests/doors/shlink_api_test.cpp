// Shlink's REST API v3 as its clients parse it: the short URL's and the
// list's shapes member by member, times as Shlink writes them, and every
// refusal a problem+json whose type and status a client branches on.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
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

constexpr char kType[] = "https://shlink.io/api/error/";

class ShlinkApi : public testing::Test {
 protected:
  void Start(const std::function<void(Settings&)>& adjust = nullptr) {
    Settings settings = test::TestSettings(dir_);
    if (adjust) adjust(settings);
    settings.denyList = dir_.File("deny.txt");
    std::ofstream(settings.denyList) << "denied.example\n";
    {
      std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
      test::AddApiKeys(*store, admin_, alice_, bob_);
    }
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
  }
  void SetUp() override { Start(); }

  // A request as Shlink's clients send it: the key in X-Api-Key.
  Response Call(const std::string& method, const std::string& target, const std::string& key,
                const std::string& body = "", const std::string& headers = "") {
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n" + headers;
    if (!key.empty()) request += "X-Api-Key: " + key + "\r\n";
    if (!body.empty())
      request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    return test::Exchange(port_, request + "\r\n" + body);
  }
  Json JsonOf(const Response& response) {
    std::optional<Json> json = ParseJsonBody(response.body);
    EXPECT_TRUE(json) << response.body;
    return json ? *json : Json();
  }
  Json Create(const std::string& key, const Json& body) {
    const Response made = Call("POST", "/rest/v3/short-urls", key, JsonText(body));
    EXPECT_EQ(made.status, 200) << made.body;
    EXPECT_EQ(made.Header("Content-Type"), "application/json");
    return JsonOf(made);
  }
  // A refusal as RFC 7807 problem details: the type after Shlink's prefix
  // ("about:blank" as it is), with the status in the body as on the line.
  std::string ProblemOf(const Response& response, int status) {
    EXPECT_EQ(response.status, status) << response.body;
    EXPECT_EQ(response.Header("Content-Type"), "application/problem+json");
    const Json json = JsonOf(response);
    if (!json.is_object() || !json.contains("title") || !json["detail"].is_string() || json["status"] != status)
      return "(not a problem: " + response.body + ")";
    const std::string type = json["type"].get<std::string>();
    return type.starts_with(kType) ? type.substr(sizeof kType - 1) : type;
  }

  test::TempDir dir_;
  const std::string admin_ = NewKeyText(), alice_ = NewKeyText(), bob_ = NewKeyText();
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

std::vector<std::string> Names(const Json& object) {
  std::vector<std::string> names;
  for (const auto& [name, value] : object.items()) names.push_back(name);
  return names;
}

TEST_F(ShlinkApi, CreationAnswersTheShortUrlShapeAndOneCodePerAddress) {
  const Json made = Create(alice_, {{"longUrl", "HTTP://Docs.Example/a"},
                                    {"customSlug", "docs"},
                                    {"title", "The docs"},
                                    {"tags", {"work", "work", "ref"}},
                                    {"validUntil", "2030-01-02T03:04:05+02:00"},
                                    {"validSince", "2000-01-01T00:00:00Z"},
                                    {"maxVisits", 5},
                                    {"findIfExists", true},
                                    {"crawlable", true},
                                    {"forwardQuery", true},
                                    {"domain", "snip.invalid"},
                                    {"shortCodeLength", 7},
                                    {"somethingNewer", {1, 2}}});
  EXPECT_EQ(Names(made), (std::vector<std::string>{"shortCode", "shortUrl", "longUrl", "dateCreated", "tags", "meta",
                                                   "domain", "title", "crawlable", "forwardQuery", "visitsSummary",
                                                   "hasRedirectRules"}));
  EXPECT_EQ(made["shortCode"], "docs");
  EXPECT_EQ(made["shortUrl"], "http://snip.invalid/docs");
  EXPECT_EQ(made["longUrl"], "http://docs.example/a");
  EXPECT_TRUE(std::regex_match(made["dateCreated"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\+00:00)")))
      << made["dateCreated"];
  EXPECT_EQ(JsonText(made["tags"]), R"(["work","ref"])");
  EXPECT_EQ(JsonText(made["meta"]), R"({"validSince":null,"validUntil":"2030-01-02T01:04:05+00:00","maxVisits":5})");
  EXPECT_EQ(JsonText(made["visitsSummary"]), R"({"total":0,"nonBots":0,"bots":0})");
  // what this service does, whatever was asked
  EXPECT_TRUE(made["domain"].is_null());
  EXPECT_EQ(made["crawlable"], false);
  EXPECT_EQ(made["forwardQuery"], false);
  EXPECT_EQ(made["title"], "The docs");

  // the same address again, asked as Shlink's findIfExists false would create
  // a second: its one code, as it is
  ASSERT_EQ(test::Get(port_, "/docs").status, 301);
  const Json again = Create(bob_, {{"longUrl", "http://docs.example/a"}, {"findIfExists", false}});
  EXPECT_EQ(again["shortCode"], "docs");
  EXPECT_EQ(again["dateCreated"], made["dateCreated"]);
  EXPECT_EQ(JsonText(again["meta"]), JsonText(made["meta"]));
  EXPECT_EQ(again["title"], "The docs");
  EXPECT_EQ(JsonText(again["tags"]), R"(["work","ref"])");
  EXPECT_EQ(again["visitsSummary"]["total"], 1);
  // the random code is the service's own length
  EXPECT_EQ(Create(alice_, {{"longUrl", "http://other.example/"}})["shortCode"].get<std::string>().size(), 7u);
}

// ISO 8601 as clients write it (JavaScript's toISOString, offsets with and
// without a colon, a date alone), each read to the right second.
TEST_F(ShlinkApi, ValidUntilIsReadInEachFormClientsWrite) {
  const std::pair<const char*, const char*> cases[] = {
      {"2030-01-02T03:04:05.678Z", "2030-01-02T03:04:05+00:00"},
      {"2030-01-02T03:04:05-05:30", "2030-01-02T08:34:05+00:00"},
      {"2030-01-02T00:30:00+0100", "2030-01-01T23:30:00+00:00"},
      {"2030-01-02T03:04+02", "2030-01-02T01:04:00+00:00"},
      {"2028-02-29", "2028-02-29T00:00:00+00:00"},
      {"2030-01-02 03:04:05", "2030-01-02T03:04:05+00:00"},
  };
  int n = 0;
  for (const auto& [given, answered] : cases) {
    const Json made =
        Create(alice_, {{"longUrl", "http://time.example/" + std::to_string(n++)}, {"validUntil", given}});
    EXPECT_EQ(made["meta"]["validUntil"], answered) << given;
  }
  for (const char* bad : {"2030-02-29", "2030-13-01", "2030-01-02T24:00:00Z", "2030-01-02T03:04:05+", "2030-01-02Z",
                          "2030-01-02T03:04:05Zjunk", "2030-1-2", "tomorrow", "",
                          // outside 1970 to 9999 once the zone is applied
                          "9999-12-31T23:59:59-00:01", "1970-01-01T00:59:59+01:00", "0000-01-01"}) {
    const Response refused = Call("POST", "/rest/v3/short-urls", alice_,
                                  JsonText({{"longUrl", "http://time.example/bad"}, {"validUntil", bad}}));
    EXPECT_EQ(ProblemOf(refused, 400), "invalid-data") << bad;
    EXPECT_EQ(JsonText(JsonOf(refused)["invalidElements"]), R"(["validUntil"])") << bad;
  }
}

TEST_F(ShlinkApi, EveryRefusedCreationIsAProblemNamingItsCause) {
  Create(alice_, {{"longUrl", "http://taken.example/"}, {"customSlug", "taken"}});
  const struct {
    Json body;
    int status;
    const char* type;
    const char* blamed;  // invalidElements, as JSON; "" when absent
  } cases[] = {
      {{{"longUrl", "ftp://files.example/"}}, 400, "invalid-data", R"(["longUrl"])"},
      {{{"longUrl", "http://snip.invalid/taken"}}, 400, "invalid-data", R"(["longUrl"])"},  // a loop
      {{{"longUrl", "http://denied.example/x"}}, 400, "invalid-data", R"(["longUrl"])"},
      {{{"longUrl", "http://new.example/"}, {"customSlug", "a b"}}, 400, "invalid-data", R"(["customSlug"])"},
      {{{"longUrl", "http://new.example/"}, {"customSlug", "api"}}, 400, "invalid-data", R"(["customSlug"])"},
      {{{"longUrl", "http://new.example/"}, {"customSlug", "taken"}}, 400, "non-unique-slug", ""},
      {{{"longUrl", "http://taken.example/"}, {"customSlug", "second"}}, 400, "invalid-data", R"(["customSlug"])"},
      {{{"title", "no address"}}, 400, "invalid-data", R"(["longUrl"])"},
      {{{"longUrl", 12}}, 400, "invalid-data", R"(["longUrl"])"},
      {{{"longUrl", "http://new.example/"}, {"maxVisits", 0}}, 400, "invalid-data", R"(["maxVisits"])"},
      {{{"longUrl", "http://new.example/"}, {"maxVisits", "5"}}, 400, "invalid-data", R"(["maxVisits"])"},
      {{{"longUrl", "http://new.example/"}, {"maxVisits", 2.5}}, 400, "invalid-data", R"(["maxVisits"])"},
      {{{"longUrl", "http://new.example/"}, {"maxVisits", 18446744073709551615u}}, 400, "invalid-data",
       R"(["maxVisits"])"},
      {{{"longUrl", "http://new.example/"}, {"tags", "work"}}, 400, "invalid-data", R"(["tags"])"},
      {{{"longUrl", "http://new.example/"}, {"tags", {"ok", 3}}}, 400, "invalid-data", R"(["tags"])"},
      {{{"longUrl", "http://new.example/"}, {"tags", {std::string(201, 't')}}}, 400, "invalid-data", R"(["tags"])"},
      {{{"longUrl", "http://new.example/"}, {"title", std::string(1001, 't')}}, 400, "invalid-data", R"(["title"])"},
      {{{"longUrl", "http://new.example/"}, {"validSince", "2999-01-01T00:00:00Z"}}, 400, "invalid-data",
       R"(["validSince"])"},
      {{{"longUrl", "http://new.example/"}, {"domain", "other.example"}}, 400, "invalid-data", R"(["domain"])"},
      {{{"longUrl", "http://new.example/"}, {"shortCodeLength", 5}}, 400, "invalid-data", R"(["shortCodeLength"])"},
      {{{"longUrl", "http://new.example/"}, {"crawlable", "yes"}, {"title", 1}}, 400, "invalid-data",
       R"(["crawlable","title"])"},
  };
  for (const auto& c : cases) {
    const Response refused = Call("POST", "/rest/v3/short-urls", alice_, JsonText(c.body));
    EXPECT_EQ(ProblemOf(refused, c.status), c.type) << JsonText(c.body);
    const Json problem = JsonOf(refused);
    EXPECT_EQ(problem.contains("invalidElements") ? JsonText(problem["invalidElements"]) : "", c.blamed)
        << JsonText(c.body);
  }
  const Json taken = JsonOf(Call("POST", "/rest/v3/short-urls", alice_,
                                 R"({"longUrl":"http://new.example/","customSlug":"taken"})"));
  EXPECT_EQ(taken["customSlug"], "taken");
  const Json second = JsonOf(Call("POST", "/rest/v3/short-urls", alice_,
                                  R"({"longUrl":"http://taken.example/","customSlug":"second"})"));
  EXPECT_EQ(second["shortCode"], "taken");
  for (const char* body : {"", "not json", "[1]", R"({"longUrl":"http://x.example/")"})
    EXPECT_EQ(ProblemOf(Call("POST", "/rest/v3/short-urls", alice_, body), 400), "invalid-data") << body;
  // none of that made a link
  EXPECT_EQ(test::Get(port_, "/second").status, 404);
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls", admin_))["shortUrls"]["pagination"]["totalItems"], 1);
}

TEST_F(ShlinkApi, KeysAreRefusedAsShlinkRefusesThem) {
  // byte for byte: clients show these to people and branch on the type
  const Response missing = Call("GET", "/rest/v3/short-urls", "");
  EXPECT_EQ(ProblemOf(missing, 401), "missing-authentication");
  EXPECT_EQ(missing.body,
            R"({"type":"https://shlink.io/api/error/missing-authentication","title":"Invalid authorization",)"
            R"("detail":"The API key is expected in the X-Api-Key header.","status":401,)"
            R"("expectedHeaders":["X-Api-Key"]})");
  const Response wrong = Call("POST", "/rest/v3/short-urls", "snp_wrong", R"({"longUrl":"http://a.example/"})");
  EXPECT_EQ(ProblemOf(wrong, 401), "invalid-api-key");
  EXPECT_EQ(wrong.body,
            R"({"type":"https://shlink.io/api/error/invalid-api-key","title":"Invalid API key",)"
            R"("detail":"The API key given is unknown or revoked.","status":401})");
  // a key given is checked on every route that reads one; the Bearer of the
  // service's own API is no Shlink key
  for (const auto& [method, target] : std::vector<std::pair<std::string, std::string>>{
           {"GET", "/rest/v3/short-urls/abc"},
           {"PATCH", "/rest/v3/short-urls/abc"},
           {"DELETE", "/rest/v3/short-urls/abc"}}) {
    EXPECT_EQ(ProblemOf(Call(method, target, "", method == "PATCH" ? "{}" : ""), 401), "missing-authentication");
    EXPECT_EQ(ProblemOf(Call(method, target, "snp_wrong", method == "PATCH" ? "{}" : ""), 401), "invalid-api-key");
  }
  EXPECT_EQ(ProblemOf(Call("GET", "/rest/v3/short-urls", "", "", "Authorization: Bearer " + admin_ + "\r\n"), 401),
            "missing-authentication");
  EXPECT_EQ(ProblemOf(Call("GET", "/rest/v3/short-urls/shorten?longUrl=http%3A%2F%2Fa.example%2F&apiKey=nope", ""),
                      401),
            "invalid-api-key");
}

TEST_F(ShlinkApi, ClosedCreationWantsAKeyInEachDoor) {
  service_.reset();
  Start([](Settings& settings) { settings.openCreation = false; });
  const Response header = Call("POST", "/rest/v3/short-urls", "", R"({"longUrl":"http://a.example/"})");
  EXPECT_EQ(ProblemOf(header, 401), "missing-authentication");
  const Response query = Call("GET", "/rest/v3/short-urls/shorten?longUrl=http%3A%2F%2Fa.example%2F", "");
  EXPECT_EQ(ProblemOf(query, 401), "missing-authentication");
  EXPECT_EQ(JsonOf(query)["param"], "apiKey");
  EXPECT_EQ(Call("GET", "/rest/v3/short-urls/shorten?longUrl=http%3A%2F%2Fa.example%2F&apiKey=" + alice_, "").status,
            200);
}

// The service's own limits, as problems a Shlink client can show.
TEST_F(ShlinkApi, LimitsAreProblemsWithTheirStatus) {
  service_.reset();
  Start([](Settings& settings) {
    settings.creationsPerMinute = 1;
    settings.maxBodyBytes = 200;
  });
  Create(alice_, {{"longUrl", "http://first.example/"}});
  const Response limited = Call("POST", "/rest/v3/short-urls", alice_, R"({"longUrl":"http://second.example/"})");
  EXPECT_EQ(ProblemOf(limited, 429), "about:blank");
  EXPECT_EQ(JsonOf(limited)["title"], "Too Many Requests");
  EXPECT_EQ(limited.Header("Retry-After"), "60");
  const std::string large = JsonText({{"longUrl", "http://large.example/"}, {"title", std::string(300, 't')}});
  EXPECT_EQ(ProblemOf(Call("POST", "/rest/v3/short-urls", alice_, large), 413), "about:blank");
  EXPECT_EQ(ProblemOf(Call("PATCH", "/rest/v3/short-urls/abc", alice_, large), 413), "about:blank");
}

TEST_F(ShlinkApi, SingleStepShortenAnswersTextOrJson) {
  const std::string target = "/rest/v3/short-urls/shorten?apiKey=" + alice_ + "&longUrl=http%3A%2F%2Fone.example%2Fx";
  const Response text = Call("GET", target + "&format=txt", "");
  EXPECT_EQ(text.status, 200);
  EXPECT_EQ(text.Header("Content-Type"), "text/plain; charset=utf-8");
  ASSERT_EQ(text.body.size(), std::string("http://snip.invalid/").size() + 7) << text.body;
  EXPECT_TRUE(text.body.starts_with("http://snip.invalid/"));
  EXPECT_EQ(Call("GET", target, "", "", "Accept: text/plain\r\n").body, text.body);
  const Response json = Call("GET", target, "");
  EXPECT_EQ(JsonOf(json)["shortUrl"], text.body);
  EXPECT_EQ(ProblemOf(Call("GET", "/rest/v3/short-urls/shorten?apiKey=" + alice_ + "&longUrl=javascript%3Aalert(1)",
                           ""),
                      400),
            "invalid-data");
  EXPECT_EQ(ProblemOf(Call("GET", "/rest/v3/short-urls/shorten?apiKey=" + alice_, ""), 400), "invalid-data");
}

TEST_F(ShlinkApi, ListsPagesWithHonestTotalsAndFilters) {
  for (int i = 1; i <= 5; ++i)
    Create(alice_, {{"longUrl", "http://alice.example/" + std::to_string(i)},
                    {"customSlug", "a" + std::to_string(i)},
                    {"tags", i % 2 ? Json::array({"odd", "n" + std::to_string(i)}) : Json::array({"even"})},
                    {"title", i == 4 ? "Fourth" : ""}});
  Create(bob_, {{"longUrl", "http://bob.example/"}, {"customSlug", "b1"}});
  const Response page = Call("GET", "/rest/v3/short-urls?page=2&itemsPerPage=2", alice_);
  ASSERT_EQ(page.status, 200) << page.body;
  const Json list = JsonOf(page);
  EXPECT_EQ(Names(list), std::vector<std::string>{"shortUrls"});
  EXPECT_EQ(Names(list["shortUrls"]), (std::vector<std::string>{"data", "pagination"}));
  EXPECT_EQ(JsonText(list["shortUrls"]["pagination"]),
            R"({"currentPage":2,"pagesCount":3,"itemsPerPage":2,"itemsInCurrentPage":2,"totalItems":5})");
  EXPECT_EQ(list["shortUrls"]["data"][0]["shortCode"], "a3");
  EXPECT_EQ(list["shortUrls"]["data"][1]["shortCode"], "a4");
  const auto pagination = [&](const std::string& query, const std::string& key) {
    return JsonText(JsonOf(Call("GET", "/rest/v3/short-urls" + query, key))["shortUrls"]["pagination"]);
  };
  // the defaults, the last page, past the last, everything at once, the admin's view
  EXPECT_EQ(pagination("", alice_),
            R"({"currentPage":1,"pagesCount":1,"itemsPerPage":10,"itemsInCurrentPage":5,"totalItems":5})");
  EXPECT_EQ(pagination("?page=3&itemsPerPage=2", alice_),
            R"({"currentPage":3,"pagesCount":3,"itemsPerPage":2,"itemsInCurrentPage":1,"totalItems":5})");
  EXPECT_EQ(pagination("?page=9&itemsPerPage=2", alice_),
            R"({"currentPage":9,"pagesCount":3,"itemsPerPage":2,"itemsInCurrentPage":0,"totalItems":5})");
  EXPECT_EQ(pagination("?itemsPerPage=-1", admin_),
            R"({"currentPage":1,"pagesCount":1,"itemsPerPage":6,"itemsInCurrentPage":6,"totalItems":6})");
  EXPECT_EQ(pagination("?searchTerm=BOB", admin_),
            R"({"currentPage":1,"pagesCount":1,"itemsPerPage":10,"itemsInCurrentPage":1,"totalItems":1})");
  EXPECT_EQ(pagination("?searchTerm=BOB", alice_),
            R"({"currentPage":1,"pagesCount":1,"itemsPerPage":10,"itemsInCurrentPage":0,"totalItems":0})");
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls?apiKeyName=bob", admin_))["shortUrls"]["pagination"]["totalItems"],
            1);
  const auto codes = [&](const std::string& query) {
    std::string listed;
    const Json answer = JsonOf(Call("GET", "/rest/v3/short-urls" + query, alice_));
    for (const Json& shortUrl : answer["shortUrls"]["data"])
      listed += shortUrl["shortCode"].get<std::string>() + " ";
    return listed;
  };
  EXPECT_EQ(codes("?tags%5B%5D=odd"), "a1 a3 a5 ");
  EXPECT_EQ(codes("?tags%5B%5D=n1&tags%5B%5D=even"), "a1 a2 a4 ");
  EXPECT_EQ(codes("?tags%5B%5D=n1&tags%5B%5D=odd&tagsMode=all"), "a1 ");
  EXPECT_EQ(codes("?excludeTags%5B%5D=odd"), "a2 a4 ");
  EXPECT_EQ(codes("?excludeTags%5B%5D=odd&excludeTags%5B%5D=n3&excludeTagsMode=all"), "a1 a2 a4 a5 ");
  EXPECT_EQ(codes("?searchTerm=fourth"), "a4 ");
  EXPECT_EQ(codes("?searchTerm=N5"), "a5 ");
  // orders: ties (all made in one second, untitled) in the codes' order
  for (const char* visited : {"/a3", "/a3", "/a2"}) test::Get(port_, visited);
  EXPECT_EQ(codes("?orderBy=shortCode-DESC"), "a5 a4 a3 a2 a1 ");
  EXPECT_EQ(codes("?orderBy=title-DESC"), "a4 a1 a2 a3 a5 ");
  EXPECT_EQ(codes("?orderBy=title"), "a1 a2 a3 a5 a4 ");
  EXPECT_EQ(codes("?orderBy=visits-DESC"), "a3 a2 a1 a4 a5 ");
  EXPECT_EQ(codes("?orderBy=nonBotVisits-ASC&itemsPerPage=2&page=2"), "a5 a2 ");
  EXPECT_EQ(codes("?orderBy=longUrl-DESC&itemsPerPage=2&page=2"), "a3 a2 ");
  EXPECT_EQ(codes("?orderBy=dateCreated-DESC&tags%5B%5D=odd"), "a1 a3 a5 ");
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls?endDate=2000-01-01", admin_))["shortUrls"]["pagination"]
                   ["totalItems"],
            0);
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls?domain=other.example", admin_))["shortUrls"]["pagination"]
                   ["totalItems"],
            0);
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls?orderBy=shortCode-ASC&domain=DEFAULT", admin_))["shortUrls"]
                   ["pagination"]["totalItems"],
            6);
  Call("PATCH", "/rest/v3/short-urls/a1", alice_, R"({"validUntil":"2001-01-01T00:00:00Z"})");
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls?excludePastValidUntil=true", alice_))["shortUrls"]["pagination"]
                   ["totalItems"],
            4);
  // what it cannot do is refused, each parameter named
  for (const char* query : {"?orderBy=colour-ASC", "?orderBy=title-UP", "?orderBy=title&page=10001&itemsPerPage=1",
                            "?page=0", "?itemsPerPage=0", "?itemsPerPage=1001",
                            "?page=x", "?startDate=yesterday", "?tagsMode=some", "?excludeMaxVisitsReached=1"}) {
    const Response refused = Call("GET", std::string("/rest/v3/short-urls") + query, admin_);
    EXPECT_EQ(ProblemOf(refused, 400), "invalid-data") << query;
    EXPECT_EQ(JsonOf(refused)["invalidElements"].size(), 1u) << query;
  }
}

TEST_F(ShlinkApi, OwnersEditAndDeleteAndOthersFindNothing) {
  Create(alice_, {{"longUrl", "http://alice.example/doc"}, {"customSlug", "doc"}});
  ASSERT_EQ(test::Get(port_, "/doc").status, 301);  // cached before the changes
  const Json read = JsonOf(Call("GET", "/rest/v3/short-urls/doc", alice_));
  EXPECT_EQ(read["longUrl"], "http://alice.example/doc");
  EXPECT_EQ(read["visitsSummary"]["total"], 1);
  EXPECT_EQ(JsonOf(Call("GET", "/rest/v3/short-urls/doc?domain=snip.invalid", admin_))["shortCode"], "doc");
  EXPECT_EQ(ProblemOf(Call("GET", "/rest/v3/short-urls/doc?domain=other.example", admin_), 404),
            "short-url-not-found");
  // another creator's key: not found, whatever it asks, and nothing changes
  const Response hidden = Call("GET", "/rest/v3/short-urls/doc", bob_);
  EXPECT_EQ(ProblemOf(hidden, 404), "short-url-not-found");
  EXPECT_EQ(JsonOf(hidden)["shortCode"], "doc");
  EXPECT_EQ(ProblemOf(Call("PATCH", "/rest/v3/short-urls/doc", bob_, R"({"maxVisits":1})"), 404),
            "short-url-not-found");
  EXPECT_EQ(ProblemOf(Call("DELETE", "/rest/v3/short-urls/doc", bob_), 404), "short-url-not-found");
  EXPECT_EQ(ProblemOf(Call("PATCH", "/rest/v3/short-urls/doc", alice_, R"({"longUrl":"http://elsewhere.example/"})"),
                      403),
            "about:blank");
  EXPECT_EQ(ProblemOf(Call("PATCH", "/rest/v3/short-urls/doc", alice_, R"({"maxVisits":-2})"), 400), "invalid-data");
  EXPECT_EQ(ProblemOf(Call("DELETE", "/rest/v3/short-urls/doc?domain=other.example", alice_), 404),
            "short-url-not-found");
  // its own long URL, as Shlink's web client sends it with every edit, in another spelling
  EXPECT_EQ(Call("PATCH", "/rest/v3/short-urls/doc", alice_, R"({"longUrl":"HTTP://Alice.example/doc"})").status, 200);
  EXPECT_EQ(test::Get(port_, "/doc").status, 301);
  // the owner's change, answered in Shlink's shape and in force at once
  const Response changed = Call("PATCH", "/rest/v3/short-urls/doc", alice_,
                                R"({"validUntil":"2000-01-01T00:00:00+01:00","maxVisits":30,"validSince":null})");
  ASSERT_EQ(changed.status, 200) << changed.body;
  EXPECT_EQ(JsonText(JsonOf(changed)["meta"]),
            R"({"validSince":null,"validUntil":"1999-12-31T23:00:00+00:00","maxVisits":30})");
  EXPECT_EQ(test::Get(port_, "/doc").status, 410);
  EXPECT_EQ(JsonText(JsonOf(Call("PATCH", "/rest/v3/short-urls/doc", alice_, R"({"validUntil":null})"))["meta"]),
            R"({"validSince":null,"validUntil":null,"maxVisits":30})");
  EXPECT_EQ(test::Get(port_, "/doc").status, 301);
  Call("PATCH", "/rest/v3/short-urls/doc", alice_, R"({"title":"Doc","tags":["a","b"]})");
  const Json titled = JsonOf(Call("GET", "/rest/v3/short-urls/doc", alice_));
  EXPECT_EQ(titled["title"], "Doc");
  EXPECT_EQ(JsonText(titled["tags"]), R"(["a","b"])");
  const Json cleared = JsonOf(Call("PATCH", "/rest/v3/short-urls/doc", alice_, R"({"title":null,"tags":[]})"));
  EXPECT_TRUE(cleared["title"].is_null());
  EXPECT_EQ(JsonText(cleared["tags"]), "[]");
  // a long URL changes by an admin only, through the creation's checks
  EXPECT_EQ(ProblemOf(Call("PATCH", "/rest/v3/short-urls/doc", admin_, R"({"longUrl":"http://denied.example/"})"), 400),
            "invalid-data");
  Create(bob_, {{"longUrl", "http://bob.example/"}});
  EXPECT_EQ(ProblemOf(Call("PATCH", "/rest/v3/short-urls/doc", admin_, R"({"longUrl":"http://bob.example/"})"), 400),
            "invalid-data");
  const Json moved = JsonOf(Call("PATCH", "/rest/v3/short-urls/doc", admin_, R"({"longUrl":"http://Moved.example"})"));
  EXPECT_EQ(moved["longUrl"], "http://moved.example/");
  EXPECT_EQ(test::Get(port_, "/doc").Header("Location"), "http://moved.example/");
  // deleted: 204 with no body, then gone everywhere
  const Response deleted = Call("DELETE", "/rest/v3/short-urls/doc", alice_);
  EXPECT_EQ(deleted.status, 204);
  EXPECT_EQ(deleted.body, "");
  EXPECT_EQ(test::Get(port_, "/doc").status, 404);
  EXPECT_EQ(ProblemOf(Call("GET", "/rest/v3/short-urls/doc", alice_), 404), "short-url-not-found");
  EXPECT_EQ(ProblemOf(Call("DELETE", "/rest/v3/short-urls/doc", admin_), 404), "short-url-not-found");
}

// Shlink's web client is served from another origin: the browser asks
// first, then reads answers only with the origin allowed, the deferred
// creation's and the refusals' alike.
TEST_F(ShlinkApi, AnotherOriginsWebClientMayCallIt) {
  const std::string origin = "Origin: https://app.example\r\n";
  const Response preflight = Call("OPTIONS", "/rest/v3/short-urls", "", "",
                                  origin + "Access-Control-Request-Method: POST\r\n"
                                           "Access-Control-Request-Headers: x-api-key, content-type\r\n");
  EXPECT_EQ(preflight.status, 204);
  EXPECT_EQ(preflight.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_NE(preflight.Header("Access-Control-Allow-Headers").find("X-Api-Key"), std::string::npos);
  EXPECT_NE(preflight.Header("Access-Control-Allow-Methods").find("PATCH"), std::string::npos);
  const Response made = Call("POST", "/rest/v3/short-urls", alice_, R"({"longUrl":"http://cors.example/"})", origin);
  EXPECT_EQ(made.status, 200);
  EXPECT_EQ(made.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(Call("GET", "/rest/v3/short-urls", "wrong", "", origin).Header("Access-Control-Allow-Origin"), "*");
  // the service's other paths stay closed to other origins' scripts
  EXPECT_EQ(Call("OPTIONS", "/api/v1/links", "", "", origin).status, 405);
  EXPECT_EQ(Call("GET", "/api/v1/links", alice_, "", origin).Header("Access-Control-Allow-Origin"), "");
}

TEST_F(ShlinkApi, HealthAndWhatIsNotOffered) {
  for (const char* path : {"/rest/v3/health", "/rest/health"}) {
    const Response health = Call("GET", path, "");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.Header("Content-Type"), "application/health+json");
    EXPECT_EQ(health.body, R"({"status":"pass","version":"5.1.0"})");
  }
  // Shlink's features this service has not: a defined refusal, never an empty success
  for (const auto& [method, path] : std::vector<std::pair<std::string, std::string>>{
           {"GET", "/rest/v3/short-urls/doc/visits"},
           {"DELETE", "/rest/v3/short-urls/doc/visits"},
           {"GET", "/rest/v3/short-urls/doc/redirect-rules"},
           {"POST", "/rest/v3/short-urls/doc/redirect-rules"},
           {"GET", "/rest/v3/visits"},
           {"GET", "/rest/v3/visits/orphan"},
           {"GET", "/rest/v3/tags"},
           {"GET", "/rest/v3/tags/stats"},
           {"DELETE", "/rest/v3/tags?tags%5B%5D=a"},
           {"PATCH", "/rest/v3/domains/redirects"},
           {"GET", "/rest/v3/mercure-info"}})
    EXPECT_EQ(ProblemOf(Call(method, path, admin_), 501), "about:blank") << method << " " << path;
  for (const auto& [method, path] : std::vector<std::pair<std::string, std::string>>{
           {"GET", "/rest/v2/short-urls"}, {"POST", "/rest/v3/short-urls/doc"}, {"PATCH", "/rest/v3/short-urls"},
           {"GET", "/rest/v3/nothing"}})
    EXPECT_EQ(ProblemOf(Call(method, path, admin_), 404), "not-found") << method << " " << path;
}

}  // namespace
}  // namespace snipora::service
