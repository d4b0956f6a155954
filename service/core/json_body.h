#pragma once
// JSON through one library (nlohmann/json, from Debian), for every dialect the
// service reads and writes. Bodies are bounded before they are parsed: their
// size by --max-body (the transport cuts them), their nesting here, so a
// hostile body cannot make the parser recurse deep or the value's destructor
// walk a long chain.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace snipora::service {

// Members keep the order they were written in: answers read as documented.
using Json = nlohmann::ordered_json;

// The deepest nesting of arrays and objects a body may have.
inline constexpr std::size_t kMaxJsonDepth = 32;

// A body as JSON: nothing for malformed JSON (trailing bytes, bad escapes,
// lone surrogates, bytes that are not UTF-8) and for nesting deeper than
// kMaxJsonDepth.
std::optional<Json> ParseJsonBody(std::string_view body);

// A value as compact JSON text. Strings that are not UTF-8 (a note typed on
// the command line in another encoding) are written with U+FFFD in place of
// the bad bytes, never refused mid-answer.
std::string JsonText(const Json& value);

// A member of an object that is a string; nothing when absent or another kind.
const std::string* StringMember(const Json& object, std::string_view name);

}  // namespace snipora::service
