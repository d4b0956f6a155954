#pragma once
// Reading what a client sends: the request target in origin or absolute
// form, the query or form body, and the JSON body of the API. Bytes in,
// fields out; no platform, no allocation limits beyond the input's size.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

struct Target {
  std::string_view path;   // begins with "/"
  std::string_view query;  // after "?", without it; "" when there is none
};

// "/path?query", or the absolute form a proxy receives
// ("http://host[:port]/path?query", "http://host" alone meaning "/"); nothing
// for any other form ("*", an authority, a relative path, other schemes).
std::optional<Target> SplitTarget(std::string_view raw);

// A percent-encoded value; `plusIsSpace` for form values. Nothing when an
// escape is malformed ("%", "%4", "%G1").
std::optional<std::string> PercentDecode(std::string_view encoded, bool plusIsSpace);

struct Field {
  std::string name;
  std::string value;
};
// "a=1&b=2" as form fields, decoded; empty pieces are skipped, a name
// without "=" has the empty value. Nothing when any escape is malformed.
std::optional<std::vector<Field>> ParseForm(std::string_view form);
// The first field of that name.
const std::string* FindField(const std::vector<Field>& fields, std::string_view name);

// A flat JSON object's members with their kinds: a string decoded, the
// other scalars as their text ("12", "true"). Nothing for anything else, as
// below.
struct JsonField {
  std::string name;
  enum Kind { kString, kNumber, kTrue, kFalse, kNull } kind = kString;
  std::string value;
};
std::optional<std::vector<JsonField>> ParseJsonFields(std::string_view json);

// A flat JSON object whose values are strings, null, numbers or booleans;
// only the string values are kept (escapes decoded to UTF-8). Nothing for
// anything else: nested values, trailing bytes, bad escapes, lone surrogates.
std::optional<std::vector<Field>> ParseJsonObject(std::string_view json);

}  // namespace snipora::service
