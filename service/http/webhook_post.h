#pragma once
// One POST of a webhook event (libcurl), made on the delivery thread, never
// on a request's: short time-outs, the answer's body read and thrown away.
#include <string>
#include <utility>
#include <vector>

namespace snipora::service {

struct WebhookPost {
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;  // name, value
  std::string body;                                          // JSON
  long timeoutSeconds = 5;
};

struct WebhookAnswer {
  long status = 0;    // the HTTP status, 0 when none came
  std::string error;  // "" when a status came
};

WebhookAnswer PostWebhook(const WebhookPost& post);

}  // namespace snipora::service
