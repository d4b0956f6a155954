#include "service/core/address_form.h"

#include <idn2.h>

#include <memory>
#include <optional>

#include "service/core/host_form.h"

namespace snipora::service {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr int kIdnaFlags = IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT;

struct IdnFree {
  void operator()(char* text) const { idn2_free(text); }
};
using IdnText = std::unique_ptr<char, IdnFree>;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Upper(char c) { return (c >= 'a' && c <= 'f') ? char(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

void AppendEscape(std::string& out, unsigned char byte) {
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

// The byte at `at` is "%" and two hex digits.
bool EscapeAt(std::string_view text, std::size_t at) {
  return at + 2 < text.size() && text[at] == '%' && HexValue(text[at + 1]) >= 0 && HexValue(text[at + 2]) >= 0;
}

// The length of the well-formed UTF-8 sequence at the start of `bytes` and
// its code point; 0 when there is none.
std::size_t Utf8Sequence(std::string_view bytes, char32_t* codePoint) {
  if (bytes.empty()) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  std::size_t length;
  char32_t value;
  char32_t least;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if ((byte & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

// Characters a reader cannot see or that turn the text around them: shown
// escaped, so an address cannot pass for another one.
bool Hidden(char32_t c) {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kHidden[] = {
      {0x00, 0xA0},       {0xAD, 0xAD},       {0x34F, 0x34F},     {0x61C, 0x61C},   {0x115F, 0x1160},
      {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2028, 0x202F}, {0x205F, 0x206F},
      {0x3000, 0x3000},   {0x3164, 0x3164},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0},
      {0xFFF0, 0xFFFF},   {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
  };
  for (const Range& range : kHidden)
    if (c >= range.first && c <= range.last) return true;
  return false;
}

// What a URL may not hold raw, beyond controls, space and non-ASCII bytes.
// "\" stays: browsers read it as "/" in http addresses, an escape would not.
bool EscapedInStoredForm(unsigned char byte) {
  if (byte <= 0x20 || byte >= 0x7F) return true;
  for (char c : std::string_view("\"<>^`{|}"))
    if (byte == static_cast<unsigned char>(c)) return true;
  return false;
}

// scheme "://" host [":" port] rest, as CheckAddress reads it.
struct Pieces {
  std::string_view scheme, host, port, rest;
};

bool Split(std::string_view address, Pieces* pieces) {
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || address.substr(colon, 3) != "://") return false;
  pieces->scheme = address.substr(0, colon);
  std::string_view authority = address.substr(colon + 3);
  const std::size_t end = authority.find_first_of("/?#");
  pieces->rest = authority.substr(end == std::string_view::npos ? authority.size() : end);  // points into address
  authority = authority.substr(0, end == std::string_view::npos ? authority.size() : end);
  std::size_t portColon;
  if (!authority.empty() && authority[0] == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    portColon = close + 1 < authority.size() ? close + 1 : std::string_view::npos;
    if (portColon != std::string_view::npos && authority[portColon] != ':') return false;
  } else {
    portColon = authority.find(':');
  }
  pieces->host = authority.substr(0, portColon);
  pieces->port = portColon == std::string_view::npos ? std::string_view() : authority.substr(portColon + 1);
  return true;
}

bool HasAceLabel(std::string_view host) {
  for (std::size_t at = 0; at < host.size();) {
    if (host.substr(at, 4) == "xn--") return true;
    const std::size_t dot = host.find('.', at);
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  return false;
}

bool NonAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

std::optional<std::string> ToAscii(const std::string& host) {
  char* out = nullptr;
  if (idn2_to_ascii_8z(host.c_str(), &out, kIdnaFlags) != IDN2_OK) return std::nullopt;
  return std::string(IdnText(out).get());
}

std::string ReadableHost(std::string_view host) {
  std::string lower;
  for (char c : host) lower += Lower(c);
  if (!HasAceLabel(lower) || NonAscii(lower) || lower.find('\0') != std::string::npos) return std::string(host);
  char* out = nullptr;
  if (idn2_to_unicode_8z8z(lower.c_str(), &out, 0) != IDN2_OK) return std::string(host);
  const IdnText unicode(out);
  // only a name that encodes back to this one: never show a host that leads elsewhere
  const std::optional<std::string> back = ToAscii(unicode.get());
  return back && *back == lower ? std::string(unicode.get()) : std::string(host);
}

// `text` with bytes that are not UTF-8, controls and hidden characters as
// %XX; with `decodeEscapes`, escapes of printable non-ASCII characters as the
// characters.
void AppendReadable(std::string& out, std::string_view text, bool decodeEscapes) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size();) {
    if (decodeEscapes && EscapeAt(text, i)) {
      // the run of escapes that could make one character (4 at most)
      decoded.clear();
      std::size_t at = i;
      while (decoded.size() < 4 && EscapeAt(text, at)) {
        decoded += char(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
        at += 3;
      }
      char32_t c = 0;
      const std::size_t length = Utf8Sequence(decoded, &c);
      if (length > 1 && !Hidden(c)) {
        out.append(decoded, 0, length);
        i += 3 * length;
      } else {
        out.append(text.substr(i, 3));
        i += 3;
      }
      continue;
    }
    char32_t c = 0;
    const std::size_t length = Utf8Sequence(text.substr(i, 4), &c);
    if (length == 0 || (length == 1 && (c < 0x20 || c == 0x7F))) {
      AppendEscape(out, static_cast<unsigned char>(text[i]));
      ++i;
    } else if (length > 1 && Hidden(c)) {
      for (std::size_t k = 0; k < length; ++k) AppendEscape(out, static_cast<unsigned char>(text[i + k]));
      i += length;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
}

}  // namespace

// An IP literal or ASCII name goes through CanonicalHost alone; anything
// with non-ASCII or an ACE label through UTS #46 first, refused when IDNA
// refuses it or maps it to a character a host name cannot hold ("／"
// becomes "/").
StoredHost StoredHostOf(std::string_view host) {
  std::string lower;
  for (char c : host) lower += Lower(c);
  if (lower.find('\0') != std::string::npos) return {Refusal::kBadIdnaHost, {}};
  if (!lower.empty() && lower[0] != '[' && (NonAscii(lower) || HasAceLabel(lower))) {
    std::optional<std::string> ascii = ToAscii(lower);
    if (!ascii) return {Refusal::kBadIdnaHost, {}};
    for (char c : *ascii) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
      if (!ok) return {Refusal::kBadIdnaHost, {}};
    }
    lower = std::move(*ascii);
  }
  std::optional<std::string> canonical = CanonicalHost(lower);
  if (!canonical) return {Refusal::kMalformed, {}};
  return {Refusal::kAccepted, std::move(*canonical)};
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = Utf8Sequence(text.substr(i, 4), &c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

StoredForm StoredAddress(std::string_view accepted) {
  if (!IsUtf8(accepted)) return {Refusal::kNotUtf8, {}};
  Pieces pieces;
  if (!Split(accepted, &pieces)) return {Refusal::kMalformed, {}};
  const StoredHost host = StoredHostOf(pieces.host);
  if (host.refusal != Refusal::kAccepted) return {host.refusal, {}};

  StoredForm form;
  std::string& out = form.address;
  out.reserve(accepted.size() + accepted.size() / 2);
  for (char c : pieces.scheme) out += Lower(c);
  out += "://";
  out += host.host;
  // the port as a number, and none when it is the scheme's own: browsers
  // send "http://e.com:80/" as "http://e.com/", and so will we
  unsigned port = 0;
  for (char c : pieces.port) {
    if (c < '0' || c > '9' || port > 65535) return {Refusal::kMalformed, {}};
    port = port * 10 + unsigned(c - '0');
  }
  const bool defaultPort = (out.starts_with("http:") && port == 80) || (out.starts_with("https:") && port == 443);
  if (!pieces.port.empty() && !defaultPort) out += ":" + std::to_string(port);
  if (pieces.rest.empty() || pieces.rest[0] != '/') out += '/';

  const std::string_view rest = pieces.rest;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const auto byte = static_cast<unsigned char>(rest[i]);
    if (EscapeAt(rest, i)) {
      out += '%';
      out += Upper(rest[i + 1]);
      out += Upper(rest[i + 2]);
      i += 2;
    } else if (byte == '%' || EscapedInStoredForm(byte)) {
      AppendEscape(out, byte);  // a "%" that starts no escape stands for itself
    } else {
      out += rest[i];
    }
  }
  return form;
}

StoredForm AcceptAddress(std::string_view address, const OwnHosts& own, const DenyList& denied) {
  AddressCheck check = CheckAddress(address, own, denied);
  if (check.refusal != Refusal::kAccepted) return {check.refusal, {}};
  StoredForm form = StoredAddress(address);
  if (form.refusal != Refusal::kAccepted) return form;
  check = CheckAddress(form.address, own, denied);
  if (check.refusal != Refusal::kAccepted) return {check.refusal, {}};
  return form;
}

std::string ReadableAddress(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  Pieces pieces;
  if (!Split(stored, &pieces)) {
    AppendReadable(out, stored, true);
    return out;
  }
  AppendReadable(out, stored.substr(0, pieces.host.data() - stored.data()), false);
  AppendReadable(out, ReadableHost(pieces.host), false);
  AppendReadable(out, stored.substr(pieces.host.data() + pieces.host.size() - stored.data(),
                                    pieces.rest.data() - pieces.host.data() - pieces.host.size()),
                 false);
  AppendReadable(out, pieces.rest, true);
  return out;
}

}  // namespace snipora::service
