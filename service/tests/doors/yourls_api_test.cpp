// The YOURLS API at /yourls-api.php as its clients parse it: the success
// shapes byte for byte, every refusal with YOURLS's fields and the HTTP
// status its statusCode names, the formats, the keys; and the multipart
// request of a Windows upload tool, sent by curl to a running service.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "service/app/keys.h"
#include "service/core/json_body.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using test::Response;

constexpr char kPath[] = "/yourls-api.php";

// Whether `xml` is one declaration and one <root> element of nested elements
// without attributes, its text free of a bare < or &.
bool WellFormed(const std::string& xml) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (!xml.starts_with(declaration) || !xml.ends_with(">\n")) return false;
  std::vector<std::string> open;
  std::size_t at = declaration.size();
  const std::size_t end = xml.size() - 1;
  if (xml.compare(at, 6, "<root>") != 0) return false;
  while (at < end) {
    if (xml[at] == '<') {
      const std::size_t close = xml.find('>', at);
      if (close == std::string::npos) return false;
      std::string name = xml.substr(at + 1, close - at - 1);
      if (name.empty() || name.find_first_of("<&\" ") != std::string::npos) return false;
      if (name[0] == '/') {
        if (open.empty() || open.back() != name.substr(1)) return false;
        open.pop_back();
        if (open.empty() && close + 1 != end) return false;  // one root
      } else {
        open.push_back(name);
      }
      at = close + 1;
    } else if (xml[at] == '&') {
      if (xml.compare(at, 5, "&amp;") != 0 && xml.compare(at, 4, "&lt;") != 0 && xml.compare(at, 4, "&gt;") != 0)
        return false;
      ++at;
    } else {
      ++at;
    }
  }
  return open.empty();
}

Json Parsed(const Response& response) {
  const std::optional<Json> json = ParseJsonBody(response.body);
  return json && json->is_object() ? *json : Json{{"not_json", response.body}};
}

class YourlsApi : public testing::Test {
 protected:
  void Start(bool openCreation, uint32_t creationsPerMinute = 0) {
    Settings settings = test::TestSettings(dir_);
    settings.openCreation = openCreation;
    settings.creationsPerMinute = creationsPerMinute;
    const std::string denyFile = dir_.File("deny.txt");
    std::ofstream(denyFile) << "denied.example\n";
    settings.denyList = denyFile;
    {
      std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
      test::AddApiKeys(*store, admin_, alice_, bob_);
    }
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
  }
  void SetUp() override { Start(false); }

  Response Get(const std::string& query) { return test::Get(port_, std::string(kPath) + "?" + query); }
  Response Form(const std::string& body) { return test::Post(port_, kPath, "application/x-www-form-urlencoded", body); }
  // A refusal's status, YOURLS code and message, checked to agree with the
  // HTTP status (json).
  void ExpectFail(const Response& response, int status, const std::string& code, const std::string& what) {
    const Json json = Parsed(response);
    EXPECT_EQ(response.status, status) << what << ": " << response.body;
    EXPECT_EQ(json.value("status", ""), "fail") << what;
    EXPECT_EQ(json.value("code", ""), code) << what;
    EXPECT_EQ(json.value("statusCode", ""), std::to_string(status)) << what;
    EXPECT_EQ(json.value("errorCode", ""), std::to_string(status)) << what;
    EXPECT_FALSE(json.value("message", "").empty()) << what;
  }
  void ExpectLogIn(const Response& response, const std::string& what) {
    EXPECT_EQ(response.status, 403) << what;
    EXPECT_EQ(response.body, R"({"message":"Please log in","errorCode":"403"})") << what;
  }

  test::TempDir dir_;
  const std::string admin_ = NewKeyText(), alice_ = NewKeyText(), bob_ = NewKeyText();
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

const std::regex kDate(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");

TEST_F(YourlsApi, ShortensInTheShapesClientsParse) {
  const Response made = Form(
      "action=shorturl&url=http%3A%2F%2Fexample.com%2Fa&keyword=doc&title=Doc&format=json"
      "&signature=" +
      alice_);
  ASSERT_EQ(made.status, 200) << made.body;
  EXPECT_EQ(made.Header("Content-Type"), "application/json");
  const std::string date = Parsed(made)["url"].value("date", "");
  EXPECT_TRUE(std::regex_match(date, kDate)) << date;
  EXPECT_EQ(made.body, R"({"status":"success","code":"","message":"http://example.com/a added to database",)"
                       R"("errorCode":"","statusCode":"200","url":{"keyword":"doc","url":"http://example.com/a",)"
                       R"("title":"Doc","date":")" +
                           date + R"("},"title":"Doc","shorturl":"http://snip.invalid/doc"})");
  // format=simple: the short address alone
  const Response simple = Get("action=shorturl&format=simple&url=http://example.com/b&signature=" + alice_);
  EXPECT_EQ(simple.status, 200);
  EXPECT_TRUE(simple.Header("Content-Type").starts_with("text/plain"));
  EXPECT_TRUE(std::regex_match(simple.body, std::regex(R"(http://snip\.invalid/[A-Za-z0-9_-]{7})"))) << simple.body;
  // an address shortened before is a success with its code, whoever asks
  EXPECT_EQ(Get("action=shorturl&format=simple&url=http://example.com/b&signature=" + bob_).body, simple.body);
  const Response again = Get("action=shorturl&format=json&url=http://example.com/a&keyword=doc&signature=" + bob_);
  EXPECT_EQ(again.status, 200);
  Json known = Parsed(again);
  EXPECT_EQ(known.value("status", ""), "success");
  EXPECT_EQ(known.value("statusCode", ""), "200");
  EXPECT_EQ(known.value("shorturl", ""), "http://snip.invalid/doc");
  // its title and date are the stored link's, not this request's
  EXPECT_TRUE(std::regex_match(known["url"].value("date", ""), kDate)) << again.body;
  EXPECT_EQ(known.value("title", ""), "Doc");
  EXPECT_EQ(known["url"].value("title", ""), "Doc");
  // the same address with another keyword: YOURLS's error:url, naming the code it has
  const Response other = Get("action=shorturl&format=json&url=http://example.com/a&keyword=doc2&signature=" + bob_);
  ExpectFail(other, 400, "error:url", "another keyword");
  EXPECT_EQ(Parsed(other).value("shorturl", ""), "http://snip.invalid/doc");
  EXPECT_EQ(Parsed(other)["url"].value("keyword", ""), "doc");
}

TEST_F(YourlsApi, AnswersXmlByDefaultEscapedAndJsonpOnlyToANameItMayCall) {
  const Response xml =
      Get("action=shorturl&url=http://example.com/x&keyword=x1&title=a%3Cb%3E%26c%FF%01&signature=" + alice_);
  ASSERT_EQ(xml.status, 200) << xml.body;
  EXPECT_TRUE(xml.Header("Content-Type").starts_with("application/xml"));
  EXPECT_TRUE(WellFormed(xml.body)) << xml.body;
  for (const char* element :
       {"<status>success</status>", "<statusCode>200</statusCode>",
        "<url><keyword>x1</keyword><url>http://example.com/x</url>", "<shorturl>http://snip.invalid/x1</shorturl>",
        // markup escaped; a byte that is not UTF-8 and a control character replaced
        "<title>a&lt;b&gt;&amp;c\xEF\xBF\xBD\xEF\xBF\xBD</title>"})
    EXPECT_NE(xml.body.find(element), std::string::npos) << element << "\n" << xml.body;
  // refusals too
  const Response refused = Get("action=shorturl&url=ftp://example.com/&signature=" + alice_);
  EXPECT_EQ(refused.status, 400);
  EXPECT_TRUE(WellFormed(refused.body)) << refused.body;
  EXPECT_NE(refused.body.find("<code>error:protocol</code>"), std::string::npos) << refused.body;

  const Response jsonp = Get("action=expand&shorturl=x1&format=jsonp&callback=jQuery_1.cb$");
  EXPECT_EQ(jsonp.status, 200);
  EXPECT_TRUE(jsonp.Header("Content-Type").starts_with("application/javascript"));
  EXPECT_EQ(jsonp.body, R"(/**/jQuery_1.cb$({"keyword":"x1","shorturl":"http://snip.invalid/x1",)"
                        R"("longurl":"http://example.com/x","message":"success","statusCode":"200"}))");
  for (const std::string& callback : std::vector<std::string>{"", "alert(1)//", "1cb", "cb;evil", "a%0Ab",
                                                              "cb%E2%80%A8", std::string(65, 'c'), "x-y"}) {
    const Response refusedCallback =
        Get("action=shorturl&url=http://example.com/jsonp&format=jsonp&signature=" + alice_ + "&callback=" + callback);
    EXPECT_EQ(refusedCallback.status, 400) << callback;
    EXPECT_EQ(refusedCallback.body, R"({"errorCode":"400","error":"Invalid callback parameter"})") << callback;
  }
  EXPECT_EQ(Get("action=expand&shorturl=x1&format=jsonp&callback=" + std::string(64, 'c')).status, 200);
  // none of the refused calls made a link
  EXPECT_EQ(Get("action=expand&format=json&shorturl=x1").status, 200);
  EXPECT_EQ(Form("action=shorturl&url=http://example.com/jsonp&keyword=j&format=json&signature=" + alice_).status, 200);
}

TEST_F(YourlsApi, RefusesInYourlsShapeWithTheStatusItNames) {
  const std::string key = "&format=json&signature=" + alice_;
  ExpectFail(Get("action=shorturl" + key), 400, "error:nourl", "no url");
  ExpectFail(Get("action=shorturl&url=http://" + key), 400, "error:nourl", "malformed");
  ExpectFail(Get("action=shorturl&url=javascript:alert(1)" + key), 400, "error:protocol", "scheme");
  ExpectFail(Get("action=shorturl&url=http://SNIP.invalid/abc" + key), 400, "error:noloop", "own address");
  ExpectFail(Get("action=shorturl&url=https://www.denied.example/x" + key), 403, "error:blocked", "deny list");
  ExpectFail(Form("action=shorturl&url=http://example.com/" + std::string(9000, 'a') + key), 414, "error:toolong",
             "too long");
  ExpectFail(Get("action=shorturl&url=http://example.com/k&keyword=bad%20alias!" + key), 400, "error:keyword",
             "bad keyword");
  ExpectFail(Get("action=shorturl&url=http://example.com/k&keyword=api" + key), 400, "error:keyword", "reserved");
  ASSERT_EQ(Get("action=shorturl&url=http://example.com/k1&keyword=taken" + key).status, 200);
  ExpectFail(Get("action=shorturl&url=http://example.com/k2&keyword=taken" + key), 400, "error:keyword", "taken");
  // a title no door keeps: the creation's own bound, refused before anything is stored
  ExpectFail(Form("action=shorturl&url=http://example.com/t&title=" + std::string(1001, 't') + key), 400,
             "error:title", "title too long");
  EXPECT_EQ(Parsed(Get("action=shorturl&url=http://example.com/t" + key)).value("message", ""),
            "http://example.com/t added to database");
  // keys: none, a wrong one, and YOURLS's other ways, refused alike; the
  // simple format says it too
  ExpectLogIn(Get("action=shorturl&url=http://example.com/n&format=json"), "no key");
  ExpectLogIn(Get("action=shorturl&url=http://example.com/n&format=json&signature=wrong"), "wrong key");
  ExpectLogIn(Get("action=shorturl&url=http://example.com/n&format=json&username=u&password=p"), "password");
  ExpectLogIn(Get("action=shorturl&url=http://example.com/n&format=json&timestamp=1&signature=" + alice_), "hash");
  ExpectLogIn(Get("action=version&format=json&signature=wrong"), "a wrong key, even where none is needed");
  const Response simple = Get("action=shorturl&url=http://example.com/n&format=simple");
  EXPECT_EQ(simple.status, 403);
  EXPECT_EQ(simple.body, "Please log in");
  const Response xml = Get("action=shorturl&url=http://example.com/n");
  EXPECT_EQ(xml.status, 403);
  EXPECT_NE(xml.body.find("<root><message>Please log in</message><errorCode>403</errorCode></root>"), std::string::npos)
      << xml.body;
  // requests it cannot read
  EXPECT_EQ(Parsed(Get("format=json&signature=" + alice_)).value("errorCode", ""), "400");
  EXPECT_EQ(Get("action=stats&format=json&signature=" + admin_).status, 400);
  const Response json =
      test::Post(port_, std::string(kPath) + "?format=json", "application/json", R"({"action":"shorturl"})");
  EXPECT_EQ(json.status, 415);
  EXPECT_EQ(Parsed(json).value("errorCode", ""), "415");
  EXPECT_EQ(Form("action=shorturl&url=%ZZ&format=json").status, 400);
  const Response cut = test::Post(port_, std::string(kPath) + "?format=json", "multipart/form-data; boundary=b",
                                  "--b\r\nContent-Disposition: form-data; name=\"action\"\r\n\r\nshorturl");
  EXPECT_EQ(cut.status, 400);
  EXPECT_EQ(Parsed(cut).value("message", ""), "The multipart body ends before its closing boundary.");
  EXPECT_EQ(test::Post(port_, kPath, "multipart/form-data", "--b--").status, 400);  // no boundary
}

TEST_F(YourlsApi, WithOpenCreationNoKeyIsNeededButAGivenOneMustBeRight) {
  service_.reset();
  Start(true, 2);
  EXPECT_EQ(Get("action=shorturl&format=simple&url=http://example.com/open").status, 200);
  ExpectLogIn(Get("action=shorturl&format=json&url=http://example.com/open&signature=wrong"), "wrong key");
  ExpectLogIn(Get("action=db-stats&format=json"), "db-stats still needs a key");
  // over the rate limit: a code of YOURLS's manner, and when to come back
  EXPECT_EQ(Get("action=shorturl&format=simple&url=http://example.com/second").status, 200);
  const Response limited = Get("action=shorturl&format=json&url=http://example.com/third");
  ExpectFail(limited, 429, "error:ratelimit", "rate limit");
  EXPECT_EQ(limited.Header("Retry-After"), "60");
}

TEST_F(YourlsApi, ExpandsACodeOrAWholeShortAddressWithoutCountingAClick) {
  ASSERT_EQ(Form("action=shorturl&url=http://example.com/long%3Fq%3D1&keyword=doc&title=Long+read&signature=" + alice_)
                .status,
            200);
  for (const char* named : {"doc", "http://snip.invalid/doc", "HTTPS://Snip.Invalid/doc"}) {
    const Response expanded = Get(std::string("action=expand&format=json&shorturl=") + test::Escape(named));
    EXPECT_EQ(expanded.status, 200) << named;
    EXPECT_EQ(expanded.body,
              R"({"keyword":"doc","shorturl":"http://snip.invalid/doc","longurl":"http://example.com/long?q=1",)"
              R"("message":"success","statusCode":"200"})")
        << named;
  }
  EXPECT_EQ(Get("action=expand&format=simple&shorturl=doc").body, "http://example.com/long?q=1");
  for (const char* missing : {"nope", "http://elsewhere.example/doc", "http://snip.invalid:81/doc", "", "a/b"}) {
    const Response notFound = Get(std::string("action=expand&format=json&shorturl=") + test::Escape(missing));
    EXPECT_EQ(notFound.status, 404) << missing;
    EXPECT_EQ(Parsed(notFound).value("message", ""), "Error: short URL not found") << missing;
    EXPECT_EQ(Parsed(notFound).value("errorCode", ""), "404") << missing;
  }
  EXPECT_EQ(Get("action=expand&format=simple&shorturl=nope").body, "not found");
  // statistics: the owner's or an admin's, never another creator's
  const auto clicks = [&](const std::string& key) {
    const Response stats = Get("action=url-stats&format=json&shorturl=doc&signature=" + key);
    EXPECT_EQ(stats.status, 200) << stats.body;
    return Parsed(stats)["link"].value("clicks", -1);
  };
  EXPECT_EQ(clicks(alice_), 0);
  EXPECT_EQ(test::Get(port_, "/doc").status, 301);
  EXPECT_EQ(clicks(admin_), 1);
  Json stats = Parsed(Get("action=url-stats&format=json&shorturl=http://snip.invalid/doc&signature=" + alice_));
  EXPECT_EQ(stats.value("statusCode", ""), "200");
  EXPECT_EQ(stats["link"].value("url", ""), "http://example.com/long?q=1");
  EXPECT_EQ(stats["link"].value("shorturl", ""), "http://snip.invalid/doc");
  EXPECT_EQ(stats["link"].value("title", ""), "Long read");
  EXPECT_TRUE(std::regex_match(stats["link"].value("timestamp", ""), kDate));
  EXPECT_EQ(Get("action=url-stats&format=json&shorturl=doc&signature=" + bob_).status, 403);
  ExpectLogIn(Get("action=url-stats&format=json&shorturl=doc"), "url-stats without a key");
  EXPECT_EQ(Get("action=url-stats&format=json&shorturl=nope&signature=" + admin_).status, 404);
  EXPECT_EQ(Get("action=url-stats&format=simple&shorturl=doc&signature=" + alice_).body,
            "Need either XML or JSON format for stats");
  // a disabled link expands as it redirects: gone
  ASSERT_EQ(test::Send(port_, "PATCH", "/api/v1/links/doc", alice_, R"({"disabled":true})").status, 200);
  EXPECT_EQ(Get("action=expand&format=json&shorturl=doc").status, 410);
}

TEST_F(YourlsApi, CountsTheStoreForAnAdminAndTellsItsVersionToAnyone) {
  for (const char* path : {"a", "b", "c"})
    ASSERT_EQ(Get(std::string("action=shorturl&url=http://example.com/") + path + "&signature=" + alice_).status, 200);
  EXPECT_EQ(
      test::Get(port_, "/" + Parsed(Get("action=shorturl&format=json&url=http://example.com/a&signature=" + alice_))
                                 .value("shorturl", "")
                                 .substr(20))
          .status,
      301);
  const Response counted = Get("action=db-stats&format=json&signature=" + admin_);
  EXPECT_EQ(counted.status, 200);
  EXPECT_EQ(counted.body, R"({"db-stats":{"total_links":3,"total_clicks":1},"statusCode":"200","message":"success"})");
  EXPECT_EQ(Get("action=db-stats&format=json&signature=" + alice_).status, 403);
  ExpectLogIn(Get("action=db-stats&format=json"), "db-stats without a key");
  EXPECT_EQ(Get("action=version&format=json").body, R"({"version":"1.10"})");
  EXPECT_EQ(Get("action=version&format=simple").body, "1.10");
}

// The Windows upload tool's YOURLS request, as curl -F sends it (multipart,
// a boundary of its own), to the program an operator runs: the body is the
// bare short address.
TEST(YourlsUploadTool, MultipartPostAnswersTheBareShortAddress) {
  test::TempDir dir;
  const std::string database = dir.File("links.db");
  const std::string key = NewKeyText();
  OpenSqliteStore(database)->AddKey({"tool", "creator", KeyDigest(key), 1});
  test::ServiceProcess instance(database, {"--open-creation", "off"});
  ASSERT_NE(instance.port(), 0);
  const auto curl = [&](const std::vector<std::string>& fields) {
    std::string command = "curl -sS -w '\\n%{http_code}'";
    for (const std::string& field : fields) command += " -F '" + field + "'";
    command += " http://127.0.0.1:" + std::to_string(instance.port()) + kPath + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char chunk[512];
    for (std::size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
  };
  const std::string made =
      curl({"action=shorturl", "url=https://example.com/screenshot.png?size=1", "format=simple", "signature=" + key});
  EXPECT_TRUE(std::regex_match(made, std::regex(R"(http://snip\.invalid/[A-Za-z0-9_-]{7}\n200)"))) << made;
  const std::string code = made.substr(20, 7);
  const Response followed = test::Get(instance.port(), "/" + code);
  EXPECT_EQ(followed.status, 301);
  EXPECT_EQ(followed.Header("Location"), "https://example.com/screenshot.png?size=1");
  // the same without the key: refused, and not a 2xx the tool would take as an address
  EXPECT_EQ(curl({"action=shorturl", "url=https://example.com/other.png", "format=simple"}), "Please log in\n403");
}

}  // namespace
}  // namespace snipora::service
