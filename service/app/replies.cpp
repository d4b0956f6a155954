#include "service/app/replies.h"

#include <string>
#include <utility>

#include "service/core/pages.h"

namespace snipora::service {
namespace {

// On every answer but a redirect: pages load script, style and pictures from
// this service alone, none inline, and are never framed.
constexpr std::pair<const char*, const char*> kPageHeaders[] = {
    {"Content-Security-Policy", "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                                "form-action 'self'; base-uri 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
};

}  // namespace

Reply Page(Language language, int status, std::string_view title, std::string_view text) {
  return {status, kHtml, MessagePage(language, title, text), {}};
}
// A page of the language's own texts, e.g. (&PageTexts::notFoundTitle, &PageTexts::notFound).
Reply Page(Language language, int status, std::string_view PageTexts::*title, std::string_view PageTexts::*text) {
  const PageTexts& texts = TextsFor(language);
  return Page(language, status, texts.*title, texts.*text);
}
// A page in English, for an answer with no texts in other languages.
Reply Page(int status, std::string_view title, std::string_view text) {
  return Page(Language::kEn, status, title, text);
}
Reply Bad(std::string_view text) { return Page(400, "Bad request", text); }

Reply JsonReply(int status, const Json& value, JsonEnd end) {
  return {status, kJson, JsonText(value) + (end == JsonEnd::kNewline ? "\n" : ""), {}};
}

// An API error: a stable code for programs, a sentence for people.
Reply ApiError(int status, std::string_view code, std::string_view message) {
  const Json error = Json::object({{"code", code}, {"message", message}});
  return JsonReply(status, Json::object({{"error", error}}));
}

// The client is asked to come back after `seconds` (a 503, or a 429).
Reply RetryLater(Reply reply, const char* seconds) {
  reply.headers.push_back({"Retry-After", seconds});
  return reply;
}

Reply AskForBearerKey(Reply reply) {
  reply.headers.push_back({"WWW-Authenticate", "Bearer realm=\"snipora\""});
  return reply;
}

// An If-None-Match that names `etag` (or any).
bool NotModified(const HttpRequest& request, std::string_view etag) {
  const char* match = request.Header("If-None-Match");
  return match && (std::string_view(match).find(etag) != std::string_view::npos || std::string_view(match) == "*");
}

void AddPageHeaders(Reply& reply) {
  if (reply.status / 100 != 3)
    for (const auto& [name, value] : kPageHeaders) reply.headers.push_back({name, value});
}

}  // namespace snipora::service
