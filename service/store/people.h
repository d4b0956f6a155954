#pragma once
// The people who sign in to the console, and their sessions, as a store keeps
// them (store.h). A session is known by the digest of its cookie's token
// alone, so the store never holds what would let anyone sign in as them.
#include <cstdint>
#include <optional>
#include <string>

namespace snipora::service {

// One person: who their sign-in says they are (the provider's issuer and
// subject; for a sign-in with an API key, kKeyIssuer and the key's name).
struct Person {
  int64_t id = 0;
  std::string issuer, subject;
  std::string name, email;
  std::string role;  // "admin" or "creator"
  bool locked = false;
  int64_t firstSeen = 0, lastSeen = 0;  // seconds since 1970, UTC
};
inline constexpr char kKeyIssuer[] = "key";

// What a sign-in says of a person; their row is made or brought up to date.
struct SignInSays {
  std::string issuer, subject, name, email, role;
  int64_t at = 0;
};

struct SessionRecord {
  std::string digest;  // SHA-256 of the cookie's token, 32 bytes
  int64_t person = 0;
  int64_t created = 0, lastSeen = 0;
};

// A session and whose it is.
struct SignedIn {
  SessionRecord session;
  Person person;
};

// What an admin changes of a person; a field left empty stays.
struct PersonChange {
  std::optional<std::string> role;
  std::optional<bool> locked;
};

}  // namespace snipora::service
