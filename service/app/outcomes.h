#pragma once
// How the shared operations end (operations.h), and the service's own answer
// to each: the words every door may use, and the check that keeps each
// door's table of answers whole.
//
// Every door answers each outcome from a table with one row an outcome, in
// the enum's order, so that a table is read by indexing and cannot miss a
// row: CoversEachInOrder, in a static_assert beside the table, fails the
// build when a row is missing, extra or out of place.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "service/core/address_check.h"
#include "service/store/store.h"

namespace snipora::service {

// How a creation ended. A known address is answered with its code (kKnown):
// one code per address, whichever door asked.
struct CreationOutcome {
  enum Kind {
    kCreated, kKnown, kRateLimited, kAddressRefused, kAliasInvalid, kDetailsTooLong, kAliasTaken, kAddressHasCode,
    kStoreFailed,
    kCount  // the number of kinds: the size of every door's table
  } kind = kStoreFailed;
  Refusal refusal = Refusal::kAccepted;  // kAddressRefused: why
  std::string code;                      // kCreated, kKnown, kAddressHasCode
  std::string address;                   // the stored form, once accepted
  std::string shortAddress;              // kCreated, kKnown: "http://HOST/CODE"
  std::string domain;                    // the link's, as stored ("": the default)
  int64_t created = 0;                   // kCreated: the time stored with it
};

// Why a link may not be managed (kNone: it may). kNone has a row in the
// doors' tables too, answered as the store's failure: no door answers it.
enum class Problem {
  kNone, kNotFound, kNotOwner, kForbidden, kAddressRefused, kAddressTaken, kStoreFailed,
  kCount
};
// A link a call may manage, or why not.
struct Managed {
  std::optional<Link> link;
  Problem problem = Problem::kNone;
  Refusal refusal = Refusal::kAccepted;  // kAddressRefused: why
};

// Whether `rows` (each with an `outcome` member of an enum that ends in
// kCount) hold one row for each value, row i for value i.
template <class Row, std::size_t N>
constexpr bool CoversEachInOrder(const Row (&rows)[N]) {
  using Enum = std::remove_cvref_t<decltype(rows[0].outcome)>;
  if (N != std::size_t(Enum::kCount)) return false;
  for (std::size_t i = 0; i < N; ++i)
    if (std::size_t(rows[i].outcome) != i) return false;
  return true;
}
// The row of `value` in a table CoversEachInOrder accepted.
template <class Row, std::size_t N, class Enum>
constexpr const Row& RowOf(const Row (&rows)[N], Enum value) {
  return rows[std::size_t(value)];
}

// The service's own answer to a creation's outcome: the status the form's
// page, the service's own API and the plain-text API answer with, the
// code in the API's errors ("": a success), and how long a client is asked
// to wait (null: not asked).
struct OwnAnswer {
  CreationOutcome::Kind outcome;
  int status;  // kAddressRefused: OwnStatus's, by the refusal
  std::string_view code;
  const char* retryAfter;
};
const OwnAnswer& OwnAnswerOf(CreationOutcome::Kind kind);
// 201 made, 200 known, 429, 414/403/400 for a refused address, 400, 409, 503.
int OwnStatus(const CreationOutcome& outcome);
// The outcome's English sentence, which every door's refusal carries.
std::string OwnSentence(const CreationOutcome& outcome);

}  // namespace snipora::service
