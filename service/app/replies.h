#pragma once
// What answers are made of (the doors, doors/): pages in the request's
// language, JSON, the service's own API's errors, the headers every page
// carries, and the words and waits more than one door says alike.
#include <string_view>

#include "service/core/json_body.h"
#include "service/core/language.h"
#include "service/core/page_texts.h"
#include "service/http/exchange.h"

namespace snipora::service {

// Seconds a client is asked to wait while the store does not answer.
inline constexpr char kRetryAfter[] = "5";
// Seconds a client over the creation rate is asked to wait: the rest of the
// limit's one-minute window, at most.
inline constexpr char kRateLimitRetryAfter[] = "60";
// What browsers and proxies may keep for a day: the pages' files, QR codes.
inline constexpr char kCacheForADay[] = "public, max-age=86400";

// The refusal of a body over --max-body (413), in every door's shape.
inline constexpr std::string_view kBodyTooLarge = "The body is larger than this service accepts.";
// The refusals of keys that every door with a key of its own words alike.
inline constexpr std::string_view kKeyNeeded = "A valid key is needed (Authorization: Bearer KEY).";
inline constexpr std::string_view kRoleTooSmall = "This key's role may not do this.";

Reply Page(Language language, int status, std::string_view title, std::string_view text);
// A page of the language's own texts, e.g. (&PageTexts::notFoundTitle, &PageTexts::notFound).
Reply Page(Language language, int status, std::string_view PageTexts::*title, std::string_view PageTexts::*text);
// A page in English, for an answer with no texts in other languages.
Reply Page(int status, std::string_view title, std::string_view text);
Reply Bad(std::string_view text);
// A compact JSON answer; the service's own API and Kutt's end it with a
// newline, Shlink's and the plain-text API's as those services do: without.
enum class JsonEnd { kNewline, kNone };
Reply JsonReply(int status, const Json& value, JsonEnd end = JsonEnd::kNewline);
// An API error: a stable code for programs, a sentence for people.
Reply ApiError(int status, std::string_view code, std::string_view message);
// The client is asked to come back after `seconds` (a 503, or a 429).
Reply RetryLater(Reply reply, const char* seconds = kRetryAfter);
// A 401 that names the key it wants: Authorization: Bearer.
Reply AskForBearerKey(Reply reply);
// An If-None-Match that names `etag` (or any).
bool NotModified(const HttpRequest& request, std::string_view etag);
// Content-Security-Policy and its kin, on every answer but a redirect.
void AddPageHeaders(Reply& reply);

}  // namespace snipora::service
