#pragma once
// One conditional GET of a feed over HTTP or HTTPS (libcurl): the service's
// one outgoing request, made on a thread of its own, never on a request's.
#include <cstddef>
#include <string>

namespace snipora::service {

struct FetchAsk {
  std::string url;
  // what the last answer said, sent back as If-None-Match and
  // If-Modified-Since ("": not sent)
  std::string etag, lastModified;
  long timeoutSeconds = 60;
  std::size_t maxBytes = 64u << 20;  // a longer body is a failure, not a truncated feed
};

struct Fetched {
  enum Outcome { kBody, kNotModified, kFailed } outcome = kFailed;
  long status = 0;  // the HTTP status, 0 when none came
  std::string body;
  std::string etag, lastModified;  // of a kBody answer
  std::string error;               // kFailed: one line
};

Fetched FetchFeed(const FetchAsk& ask);

}  // namespace snipora::service
