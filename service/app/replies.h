#pragma once
// The replies the handlers make (application.cpp and the *_handlers.cpp
// files): pages in the request's language, the API's errors, and the headers
// every page carries.
#include <string_view>

#include "service/core/language.h"
#include "service/core/page_texts.h"
#include "service/http/exchange.h"

namespace snipora::service {

// Seconds a client is asked to wait while the store does not answer.
inline constexpr char kRetryAfter[] = "5";

Reply Page(Language language, int status, std::string_view title, std::string_view text);
// A page of the language's own texts, e.g. (&PageTexts::notFoundTitle, &PageTexts::notFound).
Reply Page(Language language, int status, std::string_view PageTexts::*title, std::string_view PageTexts::*text);
// A page in English, for an answer with no texts in other languages.
Reply Page(int status, std::string_view title, std::string_view text);
Reply Bad(std::string_view text);
// An API error: a stable code for programs, a sentence for people.
Reply ApiError(int status, std::string_view code, std::string_view message);
// The client is asked to come back after `seconds` (a 503, or a 429).
Reply RetryLater(Reply reply, const char* seconds = kRetryAfter);
// An If-None-Match that names `etag` (or any).
bool NotModified(const HttpRequest& request, std::string_view etag);
// Content-Security-Policy and its kin, on every answer but a redirect.
void AddPageHeaders(Reply& reply);

}  // namespace snipora::service
