// Signing in through an OpenID Connect provider, against a small provider
// this test runs on loopback (libmicrohttpd) that signs what the test tells
// it to, rightly or wrongly: a good token makes a session (an admin by the
// groups claim), and each fault of the token, the code or the state is
// refused with its reason and makes none.
#include <cjose/header.h>
#include <cjose/jwk.h>
#include <cjose/jws.h>
#include <gtest/gtest.h>
#include <microhttpd.h>

#include <netinet/in.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "service/app/keys.h"
#include "service/core/request.h"
#include "service/program/service.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using nlohmann::json;
using test::Response;

std::string Base64Url(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : bytes) {
    bits = (bits << 8) | static_cast<unsigned char>(c);
    count += 8;
    while (count >= 6) out += kAlphabet[(bits >> (count -= 6)) & 63];
  }
  if (count > 0) out += kAlphabet[(bits << (6 - count)) & 63];
  return out;
}

struct KeyRelease {
  void operator()(cjose_jwk_t* key) const { cjose_jwk_release(key); }
};
using Key = std::unique_ptr<cjose_jwk_t, KeyRelease>;

Key RsaKey(const char* kid) {
  static const uint8_t kExponent[] = {1, 0, 1};
  Key key(cjose_jwk_create_RSA_random(2048, kExponent, sizeof kExponent, nullptr));
  cjose_jwk_set_kid(key.get(), kid, std::strlen(kid), nullptr);
  return key;
}

// `claims` signed by `key` with `alg` in a compact JWS.
std::string Sign(const cjose_jwk_t* key, const char* alg, const json& claims, const char* kid) {
  cjose_header_t* header = cjose_header_new(nullptr);
  cjose_header_set(header, CJOSE_HDR_ALG, alg, nullptr);
  cjose_header_set(header, CJOSE_HDR_KID, kid, nullptr);
  const std::string payload = claims.dump();
  cjose_jws_t* jws =
      cjose_jws_sign(key, header, reinterpret_cast<const uint8_t*>(payload.data()), payload.size(), nullptr);
  cjose_header_release(header);
  if (!jws) return "";
  const char* compact = nullptr;
  cjose_jws_export(jws, &compact, nullptr);
  std::string out = compact ? compact : "";
  cjose_jws_release(jws);
  return out;
}

// The provider: its discovery document, its keys, and a token endpoint that
// answers each code once with the ID token set for it, after checking the
// client's secret and the PKCE verifier against the challenge it was given.
class Provider {
 public:
  Provider() {
    daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, 0, nullptr, nullptr, &Answer,
                               this, MHD_OPTION_SOCK_ADDR, Loopback(), MHD_OPTION_END);
    port_ = daemon_ ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port : 0;
  }
  ~Provider() {
    if (daemon_) MHD_stop_daemon(daemon_);
  }
  std::string issuer() const { return "http://127.0.0.1:" + std::to_string(port_); }
  void SetKeys(const std::string& jwks) {
    std::lock_guard lock(mutex_);
    jwks_ = jwks;
  }
  // The token the code is answered with, and the challenge its verifier must meet.
  void Issue(const std::string& code, const std::string& idToken, const std::string& challenge) {
    std::lock_guard lock(mutex_);
    tokens_[code] = {idToken, challenge};
  }

 private:
  struct Issued {
    std::string idToken, challenge;
  };
  static const sockaddr* Loopback() {
    static sockaddr_in address = [] {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      return a;
    }();
    return reinterpret_cast<const sockaddr*>(&address);
  }
  static MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body) {
    MHD_Response* response = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                              MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, "Content-Type", "application/json");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
  }
  static MHD_Result Answer(void* self, MHD_Connection* connection, const char* url, const char* method, const char*,
                           const char* upload, size_t* uploadSize, void** state) {
    auto& provider = *static_cast<Provider*>(self);
    if (!*state) {
      *state = new std::string;
      return MHD_YES;
    }
    std::unique_ptr<std::string> body(static_cast<std::string*>(*state));
    if (*uploadSize) {
      body->append(upload, *uploadSize);
      *uploadSize = 0;
      body.release();
      return MHD_YES;
    }
    *state = nullptr;
    const std::string path = url;
    if (path == "/.well-known/openid-configuration")
      return Send(connection, 200,
                  json{{"issuer", provider.issuer()},
                       {"authorization_endpoint", provider.issuer() + "/auth"},
                       {"token_endpoint", provider.issuer() + "/token"},
                       {"jwks_uri", provider.issuer() + "/jwks"}}
                      .dump());
    std::lock_guard lock(provider.mutex_);
    if (path == "/jwks") return Send(connection, 200, provider.jwks_);
    if (path != "/token" || std::string_view(method) != "POST") return Send(connection, 404, "{}");
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const bool client = user && password && std::string_view(user) == "snipora" &&
                        std::string_view(password) == "the-secret";
    std::free(user);
    std::free(password);
    if (!client) return Send(connection, 401, R"({"error":"invalid_client"})");
    const std::vector<Field> form = ParseForm(*body).value_or(std::vector<Field>{});
    const std::string* code = FindField(form, "code");
    const std::string* verifier = FindField(form, "code_verifier");
    const auto issued = code ? provider.tokens_.find(*code) : provider.tokens_.end();
    // a code answers once, and only to the verifier of its challenge
    if (issued == provider.tokens_.end() || !verifier ||
        Base64Url(KeyDigest(*verifier)) != issued->second.challenge)
      return Send(connection, 400, R"({"error":"invalid_grant"})");
    const std::string token = issued->second.idToken;
    provider.tokens_.erase(issued);
    return Send(connection, 200, json{{"access_token", "x"}, {"token_type", "Bearer"}, {"id_token", token}}.dump());
  }

  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::string jwks_ = R"({"keys":[]})";
  std::map<std::string, Issued> tokens_;
};

// A value of the query of an address.
std::string QueryOf(const std::string& location, const std::string& name) {
  const std::size_t query = location.find('?');
  const std::vector<Field> fields =
      ParseForm(query == std::string::npos ? "" : location.substr(query + 1)).value_or(std::vector<Field>{});
  const std::string* value = FindField(fields, name);
  return value ? *value : "";
}

class OidcSignIn : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(provider_.issuer(), "http://127.0.0.1:0");
    json keys = json::parse(cjose_jwk_to_json(signer_.get(), false, nullptr));
    provider_.SetKeys(json{{"keys", {keys}}}.dump());
    std::ofstream(dir_.File("secret")) << "the-secret\n";
    Settings settings = test::TestSettings(dir_);
    settings.oidcIssuer = provider_.issuer();
    settings.oidcClientId = "snipora";
    settings.oidcClientSecretFile = dir_.File("secret");
    settings.oidcAdminGroup = "operators";
    settings.oidcCreatorGroup = "staff";
    service_ = std::make_unique<Service>(settings, nullptr, nullptr);
  }

  // The claims of a good token for the sign-in `location` started.
  json Claims(const std::string& location, const char* subject = "emma") {
    const int64_t now = int64_t(std::time(nullptr));
    return {{"iss", provider_.issuer()}, {"aud", "snipora"},       {"sub", subject},
            {"exp", now + 300},          {"iat", now},             {"nonce", QueryOf(location, "nonce")},
            {"name", "Emma"},            {"groups", {"staff"}}};
  }
  struct Begun {
    std::string location, cookie;
  };
  Begun Begin() {
    const Response started = test::Get(service_->port(), "/console/sign-in/provider");
    EXPECT_EQ(started.status, 303);
    const std::string set = started.Header("Set-Cookie");
    return {started.Header("Location"), set.substr(0, set.find(';'))};
  }
  // The browser back at the callback with `code` and `state`.
  Response Back(const Begun& begun, const std::string& code, const std::string& state) {
    return test::Exchange(service_->port(), "GET /console/callback?code=" + code + "&state=" + state +
                                                " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\nCookie: " +
                                                begun.cookie + "\r\n\r\n");
  }
  // A sign-in whose token endpoint answers `idToken`: its answer.
  Response SignInWith(const std::function<std::string(const Begun&)>& idToken) {
    const Begun begun = Begin();
    provider_.Issue("code-1", idToken(begun), QueryOf(begun.location, "code_challenge"));
    return Back(begun, "code-1", QueryOf(begun.location, "state"));
  }

  Provider provider_;
  Key signer_ = RsaKey("k1");
  test::TempDir dir_;
  std::unique_ptr<Service> service_;
};

std::string SessionCookie(const Response& response) {
  const std::size_t at = response.head.find("Set-Cookie: snipora_session=");
  if (at == std::string::npos) return "";
  return response.head.substr(at + 12, response.head.find(';', at) - at - 12);
}

// Whether a refusal's page names `reason`.
bool Names(const Response& refusal, const std::string& reason) {
  return refusal.body.find(": " + reason + "</p>") != std::string::npos;
}

TEST_F(OidcSignIn, AGoodTokenMakesASessionAndTheGroupsClaimAnAdmin) {
  const Begun begun = Begin();
  EXPECT_EQ(QueryOf(begun.location, "code_challenge_method"), "S256");
  EXPECT_EQ(QueryOf(begun.location, "redirect_uri"), "http://snip.invalid/console/callback");
  EXPECT_EQ(QueryOf(begun.location, "client_id"), "snipora");
  json claims = Claims(begun.location);
  claims["groups"] = {"staff", "operators"};
  provider_.Issue("code-1", Sign(signer_.get(), "RS256", claims, "k1"), QueryOf(begun.location, "code_challenge"));
  const Response back = Back(begun, "code-1", QueryOf(begun.location, "state"));
  ASSERT_EQ(back.status, 303) << back.body;
  const std::string cookie = SessionCookie(back);
  ASSERT_FALSE(cookie.empty()) << back.head;
  const Response people = test::Exchange(service_->port(), "GET /console/admin/people HTTP/1.1\r\nHost: snip.invalid\r\n"
                                                           "Connection: close\r\nCookie: " + cookie + "\r\n\r\n");
  EXPECT_EQ(people.status, 200);
  EXPECT_NE(people.body.find("Emma"), std::string::npos);

  // an ES256 key of the provider's, fetched when a token names it
  Key ec(cjose_jwk_create_EC_random(CJOSE_JWK_EC_P_256, nullptr));
  cjose_jwk_set_kid(ec.get(), "k2", 2, nullptr);
  provider_.SetKeys(json{{"keys",
                          {json::parse(cjose_jwk_to_json(signer_.get(), false, nullptr)),
                           json::parse(cjose_jwk_to_json(ec.get(), false, nullptr))}}}
                        .dump());
  const Response second = SignInWith([&](const Begun& b) { return Sign(ec.get(), "ES256", Claims(b.location, "finn"), "k2"); });
  EXPECT_EQ(second.status, 303) << second.body;
  // another new key at once is not fetched: tokens naming made-up keys make no stream of fetches
  Key later(cjose_jwk_create_EC_random(CJOSE_JWK_EC_P_256, nullptr));
  cjose_jwk_set_kid(later.get(), "k3", 2, nullptr);
  provider_.SetKeys(json{{"keys", {json::parse(cjose_jwk_to_json(later.get(), false, nullptr))}}}.dump());
  const Response third =
      SignInWith([&](const Begun& b) { return Sign(later.get(), "ES256", Claims(b.location, "hal"), "k3"); });
  EXPECT_EQ(third.status, 403);
  EXPECT_TRUE(Names(third, "signature")) << third.body;
  // outside the creator group, no sign-in
  const Response outsider = SignInWith([&](const Begun& b) {
    json other = Claims(b.location, "gus");
    other["groups"] = {"visitors"};
    return Sign(signer_.get(), "RS256", other, "k1");
  });
  EXPECT_EQ(outsider.status, 403);
  EXPECT_TRUE(Names(outsider, "not-allowed")) << outsider.body;
}

TEST_F(OidcSignIn, EachFaultOfTheTokenCodeOrStateIsRefusedWithItsReason) {
  const Key stranger = RsaKey("k1");  // the provider's kid, another's key
  const Key hmac(cjose_jwk_create_oct_spec(reinterpret_cast<const uint8_t*>("the-secret-the-secret-the-secret"), 32,
                                           nullptr));
  struct Case {
    const char* what;
    const char* reason;
    std::function<std::string(const Begun&)> token;
  };
  const auto with = [&](const char* field, json value) {
    return [this, field, value](const Begun& b) {
      json claims = Claims(b.location);
      claims[field] = value;
      return Sign(signer_.get(), "RS256", claims, "k1");
    };
  };
  const int64_t now = int64_t(std::time(nullptr));
  const Case cases[] = {
      {"a wrong signature", "signature",
       [&](const Begun& b) { return Sign(stranger.get(), "RS256", Claims(b.location), "k1"); }},
      {"a wrong aud", "audience", with("aud", "another-client")},
      {"an expired token", "expired", with("exp", now - 600)},
      {"a wrong nonce", "nonce", with("nonce", "not-the-nonce")},
      {"another issuer", "issuer", with("iss", "http://evil.example")},
      {"issued in the future", "issued-later", with("iat", now + 3600)},
      {"HMAC with the client's secret", "algorithm",
       [&](const Begun& b) { return Sign(hmac.get(), "HS256", Claims(b.location), "k1"); }},
      {"alg none", "algorithm",
       [&](const Begun& b) {
         return Base64Url(R"({"alg":"none","kid":"k1"})") + "." + Base64Url(Claims(b.location).dump()) + ".";
       }},
  };
  for (const Case& one : cases) {
    const Response answer = SignInWith(one.token);
    EXPECT_EQ(answer.status, 403) << one.what;
    EXPECT_TRUE(Names(answer, one.reason)) << one.what << ": " << answer.body;
    EXPECT_EQ(SessionCookie(answer), "") << one.what;
  }

  // a code answered once is refused the second time; a state not this browser's is refused before any code is used
  const Begun begun = Begin();
  provider_.Issue("code-2", Sign(signer_.get(), "RS256", Claims(begun.location), "k1"),
                  QueryOf(begun.location, "code_challenge"));
  const Response wrongState = Back(begun, "code-2", "not-the-state");
  EXPECT_EQ(wrongState.status, 403);
  EXPECT_TRUE(Names(wrongState, "state")) << wrongState.body;
  EXPECT_EQ(Back(begun, "code-2", QueryOf(begun.location, "state")).status, 303);
  const Response replayed = Back(begun, "code-2", QueryOf(begun.location, "state"));
  EXPECT_EQ(replayed.status, 403);
  EXPECT_TRUE(Names(replayed, "code")) << replayed.body;
  EXPECT_EQ(SessionCookie(replayed), "");
}

}  // namespace
}  // namespace snipora::service
