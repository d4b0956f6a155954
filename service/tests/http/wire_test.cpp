// The wire as a hostile client writes it, over real sockets: heads that say
// two things about where their body ends (request smuggling behind a proxy),
// bodies trickled or declared too large, queries of many parameters,
// requests for a host this service is not, and what the access log keeps of
// a target.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "service/http/access_log.h"
#include "service/core/allowed_hosts.h"
#include "service/program/service.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Client;
using test::Exchange;
using test::Response;

class Wire : public testing::Test {
 protected:
  void Start(const std::function<void(Settings&)>& adjust = {}) {
    service_.reset();
    Settings settings = test::TestSettings(dir_);
    if (adjust) adjust(settings);
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
    port_ = service_->port();
    ASSERT_NE(port_, 0);
  }
  // A counter's value in /metrics.
  std::string Metric(const std::string& name) {
    const std::string text = test::Get(port_, "/metrics").body;
    const std::size_t at = text.find("\n" + name + " ");
    return at == std::string::npos ? "" : text.substr(at + name.size() + 2, text.find('\n', at + 1) - at - name.size() - 2);
  }

  test::TempDir dir_;
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

// Each head is refused with its status, at once, and the connection closed:
// nothing after the head (a body, or a request hidden in one) is read as a
// request. libmicrohttpd alone answered the first seven, and hung on the
// unknown codings until the idle timeout.
TEST_F(Wire, AHeadThatFramesItsBodyTwoWaysIsRefusedAndItsConnectionClosed) {
  Start();
  const std::string post = "POST /api/v1/links HTTP/1.1\r\nHost: snip.invalid\r\nContent-Type: application/json\r\n";
  const std::string body = R"({"url":"http://smuggled.example/"})";
  char size[16];
  std::snprintf(size, sizeof size, "%zx", body.size());
  const std::string chunked = size + ("\r\n" + body) + "\r\n0\r\n\r\n";
  const std::string hidden = "GET /metrics HTTP/1.1\r\nHost: snip.invalid\r\n\r\n";
  const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  const struct {
    const char* what;
    std::string request;
    int status;
  } kCases[] = {
      {"two Content-Lengths, the first ending before a hidden request",
       post + length + "Content-Length: " + std::to_string(body.size() + hidden.size()) + "\r\n\r\n" + body + hidden,
       400},
      {"a space before the colon", post + "Content-Length : " + std::to_string(body.size()) + "\r\n\r\n" + body, 400},
      {"a folded Transfer-Encoding", post + "Transfer-Encoding:\r\n chunked\r\n\r\n" + chunked, 400},
      {"Transfer-Encoding beside Content-Length", post + "Content-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked,
       400},
      {"HTTP/1.1 without Host", "GET /healthz HTTP/1.1\r\n\r\n", 400},
      {"two Hosts", "GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\nHost: evil.example\r\n\r\n", 400},
      {"Transfer-Encoding on HTTP/1.0",
       "POST /api/v1/links HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked, 400},
      {"gzip, then chunked", post + "Transfer-Encoding: gzip, chunked\r\n\r\n" + chunked, 501},
      {"identity", post + "Transfer-Encoding: identity\r\n\r\n" + body, 501},
      {"xchunked", post + "Transfer-Encoding: xchunked\r\n\r\n" + chunked, 501},
  };
  for (const auto& c : kCases) {
    Client client(port_);
    ASSERT_TRUE(client.Send(c.request));
    const std::optional<Response> refused = client.Next(2s);
    ASSERT_TRUE(refused) << c.what << ": no answer";
    EXPECT_EQ(refused->status, c.status) << c.what;
    EXPECT_EQ(refused->Header("Connection"), "close") << c.what;
    EXPECT_TRUE(client.ClosedWithin(2s)) << c.what;
    EXPECT_FALSE(client.Next(0ms)) << c.what << ": a second answer came";
  }
  EXPECT_EQ(Metric("snipora_creations_total"), "0");

  // what is framed one way only is served, and keeps its connection
  Client kept(port_);
  ASSERT_TRUE(kept.Send(post + "Transfer-Encoding: chunked\r\n\r\n" + chunked));
  const std::optional<Response> created = kept.Next(2s);
  ASSERT_TRUE(created);
  EXPECT_EQ(created->status, 201) << created->body;
  ASSERT_TRUE(kept.Send(hidden));
  EXPECT_EQ(kept.Next(2s).value_or(Response{}).status, 200);
  EXPECT_EQ(Exchange(port_, "GET /healthz HTTP/1.0\r\n\r\n").status, 200);  // HTTP/1.0 names no host
}

// Bodies trickled a byte at a time, each under --idle-timeout, are cut at
// --request-timeout, logged and counted; another client is answered
// meanwhile. (Before, such a body held its connection for hours.)
TEST(WireProcess, ASlowBodyIsCutAtTheRequestTimeoutAndOthersAreServed) {
  test::TempDir dir;
  test::ServiceProcess service(dir.File("links.db"), {"--request-timeout", "2", "--per-ip-connections", "3"});
  ASSERT_NE(service.port(), 0);
  std::vector<std::unique_ptr<Client>> slow;
  for (int i = 0; i < 3; ++i) {
    slow.push_back(std::make_unique<Client>(service.port()));
    ASSERT_TRUE(slow.back()->Send("POST /api/v1/links HTTP/1.1\r\nHost: snip.invalid\r\nContent-Type: application/json\r\n"
                                  "Content-Length: 16000\r\n\r\n{"));
  }
  const auto started = std::chrono::steady_clock::now();
  // the address's connections are all taken; another address is served
  Client probe(service.port(), "127.0.0.2");
  ASSERT_TRUE(probe.Send("GET /healthz HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(probe.Next(2s).value_or(Response{}).status, 200);
  std::vector<bool> cut(slow.size(), false);
  for (std::size_t left = slow.size(); left > 0 && std::chrono::steady_clock::now() - started < 8s;) {
    for (std::size_t i = 0; i < slow.size(); ++i) {
      if (cut[i]) continue;
      slow[i]->Send("\"");
      if (slow[i]->ClosedWithin(100ms)) cut[i] = true, --left;
    }
  }
  const auto took = std::chrono::steady_clock::now() - started;
  for (std::size_t i = 0; i < slow.size(); ++i) EXPECT_TRUE(cut[i]) << "slow body " << i << " was not cut";
  EXPECT_GE(took, 1500ms);
  EXPECT_LT(took, 5s);
  EXPECT_TRUE(service.WaitForLine("closing the connection of 127.0.0.1: its request was not whole within 2 s"))
      << service.said();
  // (asked from the other address: the cut ones may still be counted a moment)
  Client asking(service.port(), "127.0.0.2");
  ASSERT_TRUE(asking.Send("GET /metrics HTTP/1.0\r\n\r\n"));
  const std::string metrics = asking.Next(2s).value_or(Response{}).body;
  EXPECT_NE(metrics.find("\nsnipora_request_timeouts_total 3\n"), std::string::npos) << metrics;
}

// A body declared over --max-body is refused from its head, on any method:
// no "100 Continue" invites it, none of it is read, and each door answers in
// its own shape. (Before, POST bodies were read to the end first.)
TEST_F(Wire, ABodyDeclaredOverTheLimitIsRefusedBeforeItIsSent) {
  Start();
  const struct {
    std::string head;
    std::string type;  // of the refusal
  } kCases[] = {
      {"POST /api/v1/links HTTP/1.1\r\nContent-Type: application/json\r\n", "application/json"},
      {"POST /create.php HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n", "text/html; charset=utf-8"},
      {"GET /healthz HTTP/1.1\r\n", "text/html; charset=utf-8"},
  };
  for (const auto& c : kCases) {
    Client client(port_);
    ASSERT_TRUE(client.Send(c.head + "Host: snip.invalid\r\nContent-Length: 1000000\r\nExpect: 100-continue\r\n\r\n"));
    const std::optional<Response> refused = client.Next(2s);
    ASSERT_TRUE(refused) << c.head;
    EXPECT_EQ(refused->status, 413) << c.head;
    EXPECT_EQ(refused->Header("Content-Type"), c.type) << c.head;
    EXPECT_TRUE(client.ClosedWithin(2s)) << c.head;
  }
  // a body within the limit is still invited, and read
  Client client(port_);
  const std::string body = R"({"url":"http://invited.example/"})";
  ASSERT_TRUE(client.Send("POST /api/v1/links HTTP/1.1\r\nHost: snip.invalid\r\nContent-Type: application/json\r\n"
                          "Expect: 100-continue\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n"));
  EXPECT_EQ(client.Next(2s, /*head=*/true).value_or(Response{}).status, 100);
  ASSERT_TRUE(client.Send(body));
  EXPECT_EQ(client.Next(2s).value_or(Response{}).status, 201);
}

// A query of hundreds of parameters is answered; a head over the
// connection's memory is refused at once, whichever part overflowed it.
// (Before, some 480 parameters overflowed the library's own records of them:
// nothing was answered, and the socket waited for the head timeout.)
TEST_F(Wire, ManyParametersAreAnsweredAndAnOverflowingHeadIsRefusedAtOnce) {
  Start([](Settings& settings) { settings.connectionMemory = 16384; });
  const std::string made = test::Get(port_, "/api-create.php?url=" + test::Escape("http://many.example/")).body;
  const std::string code = made.substr(made.rfind('/') + 1);
  std::string tags;
  for (int i = 0; i < 500; ++i) tags += "&tags%5B%5D=t" + std::to_string(i);
  Client client(port_);
  ASSERT_TRUE(client.Send("GET /" + code + "?x=1" + tags + " HTTP/1.1\r\nHost: snip.invalid\r\n\r\n"));
  EXPECT_EQ(client.Next(2s).value_or(Response{}).status, 301);

  std::string moreTags, cookies;
  for (int i = 0; i < 2000; ++i) moreTags += "&t=" + std::to_string(i);
  for (int i = 0; i < 600; ++i) cookies += "c" + std::to_string(i) + "=1; ";
  const struct {
    const char* what;
    std::string request;
    int status;
  } kCases[] = {
      {"a target", "GET /" + code + "?x=1" + moreTags + moreTags + " HTTP/1.1\r\nHost: snip.invalid\r\n\r\n", 414},
      {"the cookies' records", "GET /" + code + " HTTP/1.1\r\nHost: snip.invalid\r\nCookie: " + cookies + "\r\n\r\n", 431},
      {"a header", "GET /" + code + " HTTP/1.1\r\nHost: snip.invalid\r\nX-Long: " + moreTags + moreTags + "\r\n\r\n", 431},
  };
  for (const auto& c : kCases) {
    Client overflowing(port_);
    ASSERT_TRUE(overflowing.Send(c.request));
    EXPECT_EQ(overflowing.Next(2s).value_or(Response{}).status, c.status) << c.what;
  }
}

// A request for a host this service is not answers 421 before any route;
// /healthz answers whatever the host, so probes by address keep working.
TEST_F(Wire, ARequestForAnotherHostIsMisdirectedAndHealthzAnswersAnyHost) {
  Start();
  const std::string create = "/api-create.php?url=" + test::Escape("http://rebound.example/");
  const auto ask = [&](const std::string& target, const std::string& host) {
    return Exchange(port_, "GET " + target + " HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
  };
  const std::string listen = "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
  const struct {
    std::string target, host;
    int status;
  } kCases[] = {
      {"/", "Host: evil.example\r\n", 421},
      {"/metrics", "Host: evil.example:" + std::to_string(port_) + "\r\n", 421},
      {create, "Host: evil.example\r\n", 421},
      {"/nothere", "Host: snip.invalid.evil.example\r\n", 421},
      {"/healthz", "Host: evil.example\r\n", 200},
      {"/", "Host: SNIP.Invalid.:8080\r\n", 200},  // case, trailing dot and port aside
      {"/", listen, 200},
      {"/", "Host: localhost\r\n", 200},           // the service listens on loopback
      {"http://snip.invalid/", "Host: evil.example\r\n", 200},  // the target's host wins
      {"http://evil.example/", "Host: snip.invalid\r\n", 421},
  };
  for (const auto& c : kCases) EXPECT_EQ(ask(c.target, c.host).status, c.status) << c.target << " " << c.host;
  const Response misdirected = ask("/?lang=en", "Host: evil.example\r\n");
  EXPECT_NE(misdirected.body.find("<title>Wrong host</title>"), std::string::npos) << misdirected.body;
  EXPECT_EQ(Metric("snipora_creations_total"), "0");
  EXPECT_EQ(Metric("snipora_misdirected_total"), "6");

  // --allowed-hosts replaces the list
  Start([](Settings& settings) { settings.allowedHosts = "other.example, [2001:db8::1]"; });
  EXPECT_EQ(ask("/", "Host: snip.invalid\r\n").status, 421);
  EXPECT_EQ(ask("/", "Host: Other.Example\r\n").status, 200);
  EXPECT_EQ(ask("/", "Host: [2001:DB8:0::1]:80\r\n").status, 200);
}

TEST(AllowedHosts, TheDefaultAddsTheLocalNamesOnlyToALocalListenAddress) {
  const struct {
    const char* listen;
    bool local;
  } kCases[] = {{"127.0.0.1", true}, {"::1", true}, {"0.0.0.0", true}, {"::", true}, {"10.1.2.3", false}};
  for (const auto& c : kCases) {
    const AllowedHosts hosts = AllowedHosts::Default({"s.example.org:8080"}, c.listen);
    EXPECT_TRUE(hosts.Allows("s.example.org")) << c.listen;
    EXPECT_TRUE(hosts.Allows(c.listen[0] == ':' ? "[" + std::string(c.listen) + "]:80" : c.listen)) << c.listen;
    EXPECT_EQ(hosts.Allows("localhost:8080"), c.local) << c.listen;
    EXPECT_EQ(hosts.Allows("127.0.0.1"), c.local) << c.listen;
    EXPECT_FALSE(hosts.Allows("s.example.org.evil.example")) << c.listen;
    EXPECT_FALSE(hosts.Allows("")) << c.listen;
  }
  std::string error;
  EXPECT_FALSE(AllowedHosts::Parse("s.example.org, http://x/", &error));
  EXPECT_NE(error.find("http://x/"), std::string::npos) << error;
  EXPECT_TRUE(AllowedHosts::Parse("*", &error)->Allows("anything.example"));
}

// A key in a target is written as ***, whatever the letter case or escapes
// of its name; every other byte of the target is kept as it came.
TEST(AccessLog, SecretsInATargetAreStarredAndEveryOtherByteKept) {
  const struct {
    const char* target;
    const char* logged;
  } kCases[] = {
      {"/yourls-api.php?action=shorturl&signature=snp_1&url=http%3A%2F%2Fe.com%2F",
       "/yourls-api.php?action=shorturl&signature=***&url=http%3A%2F%2Fe.com%2F"},
      {"/yourls-api.php?timestamp=1765000000&Signature=0f3a9c&format=json",
       "/yourls-api.php?timestamp=1765000000&Signature=***&format=json"},
      {"/rest/v3/short-urls/shorten?api%4Bey=snp_2&longUrl=x", "/rest/v3/short-urls/shorten?api%4Bey=***&longUrl=x"},
      {"/x?a=1&&key=k1&monkey=m&token=&password=p+w&access_token=t&", "/x?a=1&&key=***&monkey=m&token=&password=***&access_token=***&"},
      {"http://user:pw@snip.invalid/x?apikey=k", "http://***@snip.invalid/x?apikey=***"},
      {"/Ab3dE9x", "/Ab3dE9x"},
      {"/x?keys=1&key", "/x?keys=1&key"},
  };
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    AccessLog log(out);
    for (const auto& c : kCases) log.Write("127.0.0.1", "GET", c.target, "HTTP/1.1", 200, 0);
  }
  std::rewind(out);
  std::string written(1 << 14, '\0');
  written.resize(std::fread(written.data(), 1, written.size(), out));
  std::fclose(out);
  for (const auto& c : kCases)
    EXPECT_NE(written.find(std::string("\"GET ") + c.logged + " HTTP/1.1\""), std::string::npos) << c.target << "\n"
                                                                                                 << written;
}

}  // namespace
}  // namespace snipora::service
