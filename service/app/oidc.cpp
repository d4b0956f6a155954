#include "service/app/oidc.h"

#include <cjose/header.h>
#include <cjose/jwk.h>
#include <cjose/jws.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "service/app/keys.h"
#include "service/base/log.h"
#include "service/core/cookies.h"
#include "service/http/outgoing.h"

namespace snipora::service {

namespace {

using nlohmann::json;

// A provider's keys are fetched again for an unknown key at most this often.
constexpr auto kRefetchFloor = std::chrono::seconds(10);

// Clocks of the provider and this service may differ this much.
constexpr int64_t kClockSkewSeconds = 60;

struct JwkRelease {
  void operator()(cjose_jwk_t* jwk) const { cjose_jwk_release(jwk); }
};
struct JwsRelease {
  void operator()(cjose_jws_t* jws) const { cjose_jws_release(jws); }
};
using JwkHandle = std::unique_ptr<cjose_jwk_t, JwkRelease>;
using JwsHandle = std::unique_ptr<cjose_jws_t, JwsRelease>;

std::string Base64Url(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : bytes) {
    bits = (bits << 8) | static_cast<unsigned char>(c);
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += kAlphabet[(bits >> count) & 63];
    }
  }
  if (count > 0) out += kAlphabet[(bits << (6 - count)) & 63];
  return out;
}

// A random value for state, nonce and the PKCE verifier: 32 bytes as hex.
std::string RandomText() { return NewKeyText().substr(4); }

std::optional<json> JsonOf(const Fetched& fetched) {
  if (fetched.status != 200) return std::nullopt;
  json value = json::parse(fetched.body, nullptr, false);
  if (value.is_discarded() || !value.is_object()) return std::nullopt;
  return value;
}

std::string StringOf(const json& object, const char* name) {
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

std::optional<int64_t> NumberOf(const json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_number()) return std::nullopt;
  return found->get<int64_t>();
}

}  // namespace

struct OidcClient::Configuration {
  std::string issuer, authorization, token, jwks;
};

struct OidcClient::KeySet {
  std::map<std::string, std::shared_ptr<cjose_jwk_t>> byKid;
};

std::string_view OidcRefusalName(OidcRefusal refusal) {
  switch (refusal) {
    case OidcRefusal::kNone: return "none";
    case OidcRefusal::kState: return "state";
    case OidcRefusal::kProvider: return "provider";
    case OidcRefusal::kCode: return "code";
    case OidcRefusal::kMalformed: return "malformed";
    case OidcRefusal::kAlgorithm: return "algorithm";
    case OidcRefusal::kSignature: return "signature";
    case OidcRefusal::kIssuer: return "issuer";
    case OidcRefusal::kAudience: return "audience";
    case OidcRefusal::kExpired: return "expired";
    case OidcRefusal::kIssuedLater: return "issued-later";
    case OidcRefusal::kNonce: return "nonce";
    case OidcRefusal::kNoSubject: return "no-subject";
    case OidcRefusal::kNotAllowed: return "not-allowed";
  }
  return "unknown";
}

OidcClient::OidcClient(const Settings& settings) : settings_(settings) {
  if (settings.oidcClientId.empty()) throw std::runtime_error("--oidc-issuer needs --oidc-client-id");
  if (settings.oidcClientSecretFile.empty()) return;
  std::ifstream in(settings.oidcClientSecretFile);
  if (!in || !std::getline(in, secret_))
    throw std::runtime_error("--oidc-client-secret-file " + settings.oidcClientSecretFile + " cannot be read");
  while (!secret_.empty() && (secret_.back() == '\r' || secret_.back() == ' ')) secret_.pop_back();
}

OidcClient::~OidcClient() = default;

std::shared_ptr<const OidcClient::Configuration> OidcClient::Discovered() {
  {
    std::lock_guard lock(mutex_);
    if (configuration_) return configuration_;
  }
  std::string issuer = settings_.oidcIssuer;
  const std::string address =
      (issuer.ends_with('/') ? issuer.substr(0, issuer.size() - 1) : issuer) + "/.well-known/openid-configuration";
  const Fetched fetched = Fetch({address, {}, {}, {}});
  const std::optional<json> document = JsonOf(fetched);
  if (!document) {
    Log(LogLevel::kWarning, "the OpenID provider's configuration was not read from " + address + ": " +
                                (fetched.error.empty() ? "status " + std::to_string(fetched.status) : fetched.error));
    return nullptr;
  }
  auto configuration = std::make_shared<Configuration>(Configuration{StringOf(*document, "issuer"),
                                                                     StringOf(*document, "authorization_endpoint"),
                                                                     StringOf(*document, "token_endpoint"),
                                                                     StringOf(*document, "jwks_uri")});
  // a document that names another issuer is another provider's
  if (configuration->issuer != issuer || configuration->authorization.empty() || configuration->token.empty() ||
      configuration->jwks.empty()) {
    Log(LogLevel::kWarning, "the OpenID provider's configuration at " + address + " is not that of " + issuer);
    return nullptr;
  }
  std::lock_guard lock(mutex_);
  configuration_ = configuration;
  return configuration_;
}

std::shared_ptr<const OidcClient::KeySet> OidcClient::Keys(const Configuration& configuration, const std::string& kid) {
  {
    std::lock_guard lock(mutex_);
    if (keys_ && keys_->byKid.contains(kid)) return keys_;
    // tokens naming made-up keys must not become a stream of requests to the
    // provider: one fetch for an unknown key every kRefetchFloor at most
    const auto now = std::chrono::steady_clock::now();
    if (keys_ && lastRefetch_ && now - *lastRefetch_ < kRefetchFloor) return keys_;
    if (keys_) lastRefetch_ = now;
  }
  const std::optional<json> document = JsonOf(Fetch({configuration.jwks, {}, {}, {}}));
  if (!document || !document->contains("keys") || !(*document)["keys"].is_array()) return nullptr;
  auto keys = std::make_shared<KeySet>();
  for (const json& key : (*document)["keys"]) {
    if (!key.is_object() || (key.contains("use") && StringOf(key, "use") != "sig")) continue;
    const std::string text = key.dump();
    cjose_err error;
    cjose_jwk_t* imported = cjose_jwk_import(text.c_str(), text.size(), &error);
    if (!imported) continue;
    keys->byKid[StringOf(key, "kid")] = std::shared_ptr<cjose_jwk_t>(imported, JwkRelease());
  }
  std::lock_guard lock(mutex_);
  keys_ = keys;
  return keys_;
}

std::optional<OidcClient::Started> OidcClient::Start(const std::string& redirectUri) {
  const std::shared_ptr<const Configuration> configuration = Discovered();
  if (!configuration) return std::nullopt;
  const std::string state = RandomText(), nonce = RandomText(), verifier = RandomText();
  const std::string challenge = Base64Url(KeyDigest(verifier));
  std::string location = configuration->authorization;
  location += location.find('?') == std::string::npos ? '?' : '&';
  location += "response_type=code&scope=openid%20profile%20email&client_id=" + QueryEscape(settings_.oidcClientId) +
              "&redirect_uri=" + QueryEscape(redirectUri) + "&state=" + state + "&nonce=" + nonce +
              "&code_challenge=" + challenge + "&code_challenge_method=S256";
  return Started{location, state + "." + nonce + "." + verifier};
}

OidcClient::Finished OidcClient::Finish(std::string_view code, std::string_view state, std::string_view pending,
                                        const std::string& redirectUri) {
  Finished finished;
  // state.nonce.verifier, as Start made it
  const std::size_t first = pending.find('.'), second = pending.find('.', first == std::string_view::npos ? 0 : first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos || state.empty() ||
      !SameBytes(pending.substr(0, first), state) || code.empty()) {
    finished.refusal = OidcRefusal::kState;
    return finished;
  }
  const std::string_view nonce = pending.substr(first + 1, second - first - 1), verifier = pending.substr(second + 1);
  const std::shared_ptr<const Configuration> configuration = Discovered();
  if (!configuration) {
    finished.refusal = OidcRefusal::kProvider;
    return finished;
  }
  const std::string form = "grant_type=authorization_code&code=" + QueryEscape(code) +
                           "&redirect_uri=" + QueryEscape(redirectUri) + "&client_id=" +
                           QueryEscape(settings_.oidcClientId) + "&code_verifier=" + QueryEscape(verifier);
  const Fetched answer = Fetch({configuration->token, form, settings_.oidcClientId, secret_});
  if (answer.status == 400 || answer.status == 401) {
    finished.refusal = OidcRefusal::kCode;
    return finished;
  }
  const std::optional<json> tokens = JsonOf(answer);
  const std::string idToken = tokens ? StringOf(*tokens, "id_token") : "";
  if (idToken.empty()) {
    finished.refusal = OidcRefusal::kProvider;
    return finished;
  }
  finished.refusal = CheckIdToken(*configuration, idToken, nonce, finished.person);
  return finished;
}

OidcRefusal OidcClient::CheckIdToken(const Configuration& configuration, std::string_view token,
                                     std::string_view nonce, OidcPerson& person) {
  cjose_err error;
  const JwsHandle jws(cjose_jws_import(token.data(), token.size(), &error));
  if (!jws) return OidcRefusal::kMalformed;
  cjose_header_t* header = cjose_jws_get_protected(jws.get());
  const char* alg = header ? cjose_header_get(header, CJOSE_HDR_ALG, &error) : nullptr;
  const char* kidText = header ? cjose_header_get(header, CJOSE_HDR_KID, &error) : nullptr;
  // only the asymmetric algorithms: "none" proves nothing, and an HMAC key
  // would be the client's own secret
  const std::string_view algorithm = alg ? alg : "";
  if (algorithm != "RS256" && algorithm != "ES256") return OidcRefusal::kAlgorithm;
  const cjose_jwk_kty_t wanted = algorithm == "RS256" ? CJOSE_JWK_KTY_RSA : CJOSE_JWK_KTY_EC;
  const std::string kid = kidText ? kidText : "";
  const std::shared_ptr<const KeySet> keys = Keys(configuration, kid);
  if (!keys) return OidcRefusal::kProvider;
  bool verified = false;
  for (const auto& [name, key] : keys->byKid) {
    if ((!kid.empty() && name != kid) || cjose_jwk_get_kty(key.get(), &error) != wanted) continue;
    if (cjose_jws_verify(jws.get(), key.get(), &error)) {
      verified = true;
      break;
    }
  }
  if (!verified) return OidcRefusal::kSignature;
  uint8_t* plaintext = nullptr;
  std::size_t length = 0;
  if (!cjose_jws_get_plaintext(jws.get(), &plaintext, &length, &error)) return OidcRefusal::kMalformed;
  const json claims = json::parse(std::string(reinterpret_cast<const char*>(plaintext), length), nullptr, false);
  if (claims.is_discarded() || !claims.is_object()) return OidcRefusal::kMalformed;

  if (StringOf(claims, "iss") != configuration.issuer) return OidcRefusal::kIssuer;
  const auto aud = claims.find("aud");
  bool forUs = false;
  if (aud != claims.end() && aud->is_string()) forUs = aud->get<std::string>() == settings_.oidcClientId;
  if (aud != claims.end() && aud->is_array()) {
    for (const json& one : *aud) forUs = forUs || (one.is_string() && one.get<std::string>() == settings_.oidcClientId);
    // a token for several audiences must name this client as the one it was given to
    if (forUs && aud->size() > 1 && StringOf(claims, "azp") != settings_.oidcClientId) forUs = false;
  }
  if (!forUs) return OidcRefusal::kAudience;
  const int64_t now = int64_t(std::time(nullptr));
  const std::optional<int64_t> exp = NumberOf(claims, "exp"), iat = NumberOf(claims, "iat");
  if (!exp || *exp + kClockSkewSeconds <= now) return OidcRefusal::kExpired;
  if (!iat || *iat > now + kClockSkewSeconds) return OidcRefusal::kIssuedLater;
  if (!SameBytes(StringOf(claims, "nonce"), nonce)) return OidcRefusal::kNonce;
  person.issuer = configuration.issuer;
  person.subject = StringOf(claims, "sub");
  if (person.subject.empty()) return OidcRefusal::kNoSubject;
  person.name = StringOf(claims, "name");
  if (person.name.empty()) person.name = StringOf(claims, "preferred_username");
  person.email = StringOf(claims, "email");

  std::vector<std::string> groups;
  const auto claimed = claims.find(settings_.oidcGroupsClaim);
  if (claimed != claims.end() && claimed->is_string()) groups.push_back(claimed->get<std::string>());
  if (claimed != claims.end() && claimed->is_array())
    for (const json& group : *claimed)
      if (group.is_string()) groups.push_back(group.get<std::string>());
  const auto member = [&](const std::string& group) {
    return !group.empty() && std::find(groups.begin(), groups.end(), group) != groups.end();
  };
  person.admin = member(settings_.oidcAdminGroup);
  if (!person.admin && !settings_.oidcCreatorGroup.empty() && !member(settings_.oidcCreatorGroup))
    return OidcRefusal::kNotAllowed;
  return OidcRefusal::kNone;
}

}  // namespace snipora::service
