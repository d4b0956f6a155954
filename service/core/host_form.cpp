#include "service/core/host_form.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace snipora::service {
namespace {

// Above every IPv4 address: a part this big or bigger is refused, so the
// reading of a long run of digits stops growing there instead of overflowing.
constexpr uint64_t kTooBig = uint64_t(1) << 32;

std::vector<std::string_view> Parts(std::string_view host) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t dot = host.find('.');
    parts.push_back(host.substr(0, dot));
    if (dot == std::string_view::npos) return parts;
    host.remove_prefix(dot + 1);
  }
}

int DigitValue(char c, unsigned radix) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value >= 0 && unsigned(value) < radix ? value : -1;
}

// One part of an IPv4 address: decimal, "0x" hex (no digits: 0) or
// "0"-led octal; kTooBig and above are all read as kTooBig.
std::optional<uint64_t> Ipv4Number(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    radix = 16;
    part.remove_prefix(2);
  } else if (part.size() >= 2 && part[0] == '0') {
    radix = 8;
    part.remove_prefix(1);
  }
  uint64_t value = 0;
  for (char c : part) {
    const int digit = DigitValue(c, radix);
    if (digit < 0) return std::nullopt;
    value = value >= kTooBig ? kTooBig : value * radix + unsigned(digit);
  }
  return value;
}

// The URL Standard's test of whether a host is to be read as IPv4.
bool EndsInANumber(std::string_view host) {
  if (host.empty()) return false;
  if (host.back() == '.') host.remove_suffix(1);
  const std::size_t dot = host.rfind('.');
  const std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
  if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) return true;
  return Ipv4Number(last).has_value();
}

std::optional<uint32_t> ParseIpv4(std::string_view host) {
  std::vector<std::string_view> parts = Parts(host);
  if (parts.back().empty() && parts.size() > 1) parts.pop_back();  // one trailing dot
  if (parts.size() > 4) return std::nullopt;
  uint64_t address = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::optional<uint64_t> number = Ipv4Number(parts[i]);
    if (!number) return std::nullopt;
    const bool last = i + 1 == parts.size();
    // the last part fills the bytes the others left: 4 of them when alone
    const uint64_t limit = last ? uint64_t(1) << (8 * (5 - parts.size())) : 256;
    if (*number >= limit) return std::nullopt;
    address = last ? address + *number : address + (*number << (8 * (3 - i)));
  }
  return uint32_t(address);
}

std::string DottedIpv4(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
         std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

using Ipv6 = std::array<uint16_t, 8>;

// The URL Standard's IPv6 parser, on what stands between the brackets.
std::optional<Ipv6> ParseIpv6(std::string_view text) {
  Ipv6 address{};
  std::size_t piece = 0, at = 0;
  std::optional<std::size_t> compress;
  const auto c = [&](std::size_t offset = 0) { return at + offset < text.size() ? text[at + offset] : '\0'; };
  if (c() == ':') {
    if (c(1) != ':') return std::nullopt;
    at += 2;
    compress = ++piece;
  }
  while (c() != '\0') {
    if (piece == 8) return std::nullopt;
    if (c() == ':') {
      if (compress) return std::nullopt;
      ++at;
      compress = ++piece;
      continue;
    }
    unsigned value = 0, length = 0;
    while (length < 4 && DigitValue(c(), 16) >= 0) {
      value = value * 16 + unsigned(DigitValue(c(), 16));
      ++at, ++length;
    }
    if (c() == '.') {
      // an IPv4 address in the last two pieces: four decimal parts, no
      // leading zeros
      if (length == 0 || piece > 6) return std::nullopt;
      at -= length;
      int seen = 0;
      while (c() != '\0') {
        if (seen > 0) {
          if (c() != '.' || seen >= 4) return std::nullopt;
          ++at;
        }
        if (c() < '0' || c() > '9') return std::nullopt;
        int part = -1;
        while (c() >= '0' && c() <= '9') {
          if (part == 0) return std::nullopt;
          part = (part < 0 ? 0 : part * 10) + (c() - '0');
          if (part > 255) return std::nullopt;
          ++at;
        }
        address[piece] = uint16_t(address[piece] * 0x100 + part);
        if (++seen == 2 || seen == 4) ++piece;
      }
      if (seen != 4) return std::nullopt;
      break;
    }
    if (c() == ':') {
      ++at;
      if (c() == '\0') return std::nullopt;
    } else if (c() != '\0') {
      return std::nullopt;
    }
    address[piece++] = uint16_t(value);
  }
  if (compress) {
    // the pieces after "::" move to the end
    std::size_t swaps = piece - *compress;
    for (std::size_t index = 7; index != 0 && swaps > 0; --index, --swaps)
      std::swap(address[index], address[*compress + swaps - 1]);
  } else if (piece != 8) {
    return std::nullopt;
  }
  return address;
}

// Lower-case hex, the first longest run of two or more zero pieces as "::".
std::string WrittenIpv6(const Ipv6& address) {
  std::size_t bestStart = 8, bestLength = 1;
  for (std::size_t i = 0; i < 8;) {
    std::size_t length = 0;
    while (i + length < 8 && address[i + length] == 0) ++length;
    if (length > bestLength) bestStart = i, bestLength = length;
    i += length ? length : 1;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "[";
  for (std::size_t i = 0; i < 8; ++i) {
    if (i == bestStart) {
      out += i == 0 ? "::" : ":";
      i += bestLength - 1;
      continue;
    }
    bool leading = true;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const unsigned digit = (address[i] >> shift) & 15;
      if (digit == 0 && leading && shift > 0) continue;
      leading = false;
      out += kHex[digit];
    }
    if (i != 7) out += ':';
  }
  return out + "]";
}

bool IsMappedIpv4(const Ipv6& address) {
  return address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0 && address[4] == 0 &&
         address[5] == 0xFFFF;
}

}  // namespace

std::optional<std::string> CanonicalHost(std::string_view host) {
  if (host.starts_with('[')) {
    if (host.size() < 2 || host.back() != ']') return std::nullopt;
    const std::optional<Ipv6> address = ParseIpv6(host.substr(1, host.size() - 2));
    if (!address) return std::nullopt;
    if (IsMappedIpv4(*address)) return DottedIpv4(uint32_t((*address)[6]) << 16 | (*address)[7]);
    return WrittenIpv6(*address);
  }
  if (!EndsInANumber(host)) return std::string(host);
  const std::optional<uint32_t> address = ParseIpv4(host);
  if (!address) return std::nullopt;
  return DottedIpv4(*address);
}

bool IsIpHost(std::string_view canonical) {
  if (canonical.starts_with('[')) return true;
  return !canonical.empty() && canonical[0] >= '0' && canonical[0] <= '9' &&
         canonical.find_first_not_of("0123456789.") == std::string_view::npos;
}

bool IsLoopbackHost(std::string_view canonical) {
  if (canonical == "localhost" || canonical.ends_with(".localhost")) return true;
  if (canonical == "[::1]" || canonical == "[::]" || canonical == "0.0.0.0") return true;
  return IsIpHost(canonical) && canonical.starts_with("127.");
}

}  // namespace snipora::service
