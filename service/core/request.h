#pragma once
// Reading what a client sends: the request target in origin or absolute
// form, and the query or form body (JSON bodies: json_body.h). Bytes in,
// fields out; no platform, no allocation limits beyond the input's size.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

// ASCII letters alike in either case: schemes, header names, media types.
bool SameNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool ContainsNoCase(std::string_view text, std::string_view part);

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

}  // namespace snipora::service
