#pragma once
// The head of one HTTP request as the local service reads it: in origin form
// ("GET /path HTTP/1.0") or in the absolute form a proxy receives
// ("GET http://host:80/path HTTP/1.0").
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace snipora::test {

// No request head is longer than this; a longer one is refused unread.
inline constexpr std::size_t kMaxRequestHead = 16 * 1024;

struct RequestHead {
  std::string method;
  std::string target;   // as sent
  std::string version;  // "HTTP/1.0"
  std::string host;     // from an absolute target, else from the Host header; may be empty
  std::string path;     // from the first "/" up to the query, never empty
  std::string query;    // after the "?", without it
  bool absolute = false;
};

// Where the head ends (just past its blank line), or npos while it goes on.
std::size_t FindHeadEnd(std::string_view received);

// True when these first bytes cannot begin an HTTP request (a TLS handshake,
// binary garbage): the method must be 1 to 16 capital letters and a space.
bool CannotBeHttp(std::string_view received);

// Nothing when the request line is malformed or its target is neither form.
std::optional<RequestHead> ParseRequestHead(std::string_view head);

// %XX becomes its byte (a malformed escape stays as it is); with plusIsSpace,
// "+" becomes a space, as form encoding has it.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

// The decoded value of the first `key` in a form-encoded query; nothing when
// the key is absent.
std::optional<std::string> QueryValue(std::string_view query, std::string_view key);

}  // namespace snipora::test
