// The console through its door, on each store, with two instances on one
// database: sessions (their cookie, that every instance knows them, their
// time-outs, sign-out), the CSRF check on every change, and a lock-out seen
// by the other instance within a second.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "service/app/keys.h"
#include "service/program/service.h"
#include "service/store/open_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/store_kinds.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Response;

constexpr char kOwnOrigin[] = "http://snip.invalid";

// A request as a browser on the service's pages sends it; `origin` "": none.
Response Browse(uint16_t port, const std::string& method, const std::string& path, const std::string& cookie,
                const std::string& form = "", const std::string& origin = kOwnOrigin,
                const std::string& more = "") {
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n" + more;
  if (!cookie.empty()) request += "Cookie: other=1; " + cookie + "\r\n";
  if (!origin.empty()) request += "Origin: " + origin + "\r\n";
  if (method == "POST")
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(form.size()) +
               "\r\n";
  return test::Exchange(port, request + "\r\n" + form);
}

// "NAME=VALUE" of a Set-Cookie header, without its attributes.
std::string CookieOf(const Response& response) {
  const std::string set = response.Header("Set-Cookie");
  return set.substr(0, set.find(';'));
}

// The CSRF token a console page's forms carry.
std::string CsrfOf(const Response& page) {
  const std::string mark = "name=\"csrf\" value=\"";
  const std::size_t at = page.body.find(mark);
  if (at == std::string::npos) return "";
  return page.body.substr(at + mark.size(), page.body.find('"', at + mark.size()) - at - mark.size());
}

class ConsoleTest : public testing::TestWithParam<test::StoreKind> {
 protected:
  void SetUp() override {
    database_ = GetParam().place(dir_);
    store_ = OpenStore(database_);
    test::AddApiKeys(*store_, admin_, alice_, bob_);
    first_ = Start();
    second_ = Start();
  }
  std::unique_ptr<Service> Start(const std::string& trustedProxies = "") {
    Settings settings = test::TestSettings(dir_);
    settings.database = database_;
    settings.trustedProxies = trustedProxies;
    settings.maxBodyBytes = 1 << 20;  // a thousand pasted lines
    return std::make_unique<Service>(settings, nullptr, nullptr);
  }
  // The session cookie of a key's sign-in on `port`.
  std::string SignIn(uint16_t port, const std::string& key) {
    const Response signedIn = Browse(port, "POST", "/console/sign-in", "", "key=" + key);
    EXPECT_EQ(signedIn.status, 303) << signedIn.body;
    return CookieOf(signedIn);
  }
  void MakeLink(const std::string& key, const std::string& alias) {
    const Response made = test::Send(first_->port(), "POST", "/api/v1/links", key,
                                     R"({"url":"http://example.com/)" + alias + R"(","alias":")" + alias + R"("})");
    ASSERT_EQ(made.status, 201) << made.body;
  }

  test::TempDir dir_;
  std::string database_;
  std::unique_ptr<Store> store_;
  const std::string admin_ = NewKeyText(), alice_ = NewKeyText(), bob_ = NewKeyText();
  std::unique_ptr<Service> first_, second_;
};

TEST_P(ConsoleTest, ASessionIsKnownByEveryInstanceUntilItsSignOut) {
  MakeLink(alice_, "a1");
  MakeLink(bob_, "b1");
  const uint16_t first = first_->port(), second = second_->port();
  // a wrong key, and a sign-in posted from another site, make no session
  EXPECT_EQ(Browse(first, "POST", "/console/sign-in", "", "key=snp_wrong").status, 403);
  const Response forced = Browse(first, "POST", "/console/sign-in", "", "key=" + alice_, "http://evil.example");
  EXPECT_EQ(forced.status, 403);
  EXPECT_EQ(forced.Header("Set-Cookie"), "");

  const Response signedIn = Browse(first, "POST", "/console/sign-in", "", "key=" + alice_);
  ASSERT_EQ(signedIn.status, 303);
  const std::string set = signedIn.Header("Set-Cookie");
  EXPECT_TRUE(set.starts_with("snipora_session=")) << set;
  EXPECT_TRUE(set.ends_with("; HttpOnly; SameSite=Lax; Path=/")) << set;
  const std::string cookie = CookieOf(signedIn), token = cookie.substr(cookie.find('=') + 1);
  EXPECT_EQ(token.size(), 64u) << set;
  // the store knows the session by the token's digest alone
  EXPECT_TRUE(store_->FindSession(KeyDigest(token)));
  EXPECT_FALSE(store_->FindSession(token));

  // the other instance knows it: her links, not his; his link's page is no page of hers
  const Response mine = Browse(second, "GET", "/console/", cookie);
  ASSERT_EQ(mine.status, 200);
  EXPECT_NE(mine.body.find("http://snip.invalid/a1"), std::string::npos);
  EXPECT_EQ(mine.body.find("http://snip.invalid/b1"), std::string::npos);
  EXPECT_EQ(mine.Header("Cache-Control"), "no-store");
  EXPECT_EQ(Browse(second, "GET", "/console/links/b1", cookie).status, 404);
  EXPECT_EQ(Browse(second, "GET", "/console/links/a1", cookie).status, 200);
  // a creator is refused every admin page
  EXPECT_EQ(Browse(second, "GET", "/console/admin/links", cookie).status, 403);
  EXPECT_EQ(Browse(second, "GET", "/console/admin/people", cookie).status, 403);

  // signed out on one instance, the cookie is refused by the other
  const Response out = Browse(first, "POST", "/console/sign-out", cookie, "csrf=" + CsrfOf(mine));
  EXPECT_EQ(out.status, 303);
  EXPECT_EQ(out.Header("Set-Cookie"), "snipora_session=; HttpOnly; SameSite=Lax; Path=/; Max-Age=0");
  const Response after = Browse(second, "GET", "/console/", cookie);
  EXPECT_EQ(after.status, 303);
  EXPECT_TRUE(after.Header("Location").starts_with("/console/sign-in")) << after.Header("Location");
}

TEST_P(ConsoleTest, OverHttpsTheCookieIsHostBoundAndSecureOnlyFromATrustedProxy) {
  const std::unique_ptr<Service> behindProxy = Start("127.0.0.1");
  const std::string https = "X-Forwarded-Proto: https\r\n";
  const Response proxied =
      Browse(behindProxy->port(), "POST", "/console/sign-in", "", "key=" + alice_, "https://snip.invalid", https);
  ASSERT_EQ(proxied.status, 303) << proxied.body;
  const std::string set = proxied.Header("Set-Cookie");
  EXPECT_TRUE(set.starts_with("__Host-snipora_session=")) << set;
  EXPECT_TRUE(set.ends_with("; Secure; HttpOnly; SameSite=Lax; Path=/")) << set;
  // the cookie of the plain name is not read over HTTPS, nor the other way round
  const std::string secure = CookieOf(proxied);
  EXPECT_EQ(Browse(behindProxy->port(), "GET", "/console/", secure, "", "", https).status, 200);
  EXPECT_EQ(Browse(behindProxy->port(), "GET", "/console/", secure.substr(7), "", "", https).status, 303);
  // anyone else saying https is not believed
  const Response direct = Browse(first_->port(), "POST", "/console/sign-in", "", "key=" + alice_, kOwnOrigin, https);
  EXPECT_TRUE(direct.Header("Set-Cookie").starts_with("snipora_session=")) << direct.Header("Set-Cookie");
}

TEST_P(ConsoleTest, ASessionEndsWhenIdleOrOldWhateverItsUse) {
  const std::string cookie = SignIn(first_->port(), alice_);
  const std::optional<SignedIn> session = store_->FindSession(KeyDigest(cookie.substr(cookie.find('=') + 1)));
  ASSERT_TRUE(session);
  const int64_t now = int64_t(std::time(nullptr));
  const Settings defaults;
  // sessions of the same person: one unused for longer than --session-idle,
  // one used a moment ago but begun longer than --session-max ago
  const std::string idle = "idle-token", old = "old-token";
  store_->AddSession({KeyDigest(idle), session->person.id, now - 100, now - int64_t(defaults.sessionIdle) - 5});
  store_->AddSession({KeyDigest(old), session->person.id, now - int64_t(defaults.sessionMax) - 5, now - 1});
  EXPECT_EQ(Browse(second_->port(), "GET", "/console/", "snipora_session=" + idle).status, 303);
  EXPECT_EQ(Browse(second_->port(), "GET", "/console/", "snipora_session=" + old).status, 303);
  // ended, not merely refused
  EXPECT_FALSE(store_->FindSession(KeyDigest(idle)));
  EXPECT_FALSE(store_->FindSession(KeyDigest(old)));
  EXPECT_EQ(Browse(second_->port(), "GET", "/console/", cookie).status, 200);
}

TEST_P(ConsoleTest, AChangeWithoutItsSessionsTokenOrFromAnotherOriginIsRefusedAndChangesNothing) {
  MakeLink(alice_, "a1");
  const uint16_t port = first_->port();
  const std::string alice = SignIn(port, alice_), bob = SignIn(port, bob_);
  const std::string aliceToken = CsrfOf(Browse(port, "GET", "/console/", alice));
  const std::string bobToken = CsrfOf(Browse(port, "GET", "/console/", bob));
  ASSERT_FALSE(aliceToken.empty());
  ASSERT_NE(aliceToken, bobToken);
  const std::string path = "/console/links/a1/disable";
  struct Case {
    const char* what;
    std::string form, origin, more;
  };
  const Case refused[] = {
      {"no token", "public_note=x", kOwnOrigin, ""},
      {"another session's token", "csrf=" + bobToken, kOwnOrigin, ""},
      {"another origin", "csrf=" + aliceToken, "http://evil.example", ""},
      {"another port", "csrf=" + aliceToken, "http://snip.invalid:8443", ""},
      {"a cross-site fetch", "csrf=" + aliceToken, "", "Sec-Fetch-Site: cross-site\r\n"},
      {"neither Origin nor Sec-Fetch-Site", "csrf=" + aliceToken, "", ""},
      {"an opaque origin alone", "csrf=" + aliceToken, "null", ""},
  };
  for (const Case& one : refused) {
    EXPECT_EQ(Browse(port, "POST", path, alice, one.form, one.origin, one.more).status, 403) << one.what;
    EXPECT_FALSE(store_->FindCode("a1")->disabled) << one.what;
  }
  // without a session at all, nor its token
  EXPECT_EQ(Browse(port, "POST", path, "", "csrf=" + aliceToken).status, 403);
  EXPECT_FALSE(store_->FindCode("a1")->disabled);
  // her own token from her own page (a same-origin fetch without Origin too)
  // (as a browser posts under the pages' Referrer-Policy: Origin null)
  const Response disabled = Browse(port, "POST", path, alice, "csrf=" + aliceToken + "&public_note=gone", "null",
                                   "Sec-Fetch-Site: same-origin\r\n");
  EXPECT_EQ(disabled.status, 303) << disabled.body;
  EXPECT_TRUE(store_->FindCode("a1")->disabled);
  EXPECT_EQ(test::Get(port, "/a1").status, 410);
}

TEST_P(ConsoleTest, ALockOutEndsSessionsAndKeysOnTheOtherInstanceWithinASecond) {
  MakeLink(alice_, "a1");
  const std::string root = SignIn(first_->port(), admin_);
  const std::string alice = SignIn(second_->port(), alice_);
  ASSERT_EQ(Browse(second_->port(), "GET", "/console/", alice).status, 200);
  ASSERT_EQ(test::Send(second_->port(), "GET", "/api/v1/links", alice_).status, 200);
  int64_t aliceId = 0;
  for (const Person& person : store_->ListPeople())
    if (person.subject == "alice") aliceId = person.id;
  ASSERT_NE(aliceId, 0);
  const Response people = Browse(first_->port(), "GET", "/console/admin/people", root);
  ASSERT_EQ(people.status, 200);
  // a creator may not lock anyone out, even with her own token
  const std::string aliceToken = CsrfOf(Browse(second_->port(), "GET", "/console/", alice));
  EXPECT_EQ(Browse(second_->port(), "POST", "/console/admin/people/" + std::to_string(aliceId), alice,
                   "csrf=" + aliceToken + "&locked=true")
                .status,
            403);
  EXPECT_FALSE(store_->FindPerson(aliceId)->locked);

  const auto locked = std::chrono::steady_clock::now();
  const Response lock = Browse(first_->port(), "POST", "/console/admin/people/" + std::to_string(aliceId), root,
                               "csrf=" + CsrfOf(people) + "&locked=true");
  ASSERT_EQ(lock.status, 303) << lock.body;
  bool sessionRefused = false, keyRefused = false;
  while (std::chrono::steady_clock::now() - locked < 1s && !(sessionRefused && keyRefused)) {
    sessionRefused = Browse(second_->port(), "GET", "/console/", alice).status == 303;
    keyRefused = test::Send(second_->port(), "GET", "/api/v1/links", alice_).status == 401;
    if (!(sessionRefused && keyRefused)) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(sessionRefused);
  EXPECT_TRUE(keyRefused);
  // nor can she sign in again; the admin's own session goes on
  EXPECT_EQ(Browse(second_->port(), "POST", "/console/sign-in", "", "key=" + alice_).status, 403);
  EXPECT_EQ(Browse(second_->port(), "GET", "/console/admin/people", root).status, 200);
}

TEST_P(ConsoleTest, AThousandLinesAreEachCheckedAndAnAddressKeepsOneCode) {
  MakeLink(alice_, "a1");
  const uint16_t port = first_->port();
  const std::string alice = SignIn(port, alice_);
  const std::string token = CsrfOf(Browse(port, "GET", "/console/new", alice));
  std::string lines;
  std::vector<std::string> asked;
  for (int i = 0; i < 1000; ++i) {
    // refused; stored before; given twice or more here; new
    const std::string address = i % 10 == 0   ? "ftp://bad.example/" + std::to_string(i)
                                : i % 10 == 1 ? "http://example.com/a1"
                                : i % 10 == 2 ? "http://twice.example/" + std::to_string(i / 100)
                                              : "http://bulk.example/" + std::to_string(i);
    asked.push_back(address);
    lines += address + (i % 2 ? "\r\n" : "\n");
  }
  const Response made =
      Browse(port, "POST", "/console/new", alice, "csrf=" + token + "&format=csv&lines=" + test::Escape(lines));
  ASSERT_EQ(made.status, 200) << made.body.substr(0, 500);
  EXPECT_EQ(made.Header("Content-Type"), "text/csv; charset=utf-8");
  std::istringstream csv(made.body);
  std::string row;
  std::getline(csv, row);
  EXPECT_EQ(row, "line,address,short_address,refusal\r");
  std::map<std::string, std::set<std::string>> codesOf;
  std::set<std::string> codes;
  int refused = 0, rows = 0;
  while (std::getline(csv, row)) {
    std::vector<std::string> fields;
    std::stringstream cells(row.substr(0, row.size() - 1));
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
    ASSERT_GE(fields.size(), 3u) << row;
    const int line = std::stoi(fields[0]);
    ASSERT_EQ(fields[1], asked[std::size_t(line - 1)]) << row;
    ++rows;
    if (fields[2].empty()) {
      ++refused;
      EXPECT_TRUE(fields[1].starts_with("ftp://")) << row;
      EXPECT_GT(fields.size(), 3u) << "a refused line says why: " << row;
      continue;
    }
    codesOf[fields[1]].insert(fields[2]);
    codes.insert(fields[2]);
  }
  EXPECT_EQ(rows, 1000);
  EXPECT_EQ(refused, 100);
  // one code an address, the one it had before included; no code for two addresses
  for (const auto& [address, given] : codesOf) EXPECT_EQ(given.size(), 1u) << address;
  EXPECT_EQ(codesOf["http://example.com/a1"], std::set<std::string>{"http://snip.invalid/a1"});
  EXPECT_EQ(codes.size(), codesOf.size());
  EXPECT_EQ(codesOf.size(), 1u + 10u + 700u);
  // the new links are hers, in the store
  const std::string some = *codesOf["http://bulk.example/3"].begin();
  const std::optional<Link> stored = store_->FindCode(some.substr(some.rfind('/') + 1));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->owner, "alice");
}

TEST_P(ConsoleTest, ALinksPageEditsItAndDrawsItsClicksAndOnlyAnAdminMovesItsAddress) {
  MakeLink(alice_, "a1");
  const uint16_t port = first_->port();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(test::Get(port, "/a1").status, 301);
  const std::string alice = SignIn(port, alice_), root = SignIn(port, admin_);
  const Response page = Browse(port, "GET", "/console/links/a1?days=90", alice);
  ASSERT_EQ(page.status, 200);
  // the chart is an image of this origin, not markup in the page
  EXPECT_NE(page.body.find("<img class=\"chart\" src=\"/console/links/a1/clicks.svg?lang=en&amp;days=90\""),
            std::string::npos);
  EXPECT_EQ(page.body.find("<svg"), std::string::npos);
  const std::string token = CsrfOf(page);
  const Response edited = Browse(port, "POST", "/console/links/a1/edit", alice,
                                 "csrf=" + token + "&title=Spring+sale&tags=promo%2C+2027&private_note=n&max_clicks=9");
  EXPECT_EQ(edited.status, 303) << edited.body;
  const std::optional<Link> after = store_->FindCode("a1");
  EXPECT_EQ(after->title, "Spring sale");
  EXPECT_EQ(after->tags, (std::vector<std::string>{"promo", "2027"}));
  EXPECT_EQ(after->maxClicks, 9);
  // found by its tag and by a part of its title
  EXPECT_NE(Browse(port, "GET", "/console/?tag=promo", alice).body.find("/console/links/a1"), std::string::npos);
  EXPECT_NE(Browse(port, "GET", "/console/?q=SPRING", alice).body.find("/console/links/a1"), std::string::npos);
  EXPECT_EQ(Browse(port, "GET", "/console/?q=autumn", alice).body.find("/console/links/a1"), std::string::npos);
  // the address: refused to its creator, taken by an admin
  EXPECT_EQ(Browse(port, "POST", "/console/links/a1/edit", alice, "csrf=" + token + "&address=http%3A%2F%2Fnew.example%2F")
                .status,
            403);
  EXPECT_EQ(store_->FindCode("a1")->address, "http://example.com/a1");
  const std::string rootToken = CsrfOf(Browse(port, "GET", "/console/", root));
  EXPECT_EQ(Browse(port, "POST", "/console/links/a1/edit", root, "csrf=" + rootToken + "&address=http%3A%2F%2Fnew.example%2F")
                .status,
            303);
  EXPECT_EQ(store_->FindCode("a1")->address, "http://new.example/");
  // the chart: an SVG drawn here, today's bar among 30 days (once the clicks are written)
  Response chart = Browse(port, "GET", "/console/links/a1/clicks.svg", alice);
  for (const auto until = std::chrono::steady_clock::now() + 10s;
       chart.body.find(": 3</title></rect>") == std::string::npos && std::chrono::steady_clock::now() < until;) {
    std::this_thread::sleep_for(100ms);
    chart = Browse(port, "GET", "/console/links/a1/clicks.svg", alice);
  }
  ASSERT_EQ(chart.status, 200);
  EXPECT_EQ(chart.Header("Content-Type"), "image/svg+xml");
  EXPECT_NE(chart.body.find(": 3</title></rect>"), std::string::npos) << chart.body;
  const std::string bob = SignIn(port, bob_);
  EXPECT_EQ(Browse(port, "GET", "/console/links/a1/clicks.svg", bob).status, 404);
  // deleted only by its owner, and only once confirmed
  const std::string bobToken = CsrfOf(Browse(port, "GET", "/console/", bob));
  EXPECT_EQ(Browse(port, "POST", "/console/links/a1/delete", bob, "csrf=" + bobToken + "&confirm=yes").status, 404);
  EXPECT_EQ(Browse(port, "POST", "/console/links/a1/delete", alice, "csrf=" + token).status, 303);
  EXPECT_TRUE(store_->FindCode("a1"));
  EXPECT_EQ(Browse(port, "POST", "/console/links/a1/delete", alice, "csrf=" + token + "&confirm=yes").status, 303);
  EXPECT_FALSE(store_->FindCode("a1"));
}

INSTANTIATE_TEST_SUITE_P(Stores, ConsoleTest, testing::ValuesIn(test::kStoreKinds), test::KindName);

}  // namespace
}  // namespace snipora::service
