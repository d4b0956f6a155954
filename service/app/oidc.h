#pragma once
// Signing in through the organisation's OpenID Connect provider: the
// authorization code flow with PKCE (S256), state and nonce. The provider's
// configuration comes from its discovery document, its signing keys from
// its jwks_uri (kept, and fetched again when a token names an unknown key);
// the ID token's signature is checked by cjose (RS256 and ES256 alone) and
// its iss, aud, exp, iat and nonce here. What a sign-in started is kept in a
// short-lived cookie of the browser's, not on any instance, so the callback
// may come to any of them.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/base/settings.h"

namespace snipora::service {

// Why a sign-in through the provider was refused.
enum class OidcRefusal {
  kNone,
  kState,        // no sign-in started in this browser, or another's state
  kProvider,     // the provider did not answer as it should (discovery, keys, token endpoint)
  kCode,         // the token endpoint refused the code (a used one, say)
  kMalformed,    // the ID token is not a JWS with claims
  kAlgorithm,    // not RS256 or ES256 (none, HMAC, ...)
  kSignature,    // no key of the provider's signed it
  kIssuer,
  kAudience,
  kExpired,
  kIssuedLater,  // iat in the future
  kNonce,
  kNoSubject,
  kNotAllowed,   // not in --oidc-creator-group nor the admin group
};
std::string_view OidcRefusalName(OidcRefusal refusal);

struct OidcPerson {
  std::string issuer, subject, name, email;
  bool admin = false;
};

class OidcClient {
 public:
  // Reads the client's secret from its file (throws std::runtime_error when
  // it cannot, or when no client id is given); nothing is fetched before the
  // first sign-in.
  explicit OidcClient(const Settings& settings);
  ~OidcClient();

  // Where to send the browser, and what to keep in its cookie until the callback.
  struct Started {
    std::string location;
    std::string pending;
  };
  // None when the provider's configuration cannot be read.
  std::optional<Started> Start(const std::string& redirectUri);

  struct Finished {
    OidcRefusal refusal = OidcRefusal::kNone;
    OidcPerson person;
  };
  // The callback's code and state, against the pending cookie's value.
  Finished Finish(std::string_view code, std::string_view state, std::string_view pending,
                  const std::string& redirectUri);

 private:
  struct Configuration;
  struct KeySet;
  // The discovery document's endpoints, read once.
  std::shared_ptr<const Configuration> Discovered();
  // The provider's keys; fetched again when `kid` is not among them (at most
  // every ten seconds).
  std::shared_ptr<const KeySet> Keys(const Configuration& configuration, const std::string& kid);
  OidcRefusal CheckIdToken(const Configuration& configuration, std::string_view token, std::string_view nonce,
                           OidcPerson& person);

  const Settings& settings_;
  std::string secret_;
  std::mutex mutex_;
  std::shared_ptr<const Configuration> configuration_;
  std::shared_ptr<const KeySet> keys_;
  std::optional<std::chrono::steady_clock::time_point> lastRefetch_;  // for an unknown key
};

}  // namespace snipora::service
