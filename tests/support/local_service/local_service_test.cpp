// The local service over plain sockets: what it answers, what it records,
// how it misbehaves on request, and how it stands up to bad clients.
#include "tests/support/local_service/raw_client.h"

#include "tests/support/local_service/local_service.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "tests/support/local_service/service_answers.h"

using namespace snipora::test;

namespace {

constexpr char kStart[] = "</b><br><small>[<a href=\"http://";
constexpr char kEnd[] = "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";

std::string Get(const std::string& target) { return "GET " + target + " HTTP/1.0\r\nHost: snip.invalid\r\n\r\n"; }

std::string CreateTarget(const std::string& encodedUrl) {
  return "/create.php?source=indexpage&url=" + encodedUrl + "&submit=Make+TinyURL%21&alias=";
}

// The short address between the markers, or "" when they are not both there.
// Written apart from the service's own on purpose: it checks the service's markers.
std::string ShortAddressIn(const std::string& page) {
  const auto start = page.find(kStart);
  if (start == std::string::npos) return {};
  const auto end = page.find(kEnd, start);
  if (end == std::string::npos) return {};
  return page.substr(start + sizeof kStart - 1, end - start - (sizeof kStart - 1));
}

class LocalServiceTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(service.port(), 0); }
  RawAnswer Ask(const std::string& request) { return Exchange(service.port(), request); }

  LocalService service{{.headTimeoutMs = 500}};
};

TEST_F(LocalServiceTest, CreateAnswersTheShortAddressBetweenTheMarkers) {
  const RawAnswer answer = Ask(Get(CreateTarget("http%3A%2F%2Fexample.invalid%2Fa%3Fb%3D1")));
  EXPECT_EQ(answer.status(), 200);
  EXPECT_EQ(answer.header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body().size()));
  EXPECT_EQ(answer.header("Connection"), "close");
  const std::string shortAddress = ShortAddressIn(answer.body());
  ASSERT_TRUE(shortAddress.starts_with("snip.invalid/")) << answer.bytes;
  const std::string code = shortAddress.substr(13);
  EXPECT_TRUE(code.size() == 6 && code.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") == std::string::npos);
  EXPECT_EQ(service.AddressOf(code), std::optional<std::string>("http://example.invalid/a?b=1"));
  EXPECT_TRUE(answer.body().starts_with("<!DOCTYPE html>"));
  // one marker pair only
  EXPECT_EQ(answer.body().find(kStart, answer.body().find(kStart) + 1), std::string::npos);

  // asked again, in the form a proxy receives: the same short address
  const RawAnswer again = Ask("GET http://snip.invalid:80" + CreateTarget("http%3A%2F%2Fexample.invalid%2Fa%3Fb%3D1") +
                              " HTTP/1.0\r\nHost: snip.invalid\r\n\r\n");
  EXPECT_EQ(ShortAddressIn(again.body()), shortAddress);

  // the short code leads to the long address
  const RawAnswer redirect = Ask(Get("/" + code));
  EXPECT_EQ(redirect.status(), 301);
  EXPECT_EQ(redirect.header("Location"), "http://example.invalid/a?b=1");
  EXPECT_EQ(Ask("GET http://snip.invalid/" + code + " HTTP/1.0\r\n\r\n").header("Location"),
            "http://example.invalid/a?b=1");
}

TEST_F(LocalServiceTest, AddressesThatMarkupOrHeadersCannotCarryAreEscaped) {
  const RawAnswer answer = Ask(Get(CreateTarget("http%3A%2F%2Fa.invalid%2F%22%3E%3Cb%3E%E4%B8%AD+x%0D%0ASet%3A+1")));
  const std::string shortAddress = ShortAddressIn(answer.body());
  ASSERT_FALSE(shortAddress.empty());
  EXPECT_NE(answer.body().find("http://a.invalid/&quot;&gt;&lt;b&gt;\xE4\xB8\xAD x\r\nSet: 1"), std::string::npos);
  const RawAnswer redirect = Ask(Get(shortAddress.substr(12)));
  EXPECT_EQ(redirect.header("Location"), "http://a.invalid/\"><b>%E4%B8%AD%20x%0D%0ASet:%201");
  EXPECT_EQ(redirect.header("Set"), "");
}

TEST_F(LocalServiceTest, MissingAddressHasNoMarkers) {
  for (const std::string& target : {std::string("/create.php?source=indexpage&submit=Make+TinyURL%21&alias="), CreateTarget(""),
                                   std::string("/create.php")}) {
    const RawAnswer answer = Ask(Get(target));
    EXPECT_EQ(answer.status(), 400) << target;
    EXPECT_EQ(answer.body().find(kStart), std::string::npos);
    EXPECT_EQ(answer.body().find(kEnd), std::string::npos);
  }
}

TEST_F(LocalServiceTest, OtherRoutes) {
  EXPECT_EQ(Ask(Get("/NoSuch")).status(), 404);
  EXPECT_EQ(Ask(Get("/no/such")).status(), 404);
  EXPECT_EQ(Ask(Get("/")).status(), 200);
  const RawAnswer image = Ask("GET http://status.snipora.invalid/online.gif?id=10001 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(image.status(), 200);
  EXPECT_EQ(image.header("Content-Type"), "image/gif");
  EXPECT_TRUE(image.body().starts_with("GIF89a"));
  EXPECT_EQ(image.body(), StatusImage());
  const RawAnswer post = Ask("POST /create.php HTTP/1.0\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(post.status(), 405);
  EXPECT_EQ(post.header("Allow"), "GET");
  EXPECT_EQ(Ask("GET nowhere HTTP/1.0\r\n\r\n").status(), 400);
}

TEST_F(LocalServiceTest, RequestsAreRecordedByteForByte) {
  const std::string first = "GET /a HTTP/1.0\r\nX-Odd:  two  spaces \r\nHost: snip.invalid\r\n\r\n";
  const std::string second = "GET http://snip.invalid:80/b?c=%20 HTTP/1.0\nAccept: */*\n\n";
  Ask(first + "what follows the head is not recorded");
  Ask(second);
  EXPECT_EQ(service.requests(), std::vector<std::string>({first, second}));
  service.ClearRequests();
  EXPECT_TRUE(service.requests().empty());
}

TEST_F(LocalServiceTest, QueuedBehavioursGoFirstThenTheStandingOne) {
  service.SetBehaviour({.body = "standing"});
  service.QueueBehaviour({.body = "first"});
  service.QueueBehaviour({.status = 500, .body = "second"});
  EXPECT_EQ(Ask(Get("/x")).body(), "first");
  const RawAnswer second = Ask(Get("/x"));
  EXPECT_EQ(second.status(), 500);
  EXPECT_EQ(second.body(), "second");
  EXPECT_EQ(Ask(Get("/x")).body(), "standing");
  EXPECT_EQ(Ask(Get("/x")).body(), "standing");
  service.SetBehaviour({});
  EXPECT_EQ(Ask(Get("/x")).status(), 404);
}

TEST_F(LocalServiceTest, Misbehaviours) {
  service.QueueBehaviour({.refuse = true});
  RawAnswer answer = Ask(Get("/"));
  EXPECT_TRUE(answer.bytes.empty());
  EXPECT_FALSE(answer.reset);

  service.QueueBehaviour({.status = 404, .body = "gone"});
  answer = Ask(Get("/"));
  EXPECT_TRUE(answer.bytes.starts_with("HTTP/1.0 404 Not Found\r\n"));
  EXPECT_EQ(answer.body(), "gone");

  service.QueueBehaviour({.status = 500});
  EXPECT_NE(Ask(Get("/")).body().find("500 Internal Server Error"), std::string::npos);

  service.QueueBehaviour({.body = "abc", .omitContentLength = true});
  answer = Ask(Get("/"));
  EXPECT_EQ(answer.header("Content-Length"), "");
  EXPECT_EQ(answer.body(), "abc");

  service.QueueBehaviour({.body = "abc", .statedContentLength = 99});
  answer = Ask(Get("/"));
  EXPECT_EQ(answer.header("Content-Length"), "99");
  EXPECT_EQ(answer.body(), "abc");

  service.QueueBehaviour({.nulBytes = true});
  answer = Ask(Get(CreateTarget("http%3A%2F%2Fa.invalid")));
  const auto nul = answer.body().find(std::string(3, '\0'));
  ASSERT_NE(nul, std::string::npos);
  EXPECT_LT(nul, answer.body().find(kStart));
  EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body().size()));

  service.QueueBehaviour({.largeBody = 300000});
  answer = Ask(Get("/"));
  EXPECT_EQ(answer.header("Content-Length"), "300000");
  EXPECT_TRUE(answer.body() == PatternBytes(300000));

  service.QueueBehaviour({.redirectTo = "/elsewhere?x=1"});
  answer = Ask(Get("/"));
  EXPECT_EQ(answer.status(), 302);
  EXPECT_EQ(answer.header("Location"), "/elsewhere?x=1");
}

TEST_F(LocalServiceTest, ResetMidBody) {
  service.QueueBehaviour({.largeBody = 100000, .resetAfter = 4321});
  const RawAnswer answer = Ask(Get("/"));
  EXPECT_TRUE(answer.reset);
  EXPECT_EQ(answer.header("Content-Length"), "100000");
  EXPECT_TRUE(answer.body() == PatternBytes(4321));
}

TEST_F(LocalServiceTest, StallHoldsTheAnswer) {
  service.QueueBehaviour({.stallMs = 400, .body = "late"});
  const uint64_t start = GetTickCount64();
  EXPECT_EQ(Ask(Get("/")).body(), "late");
  EXPECT_GE(GetTickCount64() - start, 390u);
}

TEST(LocalServiceStop, DestructorEndsStalledAndIdleConnectionsPromptly) {
  std::optional<LocalService> service(std::in_place);
  ASSERT_NE(service->port(), 0);
  service->QueueBehaviour({.stallMs = 60000});
  RawClient stalled(service->port());
  stalled.Send(Get("/"));
  Sleep(100);
  service->QueueBehaviour({.largeBody = int64_t(1) << 30});
  RawClient large(service->port());  // asks for a body it never reads
  large.Send(Get("/"));
  RawClient idle(service->port());  // says nothing at all
  Sleep(200);
  ASSERT_EQ(service->requests().size(), 2u);
  const uint64_t start = GetTickCount64();
  service.reset();
  EXPECT_LT(GetTickCount64() - start, 2000u);
  EXPECT_TRUE(stalled.ReadAnswer().bytes.empty());
}

// Bad clients: none of them may stop the service from answering the next.
class LocalServiceAbuse : public LocalServiceTest {
 protected:
  void ExpectStillAnswering() { EXPECT_EQ(Ask(Get("/")).status(), 200); }
};

TEST_F(LocalServiceAbuse, NotHttpAtAll) {
  const std::string tls("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03", 11);
  EXPECT_TRUE(Ask(tls).bytes.empty());
  EXPECT_TRUE(Ask(std::string("\0\0\0\0", 4)).bytes.empty());
  EXPECT_TRUE(Ask("GET").bytes.empty());  // ends before its head does
  EXPECT_EQ(service.requests(), std::vector<std::string>({tls, std::string(4, '\0'), "GET"}));
  ExpectStillAnswering();
}

TEST_F(LocalServiceAbuse, HugeHeadIsRefusedAndBounded) {
  const std::string huge = "GET / HTTP/1.0\r\nX-Big: " + std::string(200000, 'a') + "\r\n\r\n";
  EXPECT_EQ(Ask(huge).status(), 431);
  ASSERT_EQ(service.requests().size(), 1u);
  EXPECT_EQ(service.requests()[0], huge.substr(0, 16 * 1024));
  EXPECT_EQ(Ask("GET /" + std::string(100000, 'p') + " HTTP/1.0\r\n\r\n").status(), 431);
  ExpectStillAnswering();
}

TEST_F(LocalServiceAbuse, SlowClients) {
  // a byte at a time, within the time a head may take
  RawClient slow(service.port());
  for (const char c : Get("/")) {
    slow.Send(std::string(1, c));
    Sleep(5);
  }
  EXPECT_EQ(slow.ReadAnswer().status(), 200);

  // one that never finishes its head is cut off after the head timeout
  RawClient stuck(service.port());
  stuck.Send("GET / HTTP/1.0\r\nHost: a");
  const uint64_t start = GetTickCount64();
  EXPECT_TRUE(stuck.ReadAnswer().bytes.empty());
  EXPECT_LT(GetTickCount64() - start, 3000u);
  ExpectStillAnswering();
}

TEST(LocalServiceLimit, ConnectionsBeyondTheBoundAreClosedAtOnce) {
  LocalService service;  // heads may take long: the first 32 stay open meanwhile
  ASSERT_NE(service.port(), 0);
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < 40; ++i) {
    clients.push_back(std::make_unique<RawClient>(service.port(), 2000));
    clients.back()->Send("G");
  }
  int closedAtOnce = 0;
  for (int i = 32; i < 40; ++i) closedAtOnce += clients[i]->ReadAnswer().bytes.empty();
  EXPECT_EQ(closedAtOnce, 8);
  clients.clear();  // their workers see the end of input and are free again
  bool answered = false;
  for (const uint64_t end = GetTickCount64() + 3000; !answered && GetTickCount64() < end; Sleep(50))
    answered = Exchange(service.port(), Get("/")).status() == 200;
  EXPECT_TRUE(answered);
}

TEST_F(LocalServiceAbuse, MangledRequests) {
  std::mt19937 random(20240521);
  const std::string base = Get(CreateTarget("http%3A%2F%2Fa.invalid%2F%E4%B8%AD"));
  const char pieces[] = {'\0', '\r', '\n', ' ', '%', '?', '&', '=', '/', ':', '\xff', '#', '+'};
  for (int round = 0; round < 150; ++round) {
    std::string request = base;
    const int edits = 1 + int(random() % 6);
    for (int e = 0; e < edits && !request.empty(); ++e) {
      const std::size_t at = random() % request.size();
      switch (random() % 4) {
        case 0: request[at] = pieces[random() % sizeof pieces]; break;
        case 1: request.insert(at, 1, pieces[random() % sizeof pieces]); break;
        case 2: request.erase(at, 1 + random() % 8); break;
        default: request.resize(at); break;
      }
    }
    const RawAnswer answer = Ask(request);
    EXPECT_TRUE(answer.bytes.empty() || answer.bytes.starts_with("HTTP/1.0 ")) << round;
  }
  ExpectStillAnswering();
}

TEST(LocalServiceRelay, ShorteningGoesToTheServiceAndTheStatusPictureStaysHere) {
  LocalService upstream({.shortHost = "up.invalid"});  // stands for snipora-service
  LocalService relay({.relayPort = upstream.port()});
  const RawAnswer created =
      Exchange(relay.port(), "GET http://snip.invalid:80" + CreateTarget("http%3A%2F%2Frelayed.invalid%2F") +
                                 " HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n\r\n");
  const std::string shortAddress = ShortAddressIn(created.body());
  ASSERT_TRUE(shortAddress.starts_with("up.invalid/")) << created.bytes;
  // what the service received: the target as sent, HTTP/1.0, no keep-alive
  ASSERT_FALSE(upstream.requests().empty());
  EXPECT_TRUE(upstream.requests().back().starts_with("GET http://snip.invalid:80/create.php?"));
  EXPECT_EQ(upstream.requests().back().find("Keep-Alive"), std::string::npos);
  EXPECT_EQ(Exchange(relay.port(), Get(shortAddress.substr(10))).header("Location"), "http://relayed.invalid/");
  const std::size_t upstreamSeen = upstream.requests().size();
  EXPECT_EQ(Exchange(relay.port(), Get(kStatusImagePath)).body(), StatusImage());
  EXPECT_EQ(upstream.requests().size(), upstreamSeen);  // answered here
}

TEST(LocalServiceRelay, AServiceThatIsNotThereGives502) {
  uint16_t port;
  {
    LocalService gone;
    port = gone.port();
  }
  LocalService relay({.relayPort = port});
  EXPECT_EQ(Exchange(relay.port(), Get(CreateTarget("http%3A%2F%2Fx.invalid%2F"))).status(), 502);
}

}  // namespace
