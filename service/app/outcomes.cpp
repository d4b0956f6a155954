#include "service/app/outcomes.h"

#include "service/app/replies.h"

namespace snipora::service {
namespace {

using Kind = CreationOutcome::Kind;

constexpr OwnAnswer kOwnAnswers[] = {
    {Kind::kCreated, 201, "", nullptr},
    {Kind::kKnown, 200, "", nullptr},
    {Kind::kRateLimited, 429, "rate_limited", kRateLimitRetryAfter},
    {Kind::kAddressRefused, 400, "address_refused", nullptr},
    {Kind::kAliasInvalid, 400, "alias_invalid", nullptr},
    {Kind::kDetailsTooLong, 400, "details_too_long", nullptr},
    {Kind::kAliasTaken, 409, "alias_taken", nullptr},
    {Kind::kAddressHasCode, 409, "address_has_code", nullptr},
    {Kind::kStoreFailed, 503, "store_unavailable", kRetryAfter},
};
static_assert(CoversEachInOrder(kOwnAnswers), "the service's own answers: one row a creation outcome, in order");

// The sentences; "" where the outcome writes its own (OwnSentence).
struct Sentence {
  Kind outcome;
  std::string_view text;
};
constexpr Sentence kSentences[] = {
    {Kind::kCreated, "Shortened."},
    {Kind::kKnown, "Shortened."},
    {Kind::kRateLimited, "Too many creations from your address; try again in a minute."},
    {Kind::kAddressRefused, ""},  // the refusal's own
    {Kind::kAliasInvalid,
     "A short code of your choice is 1 to 32 letters, digits, - or _, and not a name this service uses itself."},
    {Kind::kDetailsTooLong, "A title is at most 1000 bytes; tags are at most 50, of at most 200 bytes each."},
    {Kind::kAliasTaken, "That short code belongs to another address."},
    {Kind::kAddressHasCode, ""},  // names the code
    {Kind::kStoreFailed, "The address could not be stored; nothing was lost, try again."},
};
static_assert(CoversEachInOrder(kSentences), "the sentences: one row a creation outcome, in order");

}  // namespace

const OwnAnswer& OwnAnswerOf(CreationOutcome::Kind kind) { return RowOf(kOwnAnswers, kind); }

int OwnStatus(const CreationOutcome& outcome) {
  if (outcome.kind == Kind::kAddressRefused && outcome.refusal == Refusal::kTooLong) return 414;
  if (outcome.kind == Kind::kAddressRefused && outcome.refusal == Refusal::kDeniedHost) return 403;
  return OwnAnswerOf(outcome.kind).status;
}

std::string OwnSentence(const CreationOutcome& outcome) {
  if (outcome.kind == Kind::kAddressRefused) return RefusalText(outcome.refusal);
  if (outcome.kind == Kind::kAddressHasCode) return "This address has the short code " + outcome.code + " already.";
  return std::string(RowOf(kSentences, outcome.kind).text);
}

}  // namespace snipora::service
