// Managing links through the API, by role: listing with paging and filters,
// reading, changing and deleting; every answer a JSON object, every error
// one with a stable code; a change answered is in force on this instance at
// once. And the same from the command line against a running instance.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "service/app/keys.h"
#include "service/doors/api_link.h"
#include "service/core/utc_time.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Response;
using test::Send;

std::string ErrorCode(const Response& response) {
  const std::size_t at = response.body.find("{\"error\":{\"code\":\"");
  if (at != 0) return "(not an error object: " + response.body + ")";
  return response.body.substr(18, response.body.find('"', 18) - 18);
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class LinksApi : public testing::Test {
 protected:
  void SetUp() override {
    Settings settings = test::TestSettings(dir_);
    {
      std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
      test::AddApiKeys(*store, admin_, alice_, bob_);
    }
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
  }
  // The code of a link made with `key`.
  std::string Make(const std::string& key, const std::string& url, const std::string& alias) {
    const Response made =
        Send(port_, "POST", "/api/v1/links", key, R"({"url":")" + url + R"(","alias":")" + alias + R"("})");
    EXPECT_EQ(made.status, 201) << made.body;
    return alias;
  }

  test::TempDir dir_;
  const std::string admin_ = NewKeyText(), alice_ = NewKeyText(), bob_ = NewKeyText();
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

TEST_F(LinksApi, ListsPageAndFilterWhatTheKeyMaySee) {
  for (const char* alias : {"a1", "a2", "a3"}) Make(alice_, std::string("http://alice.example/") + alias, alias);
  Make(bob_, "http://bob.example/", "b1");
  Make("", "http://anyone.example/", "n1");
  const Response first = Send(port_, "GET", "/api/v1/links?limit=2", alice_);
  ASSERT_EQ(first.status, 200);
  EXPECT_EQ(Count(first.body, "\"owner\":\"alice\""), 2u);
  EXPECT_NE(first.body.find("\"next\":\"a2\""), std::string::npos) << first.body;
  const Response second = Send(port_, "GET", "/api/v1/links?limit=2&cursor=a2", alice_);
  EXPECT_EQ(Count(second.body, "\"code\":"), 1u);
  EXPECT_NE(second.body.find("\"code\":\"a3\""), std::string::npos);
  EXPECT_NE(second.body.find("\"next\":null"), std::string::npos);
  EXPECT_EQ(Count(Send(port_, "GET", "/api/v1/links?offset=1", alice_).body, "\"code\":"), 2u);
  // the admin sees every link; filters narrow it
  EXPECT_EQ(Count(Send(port_, "GET", "/api/v1/links", admin_).body, "\"code\":"), 5u);
  EXPECT_EQ(Count(Send(port_, "GET", "/api/v1/links?host=ALICE.example", admin_).body, "\"code\":"), 3u);
  EXPECT_EQ(Count(Send(port_, "GET", "/api/v1/links?created_before=2000-01-01T00:00:00Z", admin_).body, "\"code\":"),
            0u);
  EXPECT_EQ(Count(Send(port_, "GET", "/api/v1/links?created_after=946684800", admin_).body, "\"code\":"), 5u);
  Send(port_, "PATCH", "/api/v1/links/b1", bob_, R"({"disabled":true})");
  const Response disabled = Send(port_, "GET", "/api/v1/links?disabled=true", admin_);
  EXPECT_EQ(Count(disabled.body, "\"code\":"), 1u);
  EXPECT_NE(disabled.body.find("\"code\":\"b1\""), std::string::npos);
  // refusals
  EXPECT_EQ(Send(port_, "GET", "/api/v1/links", "").status, 401);
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links", "")), "unauthorized");
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links?limit=1001", admin_)), "bad_query");
  // a limit is a number, not a time that happens to be one
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links?limit=1970-01-01T00:00:05Z", admin_)), "bad_query");
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links?disabled=yes", admin_)), "bad_query");
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links?sort=code", admin_)), "bad_query");
  // a second added to the last time there is would overflow: refused before
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links?created_after=9223372036854775807", admin_)), "bad_query");
}

TEST_F(LinksApi, OwnersAndAdminsChangeAndDeleteAndEveryOneElseIsRefused) {
  const std::string code = Make(alice_, "http://alice.example/doc", "doc");
  ASSERT_EQ(test::Get(port_, "/doc").status, 301);  // cached before the changes
  // reading: the private note only for the owner and admins
  Send(port_, "PATCH", "/api/v1/links/doc", alice_, R"({"private_note":"internal","public_note":"hi"})");
  EXPECT_EQ(Send(port_, "GET", "/api/v1/links/doc", "").body.find("internal"), std::string::npos);
  EXPECT_EQ(Send(port_, "GET", "/api/v1/links/doc", bob_).body.find("internal"), std::string::npos);
  EXPECT_NE(Send(port_, "GET", "/api/v1/links/doc", alice_).body.find("\"private_note\":\"internal\""),
            std::string::npos);
  EXPECT_NE(Send(port_, "GET", "/api/v1/links/doc", admin_).body.find("\"owner\":\"alice\""), std::string::npos);
  // what a client says of it, set beside other members and read back
  const Response named = Send(port_, "PATCH", "/api/v1/links/doc", alice_,
                              R"({"title":"Q3 \"plan\"","tags":["a,b","\u4e2d",""],"private_note":"kept"})");
  ASSERT_EQ(named.status, 200) << named.body;
  const std::string shown = Send(port_, "GET", "/api/v1/links/doc", alice_).body;
  EXPECT_NE(shown.find(R"("title":"Q3 \"plan\"","tags":["a,b",")" "\xE4\xB8\xAD" R"(",""])"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\"private_note\":\"kept\""), std::string::npos);
  // refused without a key, with another creator's key, and admin-only fields with a creator key
  EXPECT_EQ(Send(port_, "PATCH", "/api/v1/links/doc", "", R"({"disabled":true})").status, 401);
  EXPECT_EQ(ErrorCode(Send(port_, "PATCH", "/api/v1/links/doc", bob_, R"({"disabled":true})")), "not_owner");
  EXPECT_EQ(ErrorCode(Send(port_, "DELETE", "/api/v1/links/doc", bob_)), "not_owner");
  EXPECT_EQ(Send(port_, "DELETE", "/api/v1/links/doc", "").status, 401);
  EXPECT_EQ(ErrorCode(Send(port_, "PATCH", "/api/v1/links/doc", alice_, R"({"url":"http://elsewhere.example/"})")),
            "forbidden");
  for (const char* body : {R"({"disabled":"yes"})", R"({"max_clicks":-1})", R"({"max_clicks":1.5})",
                           R"({"expires":"tomorrow"})", R"({"colour":"red"})", R"(["disabled"])", R"({"title":["x"]})",
                           R"({"tags":"a"})", R"({"tags":["a",1]})", R"({"tags":["a"],"colour":"red"})",
                           R"({"expires":"9223372036854775807"})"})
    EXPECT_EQ(ErrorCode(Send(port_, "PATCH", "/api/v1/links/doc", alice_, body)), "bad_change") << body;
  EXPECT_EQ(test::Get(port_, "/doc").status, 301);  // none of that changed anything
  // a disable answered is in force at once
  const Response off = Send(port_, "PATCH", "/api/v1/links/doc", alice_, R"({"disabled":true})");
  ASSERT_EQ(off.status, 200) << off.body;
  EXPECT_NE(off.body.find("\"disabled\":true"), std::string::npos);
  EXPECT_EQ(test::Get(port_, "/doc").status, 410);
  EXPECT_NE(test::Get(port_, "/doc").body.find("hi"), std::string::npos);
  Send(port_, "PATCH", "/api/v1/links/doc", alice_, R"({"disabled":false,"expires":"2000-01-01T00:00:00Z"})");
  EXPECT_EQ(test::Get(port_, "/doc").status, 410);
  Send(port_, "PATCH", "/api/v1/links/doc", alice_, R"({"expires":null,"max_clicks":1})");
  EXPECT_EQ(test::Get(port_, "/doc").status, 410);  // it has had its click
  const Response moved =
      Send(port_, "PATCH", "/api/v1/links/doc", admin_, R"({"max_clicks":null,"url":"http://Moved.example"})");
  ASSERT_EQ(moved.status, 200) << moved.body;
  EXPECT_EQ(test::Get(port_, "/doc").Header("Location"), "http://moved.example/");
  Make(bob_, "http://bob.example/", "b1");
  EXPECT_EQ(ErrorCode(Send(port_, "PATCH", "/api/v1/links/doc", admin_, R"({"url":"http://bob.example/"})")),
            "address_has_code");
  EXPECT_EQ(ErrorCode(Send(port_, "PATCH", "/api/v1/links/doc", admin_, R"({"url":"ftp://x/"})")),
            "address_refused");
  // a change is checked as a creation is: no loop through the service's other names
  EXPECT_EQ(ErrorCode(Send(port_, "PATCH", "/api/v1/links/doc", admin_, R"({"url":"http://127.1/doc"})")),
            "address_refused");
  const Response deleted = Send(port_, "DELETE", "/api/v1/links/doc", alice_);
  EXPECT_EQ(deleted.status, 200);
  EXPECT_EQ(deleted.body, "{\"deleted\":\"doc\"}\n");
  EXPECT_EQ(test::Get(port_, "/doc").status, 404);
  EXPECT_EQ(ErrorCode(Send(port_, "GET", "/api/v1/links/doc", admin_)), "not_found");
  EXPECT_EQ(ErrorCode(Send(port_, "DELETE", "/api/v1/links/doc", admin_)), "not_found");
  EXPECT_EQ(Send(port_, "PUT", "/api/v1/links/b1", admin_).Header("Allow"), "GET, HEAD, PATCH, DELETE");
}

// A change's body member by member: each of its own kind, the last of a
// member given twice, and every refusal naming the member and what it takes.
TEST(LinkChangeBody, EachMemberOfItsOwnKindAndRefusalsNameTheMember) {
  const std::string longest(1000, 'n');
  const ChangeRequest all = ReadLinkChange(R"({"expires":"2026-12-31T00:00:00Z","max_clicks":0,"disabled":true,)"
                                           R"("public_note":"p","private_note":")" + longest +
                                           R"(","url":"http://e.com/","disabled":false})");
  ASSERT_TRUE(all.change) << all.error;
  EXPECT_EQ(all.change->expires, std::optional<int64_t>(1798675200));
  EXPECT_EQ(all.change->maxClicks, std::optional<int64_t>(0));
  EXPECT_EQ(all.change->disabled, false);
  EXPECT_EQ(all.change->publicNote, "p");
  EXPECT_EQ(all.change->privateNote, longest);
  EXPECT_EQ(all.change->address, "http://e.com/");
  // null clears; seconds are a time too; what is not given stays unset
  const ChangeRequest cleared = ReadLinkChange(R"({"expires":null,"max_clicks":null})");
  ASSERT_TRUE(cleared.change);
  ASSERT_TRUE(cleared.change->expires && cleared.change->maxClicks);
  EXPECT_FALSE(*cleared.change->expires || *cleared.change->maxClicks);
  EXPECT_FALSE(cleared.change->disabled || cleared.change->address || cleared.change->publicNote);
  EXPECT_EQ(ReadLinkChange(R"({"expires":86400})").change->expires, std::optional<int64_t>(86400));
  EXPECT_EQ(ReadLinkChange(R"({"expires":"253402300799"})").change->expires, std::optional<int64_t>(253402300799));

  const std::string clicks = "max_clicks takes a whole number from 0, or null.";
  const std::string note = "public_note takes text of up to 1000 bytes.";
  const std::string notAnObject = "The body is not a flat JSON object.";
  const std::string expires =
      "expires takes a UTC time from 1970 to 9999 (2026-12-31T00:00:00Z), seconds since 1970, or null.";
  const std::pair<std::string, std::string> refused[] = {
      {R"({"max_clicks":"5"})", clicks},
      {R"({"max_clicks":1.5})", clicks},
      {R"({"max_clicks":1e3})", clicks},
      {R"({"max_clicks":-1})", clicks},
      {R"({"max_clicks":9223372036854775808})", clicks},
      {R"({"expires":true})", expires},
      // after 9999-12-31T23:59:59Z or before 1970, as text or as a number
      {R"({"expires":"9223372036854775807"})", expires},
      {R"({"expires":253402300800})", expires},
      {R"({"expires":-1})", expires},
      {R"({"expires":"9999-12-31T23:59:60Z"})", expires},
      {R"({"disabled":1})", "disabled takes true or false."},
      {R"({"disabled":"true"})", "disabled takes true or false."},
      {R"({"public_note":5})", note},
      {R"({"public_note":")" + longest + R"(n"})", note},
      {R"({"private_note":null})", "private_note takes text of up to 1000 bytes."},
      {R"({"url":{"href":"http://e.com/"}})", "url takes an address."},
      {R"({"disabled":true,"colour":"red"})", "Unknown member colour."},
      {R"(["disabled"])", notAnObject},
      {R"({"public_note":"\ud800"})", notAnObject},
      {R"({"disabled":true} {})", notAnObject},
      {R"({"colour":)" + std::string(40, '[') + std::string(40, ']') + "}", notAnObject},
  };
  for (const auto& [body, error] : refused) {
    const ChangeRequest request = ReadLinkChange(body);
    EXPECT_FALSE(request.change) << body;
    EXPECT_EQ(request.error, error) << body;
  }
}

// Redirects from several clients while the link is changed: every redirect
// answered is a click written, and none is answered 301 once it was asked
// after the disable was answered.
TEST_F(LinksApi, NoClickLostAndNoRedirectAfterADisableWasAnswered) {
  Make(alice_, "http://busy.example/", "busy");
  using Clock = std::chrono::steady_clock;
  std::atomic<bool> stop{false};
  std::atomic<Clock::rep> disabledAt{Clock::time_point::max().time_since_epoch().count()};
  std::atomic<int> redirects{0}, lateRedirects{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c)
    clients.emplace_back([&] {
      while (!stop) {
        const Clock::rep asked = Clock::now().time_since_epoch().count();
        const int status = test::Get(port_, "/busy").status;
        if (status == 301) {
          ++redirects;
          if (asked > disabledAt.load()) ++lateRedirects;
        }
      }
    });
  for (int i = 0; i < 20; ++i) {  // changes that keep it live, each dropping the cached entry
    std::this_thread::sleep_for(5ms);
    ASSERT_EQ(Send(port_, "PATCH", "/api/v1/links/busy", alice_, R"({"public_note":"n)" + std::to_string(i) + R"("})")
                  .status,
              200);
  }
  ASSERT_EQ(Send(port_, "PATCH", "/api/v1/links/busy", alice_, R"({"disabled":true})").status, 200);
  disabledAt = Clock::now().time_since_epoch().count();
  std::this_thread::sleep_for(100ms);
  stop = true;
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(lateRedirects.load(), 0);
  EXPECT_GT(redirects.load(), 0);
  service_->Stop();
  EXPECT_EQ(OpenSqliteStore(dir_.File("links.db"))->FindCode("busy")->clicks, redirects.load());
}

// Clicks in, daily counts out, across a flush and a restart; the owner and
// admins read them, others are refused.
TEST(LinkStats, DailyCountsAcrossAFlushAndARestart) {
  test::TempDir dir;
  Settings settings = test::TestSettings(dir);
  settings.clickFlushMs = 50;
  settings.analyticsFlushMs = 50;
  const std::string alice = NewKeyText(), bob = NewKeyText();
  {
    std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
    store->AddKey({"alice", "creator", KeyDigest(alice), 1});
    store->AddKey({"bob", "creator", KeyDigest(bob), 1});
  }
  const std::string today = IsoUtc(std::time(nullptr)).substr(0, 10);
  {
    Service service(settings, nullptr, nullptr);
    ASSERT_EQ(Send(service.port(), "POST", "/api/v1/links", alice, R"({"url":"http://stats.example/","alias":"st"})")
                  .status,
              201);
    for (int i = 0; i < 3; ++i) test::Get(service.port(), "/st");
    std::this_thread::sleep_for(300ms);  // flushed
    const Response stats = Send(service.port(), "GET", "/api/v1/links/st/stats", alice);
    ASSERT_EQ(stats.status, 200) << stats.body;
    // one visitor thrice, with the test client's agent and no referrer
    const std::string counted =
        "\"unique\":1,\"bots\":0,\"qr\":0,\"referrers\":{\"direct\":3},\"countries\":{\"unknown\":3},"
        "\"browsers\":{\"firefox\":3},\"os\":{\"linux\":3},\"devices\":{\"desktop\":3}";
    EXPECT_EQ(stats.body, "{\"code\":\"st\",\"from\":\"" + today + "\",\"to\":\"" + today + "\",\"days\":[{\"day\":\"" +
                              today + "\",\"clicks\":3," + counted + "}],\"total\":3," + counted + "}\n");
    for (int i = 0; i < 2; ++i) test::Get(service.port(), "/st");
  }  // the rest written at stop
  Service service(settings, nullptr, nullptr);
  test::Get(service.port(), "/st");
  std::this_thread::sleep_for(300ms);
  const std::string weekAgo = IsoUtc(std::time(nullptr) - 7 * 86400).substr(0, 10);
  const Response stats = Send(service.port(), "GET", "/api/v1/links/st/stats?from=" + weekAgo + "&to=" + today, alice);
  EXPECT_NE(stats.body.find("\"clicks\":6,\"unique\":1,"), std::string::npos) << stats.body;
  EXPECT_NE(stats.body.find("\"total\":6,\"unique\":1,"), std::string::npos) << stats.body;
  EXPECT_NE(Send(service.port(), "GET", "/api/v1/links/st/stats?from=2000-01-01&to=2000-01-02", alice)
                .body.find("\"days\":[],\"total\":0,"),
            std::string::npos);
  EXPECT_EQ(ErrorCode(Send(service.port(), "GET", "/api/v1/links/st/stats?to=2000-01-01", alice)), "bad_query");
  EXPECT_EQ(ErrorCode(Send(service.port(), "GET", "/api/v1/links/st/stats", bob)), "not_owner");
  EXPECT_EQ(Send(service.port(), "GET", "/api/v1/links/st/stats", "").status, 401);
  EXPECT_EQ(ErrorCode(Send(service.port(), "GET", "/api/v1/links/st/stats?from=yesterday", alice)), "bad_query");
  EXPECT_EQ(ErrorCode(Send(service.port(), "GET", "/api/v1/links/st/stats?from=1990-01-01", alice)), "bad_query");
}

// The operator's commands against the file a running instance serves from:
// each change reaches it within a second, with a cached entry in place.
TEST(LinksCommandLine, ChangesReachTheRunningInstance) {
  test::TempDir dir;
  const std::string database = dir.File("links.db");
  test::ServiceProcess instance(database);
  ASSERT_NE(instance.port(), 0);
  const Response made = test::Post(instance.port(), "/api/v1/links", "application/json",
                                   R"({"url":"http://cli.example/","alias":"cli"})");
  ASSERT_EQ(made.status, 201);
  ASSERT_EQ(test::Get(instance.port(), "/cli").status, 301);
  std::string output;
  const auto run = [&](std::vector<std::string> words) {
    words.insert(words.end(), {"--database", database});
    return test::RunProgram(words, &output);
  };
  ASSERT_EQ(run({"link", "disable", "cli", "--reason", "phishing report 4", "--public-note", "Taken down"}), 0)
      << output;
  EXPECT_NE(output.find("\"private_note\":\"phishing report 4\""), std::string::npos);
  std::this_thread::sleep_for(1s);
  const Response gone = test::Get(instance.port(), "/cli");
  EXPECT_EQ(gone.status, 410);
  EXPECT_NE(gone.body.find("Taken down"), std::string::npos);
  EXPECT_EQ(gone.body.find("phishing"), std::string::npos);
  ASSERT_EQ(run({"link", "enable", "cli"}), 0);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(test::Get(instance.port(), "/cli").status, 301);
  ASSERT_EQ(run({"link", "expire", "cli", "--at", "2001-01-01T00:00:00Z"}), 0);
  EXPECT_NE(output.find("\"expires\":\"2001-01-01T00:00:00Z\""), std::string::npos);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(test::Get(instance.port(), "/cli").status, 410);
  ASSERT_EQ(run({"link", "show", "cli"}), 0);
  EXPECT_NE(output.find("\"code\":\"cli\""), std::string::npos);
  ASSERT_EQ(run({"link", "list", "--host", "cli.example"}), 0);
  EXPECT_EQ(Count(output, "\"code\":"), 1u);
  ASSERT_EQ(run({"link", "list", "--disabled", "true"}), 0);
  EXPECT_EQ(Count(output, "\"code\":"), 0u);
  ASSERT_EQ(run({"link", "delete", "cli"}), 0);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(test::Get(instance.port(), "/cli").status, 404);
  EXPECT_EQ(run({"link", "show", "cli"}), 1);
  EXPECT_EQ(run({"link", "expire", "cli"}), 2);  // --at missing
}

}  // namespace
}  // namespace snipora::service
