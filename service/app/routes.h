#pragma once
// The pieces of a route table: methods as bits, path patterns, roles. A row
// (door.h) puts them together with the door that answers; the table itself
// is doors/route_table.cpp.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

enum Method : unsigned {
  kGet = 1,
  kHead = 2,
  kPost = 4,
  kPatch = 8,
  kDelete = 16,
  kOptions = 32,
  kRead = kGet | kHead,
};
// The bit of a request's method; 0 for any other method.
unsigned MethodBit(std::string_view method);
// The names of the methods among `bits`, as an Allow header lists them: "GET, POST".
std::string MethodNames(unsigned bits);

// Who may take a route: anyone (no key looked at); anyone, a key given
// being checked (and then needing to be right); anyone while
// --open-creation is on, else a creator (a key given is checked either way);
// a request with a key of that role (an admin may do what a creator may).
enum class Role { kNone, kAnyone, kCreation, kCreator, kAdmin };

// A path against a pattern of literal bytes with at most one placeholder,
// "*" (any bytes, none included) or "+" (one byte or more), which may span
// "/": "/static/*", "/+/qr-code". What the placeholder covered when it fits
// ("" for a pattern without one), nothing when it does not.
std::optional<std::string_view> MatchPath(std::string_view pattern, std::string_view path);

}  // namespace snipora::service
