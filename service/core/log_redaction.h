#pragma once
// What a log keeps of a request target: no key. The values of the parameters
// that carry one (signature=, apiKey=, key=, token=, access_token=,
// api_key=, password=) are written as ***, their names compared as the
// service reads them (%-escapes and '+' decoded) but in any letter case, and
// a user name and password in an absolute-form target likewise; every other
// byte stays as it came. Platform-neutral.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

// The target with its secrets as ***; nothing when it holds none, so the
// common target costs no copy.
std::optional<std::string> RedactTarget(std::string_view target);

}  // namespace snipora::service
