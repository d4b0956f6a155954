#pragma once
// Requests the service itself makes (the OpenID provider's endpoints), over
// libcurl: bounded in time and size, no redirects followed, HTTP and HTTPS
// alone.
#include <string>

namespace snipora::service {

struct Fetched {
  long status = 0;      // 0: no answer
  std::string body;
  std::string error;    // why there was no answer, or it was cut
};

struct FetchAsk {
  std::string url;
  std::string form;  // non-empty: POSTed as application/x-www-form-urlencoded
  std::string user, password;  // non-empty user: HTTP Basic
};

// The answer to one request; a body over 1 MiB or an answer later than 10
// seconds is no answer.
Fetched Fetch(const FetchAsk& ask);

}  // namespace snipora::service
