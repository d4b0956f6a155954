#include "service/doors/plain_door.h"

#include <string>

#include "service/app/outcomes.h"
#include "service/app/replies.h"
#include "service/core/json_body.h"

namespace snipora::service {
namespace {

using Kind = CreationOutcome::Kind;

// The error number of each outcome (0: a success).
struct NumberRow {
  Kind outcome;
  int number;
};
constexpr NumberRow kNumbers[] = {
    {Kind::kCreated, 0},
    {Kind::kKnown, 0},
    {Kind::kRateLimited, kPlainRate},
    {Kind::kAddressRefused, kPlainAddress},
    {Kind::kAliasInvalid, kPlainCode},
    {Kind::kDetailsTooLong, kPlainOther},
    {Kind::kAliasTaken, kPlainCode},
    {Kind::kAddressHasCode, kPlainCode},
    {Kind::kStoreFailed, kPlainOther},
};
static_assert(CoversEachInOrder(kNumbers), "the plain-text API: one row a creation outcome, in order");

}  // namespace

std::optional<PlainFormat> PlainFormatOf(const std::vector<Field>& fields) {
  const std::string* format = FindField(fields, "format");
  if (!format) return std::nullopt;
  if (*format == "simple") return PlainFormat::kSimple;
  if (*format == "json") return PlainFormat::kJsonObject;
  return std::nullopt;
}

Reply PlainRefused(PlainFormat format, int status, int number, std::string_view message) {
  if (format == PlainFormat::kJsonObject)
    return JsonReply(status, Json::object({{"errorcode", number}, {"errormessage", message}}), JsonEnd::kNone);
  return Reply{status, kText, "Error: " + std::string(message), {}};
}

Reply PlainCreation(PlainFormat format, const CreationOutcome& outcome) {
  if (outcome.kind == Kind::kCreated || outcome.kind == Kind::kKnown) {
    // the short address alone: no newline after it, as the classic services
    // send it, so a script can paste the body as it comes
    if (format == PlainFormat::kJsonObject)
      return JsonReply(200, Json::object({{"shorturl", outcome.shortAddress}}), JsonEnd::kNone);
    return Reply{200, kText, outcome.shortAddress, {}};
  }
  Reply reply = PlainRefused(format, OwnStatus(outcome), RowOf(kNumbers, outcome.kind).number, OwnSentence(outcome));
  const char* wait = OwnAnswerOf(outcome.kind).retryAfter;
  return wait ? RetryLater(std::move(reply), wait) : reply;
}

Reply PlainDoor::KeyRefused(const Call& call, Admission admission) const {
  if (admission == Admission::kForbidden) return Door::KeyRefused(call, admission);
  return AskForBearerKey(PlainRefused(PlainFormat::kSimple, 401, kPlainOther, kKeyNeeded));
}

std::optional<Reply> PlainDoor::Create(Call& call) {
  call.http.kind = RequestKind::kCreation;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) {
    Metrics::Add(operations_.metrics().refused);
    return PlainRefused(PlainFormat::kSimple, 400, kPlainAddress, "The query has a malformed %-escape.");
  }
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  return operations_.CreateLink(call, {url ? *url : "", alias ? *alias : ""}, [](const CreationOutcome& outcome) {
    return PlainCreation(PlainFormat::kSimple, outcome);
  });
}

}  // namespace snipora::service
