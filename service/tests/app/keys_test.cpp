// API keys: made and checked, stored as digests only, required where the
// routes' roles say, and revoked at once on a running instance, from the
// command line too.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "service/app/keys.h"
#include "service/program/service.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Response;
using test::Send;

std::string Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {kHex[c >> 4], kHex[c & 15]};
  return out;
}

TEST(Keys, DigestsAndTheRingTellRightFromWrongAndRevoked) {
  EXPECT_EQ(Hex(KeyDigest("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string one = NewKeyText(), two = NewKeyText();
  EXPECT_NE(one, two);
  EXPECT_EQ(one.size(), 4u + 64u);
  KeyRing ring;
  ring.Replace({{"ops", "admin", KeyDigest(one), 1, std::nullopt},
                {"app", "creator", KeyDigest(two), 1, std::nullopt},
                {"old", "admin", KeyDigest("snp_old"), 1, 5},
                {"odd", "owner", KeyDigest("snp_odd"), 1, std::nullopt}});
  ASSERT_TRUE(ring.Check(one));
  EXPECT_EQ(ring.Check(one)->name, "ops");
  EXPECT_EQ(ring.Check(one)->role, Role::kAdmin);
  EXPECT_EQ(ring.Check(two)->role, Role::kCreator);
  EXPECT_FALSE(ring.Check("snp_old"));  // revoked
  EXPECT_FALSE(ring.Check("snp_odd"));  // a role this program does not know grants nothing
  EXPECT_FALSE(ring.Check(one.substr(0, one.size() - 1)));
  EXPECT_FALSE(ring.Check(""));
}

// With --open-creation off, a creation needs a key; a missing, wrong or
// revoked key gets the same 401; a creation remembers its key; a key
// revoked in the store is refused within a second, with no restart.
TEST(Keys, CreationsNeedAKeyWhenNotOpenAndARevokedOneIsRefusedAtOnce) {
  test::TempDir dir;
  Settings settings = test::TestSettings(dir);
  settings.openCreation = false;
  const std::string key = NewKeyText();
  {
    std::unique_ptr<Store> store = OpenSqliteStore(settings.database);
    ASSERT_TRUE(store->AddKey({"app", "creator", KeyDigest(key), 1}));
    EXPECT_FALSE(store->AddKey({"app", "admin", KeyDigest("snp_x"), 1}));  // the name is taken
  }
  auto owned = OpenSqliteStore(settings.database);
  Store& store = *owned;
  Service service(settings, OpenSqliteStore(settings.database), nullptr);
  const std::string body = R"({"url":"http://owned.example/"})";
  const Response anonymous = Send(service.port(), "POST", "/api/v1/links", "", body);
  const Response wrong = Send(service.port(), "POST", "/api/v1/links", "snp_" + std::string(64, '0'), body);
  EXPECT_EQ(anonymous.status, 401);
  EXPECT_EQ(wrong.status, 401);
  EXPECT_EQ(wrong.body, anonymous.body);
  EXPECT_EQ(wrong.Header("WWW-Authenticate"), "Bearer realm=\"snipora\"");
  // another scheme's credentials are no key: refused as a missing one
  const Response basic = test::Exchange(service.port(), "POST /api/v1/links HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n"
                                        "Authorization: Basic dXNlcjpwYXNz\r\nContent-Type: application/json\r\n"
                                        "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(basic.status, 401);
  EXPECT_EQ(basic.body, anonymous.body);
  EXPECT_EQ(test::Get(service.port(), test::CreateTarget("http://owned.example/")).status, 401);
  // the plain-text routes refuse in their own shapes
  const Response plain = test::Get(service.port(), "/api-create.php?url=http%3A%2F%2Fowned.example%2F");
  EXPECT_EQ(plain.status, 401);
  EXPECT_EQ(plain.body, "Error: A valid key is needed (Authorization: Bearer KEY).");
  EXPECT_EQ(test::Get(service.port(), test::CreateTarget("http://owned.example/") + "&format=json").body,
            R"({"errorcode":4,"errormessage":"A valid key is needed (Authorization: Bearer KEY)."})");
  const Response plainWithKey =
      Send(service.port(), "GET", "/api-create.php?url=http%3A%2F%2Fplain.example%2F", key);
  EXPECT_EQ(plainWithKey.status, 200);
  EXPECT_TRUE(plainWithKey.body.starts_with("http://")) << plainWithKey.body;
  const Response made = Send(service.port(), "POST", "/api/v1/links", key, body);
  ASSERT_EQ(made.status, 201) << made.body;
  const std::string code = made.body.substr(made.body.find("\"code\":\"") + 8, 7);
  EXPECT_EQ(store.FindCode(code)->owner, "app");
  EXPECT_EQ(test::Get(service.port(), "/" + code).status, 301);  // redirects need no key
  ASSERT_TRUE(store.RevokeKey("app", 2));
  EXPECT_FALSE(store.RevokeKey("app", 3));
  std::this_thread::sleep_for(1s);
  const Response revoked = Send(service.port(), "POST", "/api/v1/links", key, R"({"url":"http://later.example/"})");
  EXPECT_EQ(revoked.status, 401);
  EXPECT_EQ(revoked.body, anonymous.body);
}

// A proxy in front may add its own Authorization (Basic): where no key is
// needed the request is taken as one without a key; a Bearer key, even
// there, must be right.
TEST(Keys, AnotherSchemesCredentialsAreNoKeyAndAWrongBearerKeyIsStillRefused) {
  test::TempDir dir;
  Settings settings = test::TestSettings(dir);
  Service service(settings, nullptr, nullptr);
  const auto ask = [&](const std::string& method, const std::string& target, const std::string& authorization,
                       const std::string& body = "") {
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n";
    if (!authorization.empty()) request += "Authorization: " + authorization + "\r\n";
    if (!body.empty())
      request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    return test::Exchange(service.port(), request + "\r\n" + body);
  };
  const std::string basic = "Basic dXNlcjpwYXNz";
  const Response made = ask("POST", "/api/v1/links", basic, R"({"url":"http://proxied.example/"})");
  ASSERT_EQ(made.status, 201) << made.body;
  const std::string code = made.body.substr(made.body.find("\"code\":\"") + 8, 7);
  EXPECT_EQ(ask("GET", "/api-create.php?url=http%3A%2F%2Fplain.example%2F", basic).status, 200);
  EXPECT_EQ(ask("GET", "/api/v1/links/" + code, "Digest username=\"u\"").status, 200);
  // a route that needs a key refuses it as missing
  EXPECT_EQ(ask("GET", "/api/v1/links", basic).body, ask("GET", "/api/v1/links", "").body);
  EXPECT_EQ(ask("GET", "/api/v1/links", basic).status, 401);
  for (const std::string& wrong : {"Bearer snp_" + std::string(64, '0'), std::string("bearer nothing"),
                                  std::string("Bearer")}) {
    EXPECT_EQ(ask("POST", "/api/v1/links", wrong, R"({"url":"http://wrong.example/"})").status, 401) << wrong;
    EXPECT_EQ(ask("GET", "/api-create.php?url=http%3A%2F%2Fwrong.example%2F", wrong).status, 401) << wrong;
    EXPECT_EQ(ask("GET", "/api/v1/links/" + code, wrong).status, 401) << wrong;
  }
}

// The operator's commands, against the file a running instance uses: the
// key is printed once and is nowhere in the database or the instance's log.
TEST(Keys, TheCommandLineMakesListsAndRevokesKeysForARunningInstance) {
  test::TempDir dir;
  const std::string database = dir.File("links.db");
  test::ServiceProcess instance(database, {"--open-creation", "off"});
  ASSERT_NE(instance.port(), 0);
  std::string output;
  ASSERT_EQ(test::RunProgram({"key", "create", "--name", "ops", "--role", "admin", "--database", database}, &output),
            0)
      << output;
  const std::size_t at = output.find("snp_");
  ASSERT_NE(at, std::string::npos);
  const std::string key = output.substr(at, 68);
  EXPECT_EQ(test::RunProgram({"key", "create", "--name", "ops", "--database", database}, &output), 1);
  EXPECT_EQ(test::RunProgram({"key", "create", "--name", "bad name", "--database", database}, &output), 2);
  std::this_thread::sleep_for(1s);
  const Response made =
      Send(instance.port(), "POST", "/api/v1/links", key, R"({"url":"http://cli.example/"})");
  EXPECT_EQ(made.status, 201) << made.body;
  ASSERT_EQ(test::RunProgram({"key", "list", "--database", database}, &output), 0);
  EXPECT_NE(output.find("ops\tadmin\tcreated "), std::string::npos) << output;
  EXPECT_NE(output.find("\tvalid"), std::string::npos);
  ASSERT_EQ(test::RunProgram({"key", "revoke", "ops", "--database", database}, &output), 0) << output;
  EXPECT_EQ(test::RunProgram({"key", "revoke", "ops", "--database", database}, &output), 1);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Send(instance.port(), "POST", "/api/v1/links", key, R"({"url":"http://cli2.example/"})").status, 401);
  instance.WaitForLine("never said", 300ms);
  EXPECT_EQ(instance.said().find(key), std::string::npos);
  EXPECT_EQ(instance.said().find(key.substr(4)), std::string::npos);
  for (const char* file : {"links.db", "links.db-wal"}) {
    std::ifstream in(dir.File(file), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(bytes.find(key.substr(4)), std::string::npos) << file;
  }
}

}  // namespace
}  // namespace snipora::service
