// FetchUrl with the local service as the process's proxy (http_proxy), the
// way the program's fixed hosts reach it in tests and in the run command.
#include "runtime/http/fetch_url.h"

#include <gtest/gtest.h>

#include <memory>

#include "runtime/picture/decode_picture.h"
#include "tests/runtime/http/fetch_test_support.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/local_service/service_answers.h"

using namespace snipora;
using namespace snipora::test;

namespace {

std::unique_ptr<LocalService> service;

// One service for the whole process: the platform reads the proxy setting
// once, at the first fetch.
class ServiceAsProxy : public testing::Environment {
 public:
  void SetUp() override {
    service = std::make_unique<LocalService>();
    ASSERT_NE(service->port(), 0);
    ProxySetting(service->origin()).SetUp();
  }
  void TearDown() override { service.reset(); }
};
testing::Environment* const proxy = testing::AddGlobalTestEnvironment(new ServiceAsProxy);

class FetchThroughProxy : public testing::Test {
 protected:
  void SetUp() override {
    service->ClearRequests();
    service->SetBehaviour({});
  }
  std::vector<std::string> RequestLines() const {
    std::vector<std::string> lines;
    for (const std::string& head : service->requests()) lines.push_back(head.substr(0, head.find("\r\n")));
    return lines;
  }
};

constexpr char kLanding[] = "http://example.invalid/landing?from=snip&x=%20y";
constexpr char kCreate[] =
    "/create.php?source=indexpage&url=http%3A%2F%2Fexample.invalid%2Flanding%3Ffrom%3Dsnip%26x%3D%2520y"
    "&submit=Make+TinyURL%21&alias=";
TEST_F(FetchThroughProxy, ServiceHostIsAskedInAbsoluteForm) {
  const std::string page = AsString(FetchUrl((std::string("http://snip.invalid") + kCreate).c_str()));
  const std::string shortAddress = ShortAddressIn(page);
  ASSERT_TRUE(shortAddress.starts_with("snip.invalid/")) << page;
  EXPECT_EQ(service->AddressOf(shortAddress.substr(13)), std::optional<std::string>(kLanding));
  EXPECT_EQ(service->requests(),
            std::vector<std::string>({ExpectedHead(std::string("http://snip.invalid:80") + kCreate, "snip.invalid")}));

  // the same address again: the same short address
  EXPECT_EQ(ShortAddressIn(AsString(FetchUrl((std::string("http://snip.invalid") + kCreate).c_str()))), shortAddress);
}

TEST_F(FetchThroughProxy, ShortAddressLeadsToTheLongOne) {
  const std::string shortAddress =
      ShortAddressIn(AsString(FetchUrl((std::string("http://snip.invalid") + kCreate).c_str())));
  ASSERT_FALSE(shortAddress.empty());
  service->ClearRequests();
  // the redirection is followed through the proxy too; the service answers
  // for example.invalid as well, with its page for an unknown path
  const std::string page = AsString(FetchUrl(("http://" + shortAddress).c_str()));
  EXPECT_NE(page.find("404 Not Found"), std::string::npos);
  const std::string code = shortAddress.substr(shortAddress.find('/'));
  EXPECT_EQ(RequestLines(), std::vector<std::string>({"GET http://snip.invalid:80" + code + " HTTP/1.0",
                                                     "GET http://example.invalid:80/landing?from=snip&x=%20y HTTP/1.0"}));
}

TEST_F(FetchThroughProxy, StatusPictureDecodes) {
  const Bytes image = FetchUrl("http://status.snipora.invalid/online.gif?id=10001");
  EXPECT_EQ(RequestLines(),
            std::vector<std::string>({"GET http://status.snipora.invalid:80/online.gif?id=10001 HTTP/1.0"}));
  const auto picture = DecodePicture(image);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->width(), 16);
  EXPECT_EQ(picture->height(), 16);
  EXPECT_EQ(picture->pixel(0, 0), Argb(255, 255, 255, 255));
  EXPECT_EQ(picture->pixel(8, 8), Argb(255, 0x2E, 0xB8, 0x4A));
}

TEST_F(FetchThroughProxy, PortOfTheAddressIsKept) {
  service->SetBehaviour({.body = "ok"});
  EXPECT_EQ(AsString(FetchUrl("http://snip.invalid:8080/a#b")), "ok");
  EXPECT_EQ(RequestLines(), std::vector<std::string>({"GET http://snip.invalid:8080/a HTTP/1.0"}));
}

TEST_F(FetchThroughProxy, HttpsAsksTheProxyForATunnelToItsPort) {
  // The service does not tunnel: its refusal page is what comes back.
  const std::string page = AsString(FetchUrl("https://snip.invalid/create.php"));
  EXPECT_NE(page.find("400 Bad Request"), std::string::npos);
  FetchUrl("https://snip.invalid:8443/create.php");
  EXPECT_EQ(RequestLines(), std::vector<std::string>({"CONNECT snip.invalid:443 HTTP/1.1",
                                                     "CONNECT snip.invalid:8443 HTTP/1.1"}));
}

}  // namespace
