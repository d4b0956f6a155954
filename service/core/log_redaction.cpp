#include "service/core/log_redaction.h"

#include "service/core/request.h"

namespace snipora::service {
namespace {

// The parameters whose values are secrets, on every door: YOURLS's signature
// (also when timestamp-signed), Shlink's apiKey, and the names other clients
// use for a key or a password.
constexpr std::string_view kSecretNames[] = {"signature", "apikey", "api_key", "key",
                                             "token",     "access_token", "password"};

bool IsSecretName(std::string_view raw) {
  const std::optional<std::string> decoded = PercentDecode(raw, true);
  const std::string_view name = decoded ? std::string_view(*decoded) : raw;
  for (std::string_view secret : kSecretNames)
    if (SameNoCase(name, secret)) return true;
  return false;
}

}  // namespace

std::optional<std::string> RedactTarget(std::string_view target) {
  std::size_t rest = 0;  // where the part not yet looked at begins
  std::string out;
  bool redacted = false;
  if (StartsWithNoCase(target, "http://") || StartsWithNoCase(target, "https://")) {
    const std::size_t authority = target.find("://") + 3;
    const std::size_t end = target.find_first_of("/?#", authority);
    const std::size_t at = target.substr(authority, end - authority).rfind('@');
    if (at != std::string_view::npos) {
      out.append(target.substr(0, authority)).append("***");
      rest = authority + at;
      redacted = true;
    }
  }
  const std::size_t question = target.find('?', rest);
  if (question == std::string_view::npos && !redacted) return std::nullopt;
  out.append(target.substr(rest, question == std::string_view::npos ? std::string_view::npos : question + 1 - rest));
  if (question != std::string_view::npos) {
    std::string_view query = target.substr(question + 1);
    for (;;) {
      const std::size_t amp = query.find('&');
      const std::string_view piece = query.substr(0, amp);
      const std::size_t eq = piece.find('=');
      if (eq != std::string_view::npos && eq + 1 < piece.size() && IsSecretName(piece.substr(0, eq))) {
        out.append(piece.substr(0, eq + 1)).append("***");
        redacted = true;
      } else {
        out.append(piece);
      }
      if (amp == std::string_view::npos) break;
      out += '&';
      query.remove_prefix(amp + 1);
    }
  }
  if (!redacted) return std::nullopt;
  return out;
}

}  // namespace snipora::service
