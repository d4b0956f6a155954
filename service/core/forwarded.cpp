#include "service/core/forwarded.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace snipora::service {
namespace {

constexpr std::string_view kSpace = " \t";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// The 16 bytes of an address literal (IPv4 mapped into IPv6).
std::optional<std::array<uint8_t, 16>> AddressBytes(std::string_view text) {
  char buffer[INET6_ADDRSTRLEN + 1];
  if (text.empty() || text.size() >= sizeof buffer) return std::nullopt;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  std::array<uint8_t, 16> bytes{};
  if (inet_pton(AF_INET, buffer, bytes.data() + 12) == 1) {
    bytes[10] = bytes[11] = 0xFF;
    return bytes;
  }
  if (inet_pton(AF_INET6, buffer, bytes.data()) == 1) return bytes;
  return std::nullopt;
}

bool IsMappedV4(const std::array<uint8_t, 16>& bytes) {
  static constexpr uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(bytes.data(), kPrefix, sizeof kPrefix) == 0;
}

// A node as a header may carry it: quoted, "[v6]" with or without a port,
// "v4:port". Only the address.
std::string_view StripNode(std::string_view node) {
  node = Trim(node);
  if (node.size() >= 2 && node.front() == '"' && node.back() == '"') node = Trim(node.substr(1, node.size() - 2));
  if (!node.empty() && node.front() == '[') {
    const std::size_t close = node.find(']');
    return close == std::string_view::npos ? std::string_view() : node.substr(1, close - 1);
  }
  // one colon: IPv4 with a port; more: a bare IPv6 address
  if (const std::size_t colon = node.find(':'); colon != std::string_view::npos && node.find(':', colon + 1) ==
                                                                                     std::string_view::npos)
    return node.substr(0, colon);
  return node;
}

// Splits on `separator`, each piece trimmed, empty pieces kept out.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  while (!text.empty()) {
    const std::size_t at = text.find(separator);
    const std::string_view piece = Trim(text.substr(0, at));
    if (!piece.empty()) pieces.push_back(piece);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return pieces;
}

// The for= values of a Forwarded header, in order. A value may be quoted and
// hold ',' or ';' ("[2001:db8::1]:80"), so quotes are respected.
std::vector<std::string_view> ForwardedFor(std::string_view header) {
  std::vector<std::string_view> nodes;
  std::size_t i = 0;
  while (i < header.size()) {
    // one element: pairs separated by ';', up to a ',' outside quotes
    bool quoted = false;
    std::size_t pairStart = i;
    for (; i <= header.size(); ++i) {
      const char c = i < header.size() ? header[i] : ',';
      if (c == '"') quoted = !quoted;
      if (quoted && i < header.size()) continue;
      if (c == ';' || c == ',') {
        const std::string_view pair = Trim(header.substr(pairStart, i - pairStart));
        if (pair.size() > 4 && (pair[0] | 0x20) == 'f' && (pair[1] | 0x20) == 'o' && (pair[2] | 0x20) == 'r' &&
            pair[3] == '=')
          nodes.push_back(pair.substr(4));
        pairStart = i + 1;
        if (c == ',') {
          ++i;
          break;
        }
      }
    }
  }
  return nodes;
}

}  // namespace

std::optional<AddressRanges> AddressRanges::Parse(std::string_view text, std::string* error) {
  AddressRanges result;
  std::string spaced(text);
  for (char& c : spaced)
    if (c == ',' || c == '\t' || c == '\n') c = ' ';
  for (std::string_view entry : Split(spaced, ' ')) {
    const std::size_t slash = entry.find('/');
    const std::optional<std::array<uint8_t, 16>> bytes = AddressBytes(entry.substr(0, slash));
    unsigned bits = 128;
    bool good = bytes.has_value();
    if (good && slash != std::string_view::npos) {
      const std::string_view length = entry.substr(slash + 1);
      const auto [end, status] = std::from_chars(length.data(), length.data() + length.size(), bits);
      const unsigned most = IsMappedV4(*bytes) && entry.find(':') == std::string_view::npos ? 32 : 128;
      good = !length.empty() && status == std::errc() && end == length.data() + length.size() && bits <= most;
      if (most == 32) bits += 96;
    }
    if (!good) {
      if (error) *error = "'" + std::string(entry) + "' is not an IP address or CIDR range";
      return std::nullopt;
    }
    result.ranges_.push_back({*bytes, bits});
  }
  return result;
}

bool AddressRanges::Contains(std::string_view address) const {
  const std::optional<std::array<uint8_t, 16>> bytes = AddressBytes(address);
  if (!bytes) return false;
  for (const Range& range : ranges_) {
    const unsigned whole = range.bits / 8, rest = range.bits % 8;
    if (std::memcmp(bytes->data(), range.bytes.data(), whole) != 0) continue;
    if (rest && ((((*bytes)[whole] ^ range.bytes[whole]) >> (8 - rest)) != 0)) continue;
    return true;
  }
  return false;
}

std::optional<std::string> CanonicalAddress(std::string_view text) {
  const std::optional<std::array<uint8_t, 16>> bytes = AddressBytes(StripNode(text));
  if (!bytes) return std::nullopt;
  char out[INET6_ADDRSTRLEN];
  if (IsMappedV4(*bytes)) return inet_ntop(AF_INET, bytes->data() + 12, out, sizeof out);
  return inet_ntop(AF_INET6, bytes->data(), out, sizeof out);
}

std::string ForwardedClient(std::string_view peer, std::string_view xForwardedFor, std::string_view forwarded,
                            const AddressRanges& trusted) {
  if (trusted.empty() || !trusted.Contains(peer)) return std::string(peer);
  const std::vector<std::string_view> hops =
      !Trim(xForwardedFor).empty() ? Split(xForwardedFor, ',') : ForwardedFor(forwarded);
  std::optional<std::string> client;
  for (auto hop = hops.rbegin(); hop != hops.rend(); ++hop) {
    client = CanonicalAddress(*hop);
    // "unknown", an obfuscated node or garbage: nothing behind it can be believed
    if (!client) return std::string(peer);
    if (!trusted.Contains(*client)) return *client;
  }
  return client ? *client : std::string(peer);
}

}  // namespace snipora::service
