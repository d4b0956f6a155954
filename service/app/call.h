#pragma once
// One request on its way through a door: what the dispatcher read of it
// (application.h), the door whose route took it, and who its key says it is.
#include <functional>
#include <optional>
#include <string_view>

#include "service/app/keys.h"
#include "service/base/service_names.h"
#include "service/core/language.h"
#include "service/http/exchange.h"

namespace snipora::service {

class Door;

// Whether a call may take a route needing a role (Operations::Authorize).
enum class Admission { kAdmitted, kNoKey, kWrongKey, kForbidden };

// What completes a reply put off: called once, from any thread, with what
// makes the reply (HttpRequest::Defer).
using Completion = std::function<void(std::function<Reply()>)>;

struct Call {
  HttpRequest& http;
  std::string_view query;    // the target's, after "?"
  std::string_view capture;  // what the route pattern's placeholder covered
  Language language;         // of the pages answered
  std::optional<Caller> caller;  // whose key came with it, on routes that look
  unsigned methods = 0;          // those the route takes
  const Door* door = nullptr;    // the route's; null before a route took it
  // The domain the call works on: the one its host names, else the default
  // (onDomain false: a redirect there finds nothing). A door that reads a
  // domain of its own from the request sets it before asking the operations.
  const Domain* domain = nullptr;
  bool onDomain = true;

  // Puts the reply off. What the completion is given makes the reply, which
  // is then decorated by the call's door as an immediate reply is.
  Completion Defer();
};

}  // namespace snipora::service
