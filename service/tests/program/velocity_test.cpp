// A burst of clicks on a young link flags it (and, with
// --velocity-quarantine on, puts it under review); the same burst on a link
// older than a day, or fewer clicks than the limit, does not.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "service/core/json_body.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;

std::string Made(uint16_t port, const std::string& url) {
  const std::optional<Json> json =
      ParseJsonBody(test::Send(port, "POST", "/api/v1/links", "", JsonText(Json{{"url", url}})).body);
  return json && json->contains("code") ? (*json)["code"].get<std::string>() : "";
}

void Click(uint16_t port, const std::string& code, int times) {
  for (int i = 0; i < times; ++i) test::Get(port, "/" + code);
}

TEST(Velocity, ABurstOfClicksOnANewLinkFlagsItAndQuarantinesItWhenAsked) {
  test::TempDir dir;
  Settings settings = test::TestSettings(dir);
  settings.velocityLimit = 20;
  settings.velocityQuarantine = true;
  settings.clickFlushMs = 50;
  const int64_t now = std::time(nullptr);
  const std::vector<NewLink> old = {{"OldLink", "http://old.example/", now - 2 * 86400}};
  OpenSqliteStore(settings.database)->InsertIfAbsent(old);
  Service service(settings, nullptr, nullptr);
  const uint16_t port = service.port();
  const std::string burst = Made(port, "http://burst.example/");
  const std::string calm = Made(port, "http://calm.example/");
  ASSERT_FALSE(burst.empty());
  // the burst spread over several flushes still counts as one minute's
  for (int i = 0; i < 3; ++i) {
    Click(port, burst, 8);
    std::this_thread::sleep_for(60ms);
  }
  Click(port, "OldLink", 30);
  Click(port, calm, 15);
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (test::Get(port, "/" + burst).status != 410 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(test::Get(port, "/" + burst).status, 410);
  std::this_thread::sleep_for(200ms);  // a few flushes more: nothing else is flagged
  EXPECT_EQ(service.metrics().velocityFlagged.load(), 1u);
  EXPECT_EQ(test::Get(port, "/OldLink").status, 301);
  EXPECT_EQ(test::Get(port, "/" + calm).status, 301);
}

}  // namespace
}  // namespace snipora::service
