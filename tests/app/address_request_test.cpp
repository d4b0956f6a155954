// From what the user typed to the service's request, and from the service's
// page to the short address.
#include "app/address_request.h"

#include <gtest/gtest.h>

#include <string>

#include "app/links.h"
#include "app/service_config.h"
#include "runtime/http/fetch_url.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/local_service/service_answers.h"

using namespace snipora;
using namespace snipora::app;

namespace {

const std::string kPrefix = std::string("http://") + kServiceHost + "/create.php?source=indexpage&url=http%3A%2F%2F";
const std::string kSuffix = "&submit=Make+TinyURL%21&alias=";
const std::string kStart = "</b><br><small>[<a href=\"http://";
const std::string kEnd = "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";

std::string Request(const char* typed) { return ShorteningRequest(kServiceHost, typed).c_str(); }
std::string Cut(const std::string& page) { return CutShortAddress(page.c_str()).c_str(); }

TEST(ShorteningRequest, PlainAddressIsThePrefixAddressAndSuffix) {
  EXPECT_EQ(Request("example.com"), kPrefix + "example.com" + kSuffix);
  EXPECT_EQ(Request("a-b.c_d~e"), kPrefix + "a-b.c_d~e" + kSuffix);
}

TEST(ShorteningRequest, EverythingElseIsEscaped) {
  EXPECT_EQ(Request("x.cn/a?b=1&c=2"), kPrefix + "x.cn%2Fa%3Fb%3D1%26c%3D2" + kSuffix);
  EXPECT_EQ(Request("x.cn/#top"), kPrefix + "x.cn%2F%23top" + kSuffix);
  EXPECT_EQ(Request("x.cn/100%"), kPrefix + "x.cn%2F100%25" + kSuffix);
  EXPECT_EQ(Request("x.cn/a+b c"), kPrefix + "x.cn%2Fa%2Bb%20c" + kSuffix);
  // GBK in, UTF-8 out: 缩 is U+7F29, E7 BC A9 in UTF-8
  EXPECT_EQ(Request("x.cn/缩"), kPrefix + "x.cn%2F%E7%BC%A9" + kSuffix);
}

TEST(ShorteningRequest, TypedSchemeIsKept) {
  EXPECT_EQ(Request("http://x.cn"), kPrefix + "x.cn" + kSuffix);
  EXPECT_EQ(Request("HTTP://x.cn"), std::string("http://") + kServiceHost +
                                        "/create.php?source=indexpage&url=HTTP%3A%2F%2Fx.cn" + kSuffix);
  EXPECT_EQ(Request("https://x.cn"), std::string("http://") + kServiceHost +
                                         "/create.php?source=indexpage&url=https%3A%2F%2Fx.cn" + kSuffix);
  EXPECT_EQ(Request("httpx.cn"), kPrefix + "httpx.cn" + kSuffix);  // not a scheme
  EXPECT_EQ(Request("ftp://x.cn"), kPrefix + "ftp%3A%2F%2Fx.cn" + kSuffix);
}

TEST(CutShortAddress, BetweenTheMarkers) {
  EXPECT_EQ(Cut("<html>" + kStart + "snip.invalid/Ab3" + kEnd + "</html>"), "snip.invalid/Ab3");
  EXPECT_EQ(Cut(kStart + "s.cn/x" + kEnd), "s.cn/x");  // markers at the page's ends
}

TEST(CutShortAddress, MissingOrMisplacedMarkersGiveNothing) {
  EXPECT_EQ(Cut(""), "");
  EXPECT_EQ(Cut(std::string(40, '.') + "s.cn/x" + kEnd), "");        // no start marker
  EXPECT_EQ(Cut(kStart + "s.cn/x"), "");                             // no end marker
  EXPECT_EQ(Cut(kEnd + "x" + kStart + "s.cn/x"), "");                // reversed
  EXPECT_EQ(Cut(kStart + kEnd), "");                                 // nothing between
  EXPECT_EQ(Cut(kEnd + kStart + "s.cn/y" + kEnd), "s.cn/y");          // an earlier end marker is not the one
}

TEST(CutShortAddress, PageEndsAtTheFirstZeroByte) {
  const std::string page = kStart + "s.cn/x" + std::string(1, '\0') + kEnd;
  EXPECT_EQ(std::string(CutShortAddress(page.c_str()).c_str()), "");
}

// The status picture's address keeps its one space; fetched directly from the
// service, the platform sends the space escaped.
TEST(AuthorLinks, StatusAddressReachesTheServiceWithItsSpace) {
  const std::string path = std::string("/pa?p=2:") + kImNumber + ":44 &r=0.46193257080439387";
  EXPECT_EQ(std::string(StatusImageAddress().c_str()), std::string("http://") + kImGatewayHost + path);
  test::LocalService service;
  const Bytes picture = FetchUrl(JoinText(service.origin().c_str(), path.c_str()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(picture.data()), std::size_t(picture.size())),
            test::StatusImage());
  const auto requests = service.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
            std::string("GET /pa?p=2:") + kImNumber + ":44%20&r=0.46193257080439387 HTTP/1.0");
}

}  // namespace
