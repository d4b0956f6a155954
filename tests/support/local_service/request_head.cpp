#include "tests/support/local_service/request_head.h"

#include <algorithm>

namespace snipora::test {
namespace {

constexpr std::size_t kMaxMethod = 16;

bool IsCapital(char c) { return c >= 'A' && c <= 'Z'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// The value of the first header line named `name`.
std::string HeaderValue(std::string_view head, std::string_view name) {
  std::size_t line = head.find('\n');
  while (line != std::string_view::npos && line + 1 < head.size()) {
    const std::size_t start = line + 1;
    const std::size_t end = std::min(head.find('\n', start), head.size());
    const std::string_view text = head.substr(start, end - start);
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && Trim(text.substr(0, colon)).size() == name.size() &&
        StartsWithNoCase(Trim(text.substr(0, colon)), name))
      return std::string(Trim(text.substr(colon + 1)));
    line = end < head.size() ? end : std::string_view::npos;
  }
  return {};
}

}  // namespace

std::size_t FindHeadEnd(std::string_view received) {
  const std::size_t crlf = received.find("\r\n\r\n");
  const std::size_t lf = received.find("\n\n");
  const std::size_t a = crlf == std::string_view::npos ? crlf : crlf + 4;
  const std::size_t b = lf == std::string_view::npos ? lf : lf + 2;
  return std::min(a, b);
}

bool CannotBeHttp(std::string_view received) {
  for (std::size_t i = 0; i < received.size(); ++i) {
    if (received[i] == ' ') return i == 0;
    if (!IsCapital(received[i]) || i >= kMaxMethod) return true;
  }
  return false;
}

std::optional<RequestHead> ParseRequestHead(std::string_view head) {
  const std::size_t lineEnd = head.find('\n');
  if (lineEnd == std::string_view::npos) return std::nullopt;
  std::string_view line = head.substr(0, lineEnd);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

  const std::size_t firstSpace = line.find(' ');
  const std::size_t lastSpace = line.rfind(' ');
  if (firstSpace == std::string_view::npos || lastSpace == firstSpace) return std::nullopt;
  RequestHead request;
  request.method = line.substr(0, firstSpace);
  request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
  request.version = line.substr(lastSpace + 1);
  if (request.method.empty() || request.method.size() > kMaxMethod ||
      !std::all_of(request.method.begin(), request.method.end(), IsCapital))
    return std::nullopt;
  if (!request.version.starts_with("HTTP/") || request.target.empty() ||
      request.target.find(' ') != std::string::npos)
    return std::nullopt;

  std::string_view target = request.target;
  if (StartsWithNoCase(target, "http://")) {
    target.remove_prefix(7);
    const std::size_t hostEnd = std::min(target.find_first_of("/?"), target.size());
    request.host = target.substr(0, hostEnd);
    target.remove_prefix(hostEnd);
    request.absolute = true;
    if (request.host.empty()) return std::nullopt;
  } else if (target.front() != '/') {
    return std::nullopt;
  } else {
    request.host = HeaderValue(head, "Host");
  }
  target = target.substr(0, std::min(target.find('#'), target.size()));
  const std::size_t question = std::min(target.find('?'), target.size());
  request.path = target.substr(0, question);
  if (request.path.empty()) request.path = "/";
  if (question < target.size()) request.query = target.substr(question + 1);
  return request;
}

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded.push_back(char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      decoded.push_back(' ');
    } else {
      decoded.push_back(c);
    }
  }
  return decoded;
}

std::optional<std::string> QueryValue(std::string_view query, std::string_view key) {
  while (true) {
    const std::size_t end = std::min(query.find('&'), query.size());
    const std::string_view pair = query.substr(0, end);
    const std::size_t equals = std::min(pair.find('='), pair.size());
    if (PercentDecode(pair.substr(0, equals), true) == key)
      return equals < pair.size() ? PercentDecode(pair.substr(equals + 1), true) : std::string();
    if (end == query.size()) return std::nullopt;
    query.remove_prefix(end + 1);
  }
}

}  // namespace snipora::test
