// Webhooks from a running service to a receiver on loopback: every event
// signed with the secret, in order for each link, delivered after a SIGKILL
// right after its change, and a receiver that holds its answer back holding
// back no creation or redirect.
#include <gtest/gtest.h>
#include <nettle/base64.h>
#include <nettle/hmac.h>

#include <csignal>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/app/keys.h"
#include "service/core/json_body.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/postgres_server.h"
#include "service/tests/support/service_process.h"
#include "service/tests/support/webhook_receiver.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;

constexpr char kAdmin[] = "snp_hooks_admin_key_0123456789abcdef";
// "whsec_" and the base64 of these bytes, as a Standard Webhooks client keeps it
constexpr char kSecretBytes[] = "\x01\x02\x03 a secret \xff\xfe";
constexpr char kSecretFile[] = "whsec_AQIDIGEgc2VjcmV0IP/+\n";

bool Within(std::chrono::milliseconds limit, const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// Computed here from Standard Webhooks' own words, not by the service's code.
std::string Expected(const test::Received& received) {
  hmac_sha256_ctx context;
  const std::string key(kSecretBytes, sizeof kSecretBytes - 1);
  hmac_sha256_set_key(&context, key.size(), reinterpret_cast<const uint8_t*>(key.data()));
  const std::string signed_ = received.id + "." + received.timestamp + "." + received.body;
  hmac_sha256_update(&context, signed_.size(), reinterpret_cast<const uint8_t*>(signed_.data()));
  uint8_t digest[SHA256_DIGEST_SIZE];
  hmac_sha256_digest(&context, sizeof digest, digest);
  char encoded[BASE64_ENCODE_RAW_LENGTH(SHA256_DIGEST_SIZE) + 1] = "";
  base64_encode_raw(encoded, sizeof digest, digest);
  return "v1," + std::string(encoded);
}

Settings HookSettings(const test::TempDir& dir, const std::string& url) {
  Settings settings = test::TestSettings(dir);
  settings.webhooks = url;
  settings.webhookSecretFile = (dir.path() / "secret").string();
  std::ofstream(settings.webhookSecretFile) << kSecretFile;
  return settings;
}

std::string CodeOf(const test::Response& response) {
  const std::optional<Json> json = ParseJsonBody(response.body);
  return json && json->contains("code") ? (*json)["code"].get<std::string>() : "";
}

std::string Create(uint16_t port, const std::string& url) {
  return CodeOf(test::Send(port, "POST", "/api/v1/links", "", JsonText(Json{{"url", url}})));
}

TEST(Webhooks, EveryEventIsSignedWithTheSecretAndALinksEventsArriveInOrder) {
  test::TempDir dir;
  test::WebhookReceiver receiver;
  const Settings settings = HookSettings(dir, receiver.Url());
  OpenSqliteStore(settings.database)->AddKey({"root", "admin", KeyDigest(kAdmin), 1});
  Service service(settings, nullptr, nullptr);
  const uint16_t port = service.port();
  const std::string first = Create(port, "http://first.example/");
  const std::string second = Create(port, "http://second.example/");
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(test::Send(port, "PATCH", "/api/v1/links/" + first, kAdmin, R"({"disabled":true})").status, 200);
  ASSERT_EQ(test::Send(port, "PATCH", "/api/v1/links/" + first, kAdmin, R"({"title":"t"})").status, 200);
  ASSERT_EQ(test::Send(port, "DELETE", "/api/v1/links/" + first, kAdmin).status, 200);
  ASSERT_TRUE(Within(10s, [&] { return receiver.received().size() >= 5; }));
  std::this_thread::sleep_for(300ms);  // nothing more comes
  const std::vector<test::Received> got = receiver.received();
  ASSERT_EQ(got.size(), 5u);
  std::map<std::string, std::vector<std::string>> byCode;
  std::set<std::string> ids;
  for (const test::Received& event : got) {
    EXPECT_EQ(event.signature, Expected(event)) << event.body;
    ids.insert(event.id);
    const std::optional<Json> body = ParseJsonBody(event.body);
    ASSERT_TRUE(body && body->contains("data")) << event.body;
    const Json& data = (*body)["data"];
    byCode[data["code"].get<std::string>()].push_back((*body)["type"].get<std::string>() + " " +
                                                      data["actor"].get<std::string>());
    EXPECT_EQ(data["short"].get<std::string>(), "http://" + settings.publicHost + "/" + data["code"].get<std::string>());
  }
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_EQ(byCode[first], (std::vector<std::string>{"link.created ", "link.disabled root", "link.changed root",
                                                     "link.deleted root"}));
  EXPECT_EQ(byCode[second], std::vector<std::string>{"link.created "});
  // a signature over another body is not this one: the check above can fail
  test::Received forged = got[0];
  forged.body += " ";
  EXPECT_NE(forged.signature, Expected(forged));
}

TEST(Webhooks, AReceiverThatHoldsItsAnswerHoldsBackNoCreationNorRedirect) {
  test::TempDir dir;
  test::WebhookReceiver receiver;
  receiver.Hold(true);
  Service service(HookSettings(dir, receiver.Url()), nullptr, nullptr);
  const uint16_t port = service.port();
  const std::string code = Create(port, "http://held.example/");
  ASSERT_FALSE(code.empty());
  ASSERT_TRUE(Within(10s, [&] { return receiver.holding() == 1; }));
  // the delivery waits on the receiver now; requests go on regardless
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(Create(port, "http://more" + std::to_string(i) + ".example/").empty());
    EXPECT_EQ(test::Get(port, "/" + code).status, 301);
  }
  EXPECT_EQ(receiver.holding(), 1);
  receiver.Hold(false);
  ASSERT_TRUE(Within(20s, [&] { return receiver.received().size() >= 21; }));
}

TEST(Webhooks, AChangeJustBeforeASigkillIsDeliveredAfterTheRestartOnce) {
  test::TempDir dir;
  test::WebhookReceiver receiver;
  receiver.Refuse(true);  // nothing taken before the kill, whenever the delivery comes
  const std::string database = (dir.path() / "links.db").string();
  const std::string secret = (dir.path() / "secret").string();
  std::ofstream(secret) << kSecretFile;
  const std::vector<std::string> options = {"--webhook", receiver.Url(), "--webhook-secret-file", secret};
  std::string code;
  {
    test::ServiceProcess first(database, options);
    ASSERT_NE(first.port(), 0) << first.said();
    code = Create(first.port(), "http://killed.example/");
    ASSERT_FALSE(code.empty());
    first.Signal(SIGKILL);
  }
  receiver.Refuse(false);
  test::ServiceProcess second(database, options);
  ASSERT_NE(second.port(), 0) << second.said();
  const auto taken = [&] {
    int count = 0;
    for (const test::Received& event : receiver.received()) count += event.taken;
    return count;
  };
  // a claim the kill left leased runs out within 30 s
  ASSERT_TRUE(Within(45s, [&] { return taken() >= 1; }));
  std::this_thread::sleep_for(1500ms);  // a few looks at the outbox more: nothing sent again
  EXPECT_EQ(taken(), 1);
  std::set<std::string> ids;
  for (const test::Received& event : receiver.received()) {
    ids.insert(event.id);
    EXPECT_NE(event.body.find("\"" + code + "\""), std::string::npos);
  }
  EXPECT_EQ(ids.size(), 1u) << "every attempt carries the same webhook-id";
}

// Both instances look at one outbox: each event goes out once, by either.
TEST(Webhooks, TwoInstancesOnOnePostgresDeliverEachEventOnce) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  test::TempDir dirA, dirB;
  test::WebhookReceiver receiver;
  Settings a = HookSettings(dirA, receiver.Url());
  Settings b = HookSettings(dirB, receiver.Url());
  a.database = b.database = database;
  Service first(a, nullptr, nullptr);
  Service second(b, nullptr, nullptr);
  receiver.Hold(true);
  constexpr int kLinks = 40;
  for (int i = 0; i < kLinks; ++i)
    ASSERT_FALSE(Create(i % 2 ? first.port() : second.port(), "http://l" + std::to_string(i) + ".example/").empty());
  // each instance in the middle of a batch of its own at once: the claims overlap
  ASSERT_TRUE(Within(10s, [&] { return receiver.holding() == 2; }));
  receiver.Hold(false);
  ASSERT_TRUE(Within(20s, [&] { return receiver.received().size() >= std::size_t(kLinks); }));
  std::this_thread::sleep_for(1500ms);  // several looks at the outbox by each: nothing sent again
  const std::vector<test::Received> got = receiver.received();
  std::set<std::string> ids;
  for (const test::Received& event : got) ids.insert(event.id);
  EXPECT_EQ(got.size(), std::size_t(kLinks));
  EXPECT_EQ(ids.size(), std::size_t(kLinks));
  EXPECT_GT(first.metrics().webhooksDelivered.load(), 0u);
  EXPECT_GT(second.metrics().webhooksDelivered.load(), 0u);
}

}  // namespace
}  // namespace snipora::service
