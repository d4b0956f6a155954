#pragma once
// The console's sessions: made at sign-in and kept in the store, so that
// every instance knows them and a sign-out or a lock-out on one is seen by
// all at their next request. The cookie holds a random token; the store
// holds only its digest. A change is taken only from the service's own
// origin with the CSRF token of the session (derived from its token, so
// it is bound to the session and stored nowhere).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/app/call.h"
#include "service/store/store.h"

namespace snipora::service {

class Operations;

// A request's session, while valid.
struct ConsoleSession {
  Person person;
  std::string digest;  // of its token
  std::string csrf;    // what its forms carry
};

// The name a person's links carry as their owner: a key's sign-in, the
// key's name (so the links it made through the API are theirs); anyone
// else "~" and their number, which no key name can be.
std::string OwnerName(const Person& person);

// The cookie's name: __Host-snipora_session over HTTPS (a trusted proxy's
// X-Forwarded-Proto: https), else snipora_session.
bool OverHttps(const HttpRequest& request);
std::string_view SessionCookieName(bool https);

// The cookie that carries a sign-in through the provider from its start to
// its callback (ten minutes at most); an empty value clears it.
std::string_view PendingSignInCookieName(bool https);
std::string PendingSignInCookie(const HttpRequest& request, std::string_view value);

class ConsoleSessions {
 public:
  explicit ConsoleSessions(Operations& operations) : operations_(operations) {}

  // The session the request's cookie names, while it is valid (its person
  // not locked out, used within --session-idle, begun within
  // --session-max); sets call.caller as the person's key would. A session
  // past a time-out is ended.
  std::optional<ConsoleSession> Current(Call& call);
  // A new session for `person`: the Set-Cookie value that carries it.
  std::string Begin(const Call& call, const Person& person);
  // Ends it everywhere: the Set-Cookie value that clears the cookie.
  std::string End(const Call& call, const ConsoleSession& session);
  // The person a valid API key signs in as (made at its first sign-in); none
  // for a wrong or revoked key.
  std::optional<Person> SignInWithKey(std::string_view key);
  // Whether a request that changes something may: from this origin, with
  // the session's token.
  bool MayChange(const Call& call, const ConsoleSession& session, std::string_view token) const;
  // Whether a request comes from this origin (the sign-in, which has no session yet).
  static bool FromOwnOrigin(const Call& call);
  // An admin's change of a person; a lock-out also revokes the key a key's
  // person signed in with, so their API calls end with their sessions.
  bool ChangePerson(int64_t id, const PersonChange& change);

 private:
  Operations& operations_;
};

}  // namespace snipora::service
