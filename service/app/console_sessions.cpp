#include "service/app/console_sessions.h"

#include <ctime>

#include "service/app/keys.h"
#include "service/app/operations.h"
#include "service/core/cookies.h"

namespace snipora::service {
namespace {

// A session's last use is written at most this often: a request of the
// console then seldom writes.
constexpr int64_t kTouchEverySeconds = 60;

int64_t Now() { return int64_t(std::time(nullptr)); }

std::string Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

// The CSRF token of a session's token: none can make it without the cookie.
std::string CsrfOf(std::string_view token) { return Hex(KeyDigest("csrf " + std::string(token))); }

std::string CookieAttributes(bool https) { return https ? "; Secure; HttpOnly; SameSite=Lax; Path=/" : "; HttpOnly; SameSite=Lax; Path=/"; }

std::string OwnOrigin(const Call& call) {
  const char* host = call.http.Header("Host");
  return std::string(OverHttps(call.http) ? "https://" : "http://") + (host ? host : "");
}

}  // namespace

std::string OwnerName(const Person& person) {
  return person.issuer == kKeyIssuer ? person.subject : "~" + std::to_string(person.id);
}

bool OverHttps(const HttpRequest& request) {
  const char* proto = request.viaTrustedProxy ? request.Header("X-Forwarded-Proto") : nullptr;
  return proto && std::string_view(proto) == "https";
}

std::string_view SessionCookieName(bool https) { return https ? "__Host-snipora_session" : "snipora_session"; }

std::string_view PendingSignInCookieName(bool https) { return https ? "__Host-snipora_sign_in" : "snipora_sign_in"; }

std::string PendingSignInCookie(const HttpRequest& request, std::string_view value) {
  const bool https = OverHttps(request);
  return std::string(PendingSignInCookieName(https)) + "=" + std::string(value) + CookieAttributes(https) +
         (value.empty() ? "; Max-Age=0" : "; Max-Age=600");
}

std::optional<ConsoleSession> ConsoleSessions::Current(Call& call) {
  const char* cookies = call.http.Header("Cookie");
  if (!cookies) return std::nullopt;
  const std::optional<std::string_view> token = CookieValue(cookies, SessionCookieName(OverHttps(call.http)));
  if (!token || token->empty()) return std::nullopt;
  const std::string digest = KeyDigest(*token);
  Store& store = operations_.store();
  const std::optional<SignedIn> found = store.FindSession(digest);
  if (!found) return std::nullopt;
  const Settings& settings = operations_.settings();
  const int64_t now = Now();
  if (found->person.locked || now - found->session.lastSeen > int64_t(settings.sessionIdle) ||
      now - found->session.created > int64_t(settings.sessionMax)) {
    store.EndSession(digest);
    return std::nullopt;
  }
  if (now - found->session.lastSeen >= kTouchEverySeconds) store.TouchSession(digest, now);
  call.caller = Caller{OwnerName(found->person), found->person.role == "admin" ? Role::kAdmin : Role::kCreator};
  return ConsoleSession{found->person, digest, CsrfOf(*token)};
}

std::string ConsoleSessions::Begin(const Call& call, const Person& person) {
  // a key's text is 32 random bytes; its prefix is a key's, not a session's
  const std::string token = NewKeyText().substr(4);
  const int64_t now = Now();
  operations_.store().AddSession({KeyDigest(token), person.id, now, now});
  const bool https = OverHttps(call.http);
  return std::string(SessionCookieName(https)) + "=" + token + CookieAttributes(https);
}

std::string ConsoleSessions::End(const Call& call, const ConsoleSession& session) {
  operations_.store().EndSession(session.digest);
  const bool https = OverHttps(call.http);
  return std::string(SessionCookieName(https)) + "=" + CookieAttributes(https) + "; Max-Age=0";
}

std::optional<Person> ConsoleSessions::SignInWithKey(std::string_view key) {
  const std::optional<Caller> caller = operations_.keys().Check(key);
  if (!caller) return std::nullopt;
  const std::string role = caller->role == Role::kAdmin ? "admin" : "creator";
  Person person = operations_.store().SeePerson({kKeyIssuer, caller->name, caller->name, "", role, Now()});
  if (person.locked) return std::nullopt;
  return person;
}

bool ConsoleSessions::MayChange(const Call& call, const ConsoleSession& session, std::string_view token) const {
  return FromOwnOrigin(call) && SameBytes(token, session.csrf);
}

bool ConsoleSessions::FromOwnOrigin(const Call& call) {
  return service::FromOwnOrigin(call.http.Header("Origin"), call.http.Header("Sec-Fetch-Site"), OwnOrigin(call));
}

bool ConsoleSessions::ChangePerson(int64_t id, const PersonChange& change) {
  Store& store = operations_.store();
  const std::optional<Person> person = store.FindPerson(id);
  if (!person || !store.ChangePerson(id, change)) return false;
  if (change.locked.value_or(false) && person->issuer == kKeyIssuer) store.RevokeKey(person->subject, Now());
  return true;
}

}  // namespace snipora::service
