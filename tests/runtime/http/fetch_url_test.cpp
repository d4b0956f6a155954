// FetchUrl against the local service, addressed directly on 127.0.0.1.
#include "runtime/http/fetch_url.h"

#include <gtest/gtest.h>

#include "runtime/http/fetch_session.h"
#include "tests/runtime/http/fetch_test_support.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora;
using namespace snipora::test;

namespace {

// No proxy may stand between these tests and the service.
testing::Environment* const direct = testing::AddGlobalTestEnvironment(new ProxySetting(""));

class FetchUrlTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(service.port(), 0); }

  std::string Host() const { return "127.0.0.1:" + std::to_string(service.port()); }
  Bytes Fetch(const std::string& path) { return FetchUrl(service.Address(path).c_str()); }

  LocalService service;
};

constexpr char kCreate[] =
    "/create.php?source=indexpage&url=http%3A%2F%2Fexample.com%2Fa%3Fb%3D1&submit=Make+TinyURL%21&alias=";

TEST_F(FetchUrlTest, RequestGoesOutAsDesigned) {
  const std::string page = AsString(Fetch(kCreate));
  const auto start = page.find("</b><br><small>[<a href=\"http://snip.invalid/");
  ASSERT_NE(start, std::string::npos) << page;
  EXPECT_NE(page.find("\" target=\"_blank\">Open in new window</a>]</small></blockquote>", start), std::string::npos);
  EXPECT_EQ(service.requests(), std::vector<std::string>({ExpectedHead(kCreate, Host())}));
}

TEST_F(FetchUrlTest, EveryFetchSendsTheAgent) {
  Fetch("/one");
  Fetch("/two");
  EXPECT_EQ(service.requests(),
            std::vector<std::string>({ExpectedHead("/one", Host()), ExpectedHead("/two", Host())}));
}

TEST_F(FetchUrlTest, EmptyUrlGivesNothing) {
  EXPECT_TRUE(FetchUrl("").empty());
  EXPECT_TRUE(FetchUrl(nullptr).empty());
}

TEST_F(FetchUrlTest, AddressesThatCannotBeSplitReachNobody) {
  EXPECT_TRUE(FetchUrl(Host().c_str()).empty());
  EXPECT_TRUE(FetchUrl((Host() + "/create.php").c_str()).empty());
  EXPECT_TRUE(Fetch("/" + std::string(2100, 'p')).empty());
  EXPECT_TRUE(Fetch("/create.php?url=" + std::string(2100, 'q')).empty());
  EXPECT_TRUE(FetchUrl(("http://" + std::string(300, 'h') + "/a").c_str()).empty());
  EXPECT_TRUE(service.requests().empty());
}

TEST_F(FetchUrlTest, PathAndQueryJustWithinTheirBufferGoOut) {
  // 2048 characters with the terminating zero
  const std::string target = "/create.php?url=" + std::string(2047 - 16, 'q');
  service.SetBehaviour({.body = "ok"});
  EXPECT_EQ(AsString(Fetch(target)), "ok");
  EXPECT_TRUE(Fetch(target + "q").empty());
  EXPECT_EQ(service.requests(), std::vector<std::string>({ExpectedHead(target, Host())}));
}

TEST_F(FetchUrlTest, FragmentIsNotRequested) {
  service.SetBehaviour({.body = "ok"});
  EXPECT_EQ(AsString(Fetch("/a#b")), "ok");
  EXPECT_EQ(AsString(Fetch("/c?d=1#e#f")), "ok");
  EXPECT_EQ(service.requests(), std::vector<std::string>({ExpectedHead("/a", Host()), ExpectedHead("/c?d=1", Host())}));
}

TEST_F(FetchUrlTest, HttpsSpeaksTlsToTheGivenPort) {
  // The service is plain HTTP: what arrives is a TLS handshake record, which it
  // cannot answer, so nothing comes back.
  EXPECT_TRUE(FetchUrl(("https://" + Host() + "/s").c_str()).empty());
  const auto requests = service.requests();
  ASSERT_FALSE(requests.empty());
  ASSERT_GE(requests[0].size(), 3u);
  EXPECT_EQ(requests[0][0], '\x16');  // handshake
  EXPECT_EQ(requests[0][1], '\x03');  // protocol major version
}

TEST_F(FetchUrlTest, ErrorPagesComeBackLikeAnyBody) {
  service.QueueBehaviour({.status = 404, .body = "<html>no such page</html>"});
  EXPECT_EQ(AsString(Fetch("/gone")), "<html>no such page</html>");
  service.QueueBehaviour({.status = 500, .body = "<html>broken</html>"});
  EXPECT_EQ(AsString(Fetch("/broken")), "<html>broken</html>");
  // the service's own 404 for an unknown short code
  EXPECT_NE(AsString(Fetch("/Zz9")).find("404 Not Found"), std::string::npos);
}

TEST_F(FetchUrlTest, BodyBytesComeBackExactly) {
  service.QueueBehaviour({.nulBytes = true});
  const std::string page = AsString(Fetch(kCreate));
  const auto nul = page.find(std::string(3, '\0'));
  ASSERT_NE(nul, std::string::npos);
  EXPECT_LT(nul, page.find("</b><br><small>[<a href=\"http://"));
  EXPECT_NE(page.find("</html>"), std::string::npos);  // nothing is lost behind the NUL bytes

  service.QueueBehaviour({.largeBody = 70000, .omitContentLength = true});
  EXPECT_TRUE(AsString(Fetch("/large")) == PatternBytes(70000));
}

TEST_F(FetchUrlTest, MisstatedLengthGivesWhatTheServerSent) {
  service.QueueBehaviour({.largeBody = 300, .statedContentLength = 1000});
  EXPECT_TRUE(AsString(Fetch("/a")) == PatternBytes(300));
  service.QueueBehaviour({.largeBody = 300, .statedContentLength = 100});
  EXPECT_TRUE(AsString(Fetch("/b")) == PatternBytes(100));
}

TEST_F(FetchUrlTest, RedirectionIsFollowedWithTheSameRequest) {
  service.QueueBehaviour({.redirectTo = "/there"});
  service.QueueBehaviour({.body = "arrived"});
  EXPECT_EQ(AsString(Fetch("/here")), "arrived");
  EXPECT_EQ(service.requests(), std::vector<std::string>({ExpectedHead("/here", Host()), ExpectedHead("/there", Host())}));
}

TEST_F(FetchUrlTest, LocationsResolveAgainstTheAddressThatAnswered) {
  const struct {
    const char* from;
    std::string location;
    const char* arrives;
  } cases[] = {
      {"/a/b/here?q=1", "there", "/a/b/there"},
      {"/a/b/here", "../up?x=2#frag", "/a/up?x=2"},
      {"/a/here", "/root", "/root"},
      {"/a/here", service.Address("/absolute"), "/absolute"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    service.ClearRequests();
    service.QueueBehaviour({.redirectTo = c.location});
    service.QueueBehaviour({.body = "arrived"});
    EXPECT_EQ(AsString(Fetch(c.from)), "arrived");
    EXPECT_EQ(service.requests(), std::vector<std::string>({ExpectedHead(c.from, Host()), ExpectedHead(c.arrives, Host())}));
  }
}

TEST_F(FetchUrlTest, TenRedirectionsInARowAreFollowedAndNoMore) {
  for (int i = 0; i < kMostRedirects; ++i) service.QueueBehaviour({.redirectTo = "/next"});
  service.QueueBehaviour({.body = "at the end of the chain"});
  EXPECT_EQ(AsString(Fetch("/chain")), "at the end of the chain");
  EXPECT_EQ(service.requests().size(), std::size_t(kMostRedirects + 1));

  // a service that redirects every request to itself: the fetch fails
  service.ClearRequests();
  service.SetBehaviour({.redirectTo = "/loop"});
  EXPECT_TRUE(Fetch("/loop").empty());
  EXPECT_EQ(service.requests().size(), std::size_t(kMostRedirects + 1));
  service.SetBehaviour({.body = "next"});
  EXPECT_EQ(AsString(Fetch("/next")), "next");  // the session is still good
}

TEST_F(FetchUrlTest, RedirectionsThatCannotBeFollowedFail) {
  for (const char* location : {"ftp://127.0.0.1/file", "http://", "mailto:someone@snipora.invalid"}) {
    SCOPED_TRACE(location);
    service.ClearRequests();
    service.QueueBehaviour({.redirectTo = location});
    EXPECT_TRUE(Fetch("/elsewhere").empty());
    EXPECT_EQ(service.requests().size(), 1u);
  }
  // without a Location a 302 is a page like any other
  service.QueueBehaviour({.status = 302, .body = "<html>nowhere to go</html>"});
  EXPECT_EQ(AsString(Fetch("/stay")), "<html>nowhere to go</html>");
}

TEST_F(FetchUrlTest, FailuresGiveWhatWasReceived) {
  service.QueueBehaviour({.refuse = true});
  EXPECT_TRUE(Fetch("/refused").empty());
  service.QueueBehaviour({.refuse = true, .stallMs = 300});
  EXPECT_TRUE(Fetch("/refused-late").empty());
  service.QueueBehaviour({.largeBody = 50000, .resetAfter = 12345});
  EXPECT_TRUE(AsString(Fetch("/reset")) == PatternBytes(12345));
  service.QueueBehaviour({.largeBody = 50000, .omitContentLength = true, .resetAfter = 12345});
  EXPECT_TRUE(AsString(Fetch("/reset-unstated")) == PatternBytes(12345));
  service.QueueBehaviour({.largeBody = 50000, .omitContentLength = true, .resetAfter = 0});
  EXPECT_TRUE(Fetch("/reset-at-once").empty());
  service.QueueBehaviour({.stallMs = 300, .body = "late"});
  EXPECT_EQ(AsString(Fetch("/stalled")), "late");
  EXPECT_EQ(service.requests().size(), 6u);
}

TEST(FetchUrl, NobodyListening) {
  std::string address;
  {
    LocalService gone;
    ASSERT_NE(gone.port(), 0);
    address = gone.Address("/a");
  }
  EXPECT_TRUE(FetchUrl(address.c_str()).empty());
}

TEST_F(FetchUrlTest, BodyStopsAtSixteenMebibytes) {
  service.QueueBehaviour({.largeBody = 20 << 20});
  const Bytes body = Fetch("/huge");
  ASSERT_EQ(body.size(), 16 << 20);
  EXPECT_TRUE(AsString(body) == PatternBytes(16 << 20));
  service.QueueBehaviour({.largeBody = 20 << 20, .omitContentLength = true});
  EXPECT_EQ(Fetch("/huge-unstated").size(), 16 << 20);
  service.SetBehaviour({.body = "next"});
  EXPECT_EQ(AsString(Fetch("/next")), "next");  // the session is still good
}

}  // namespace
