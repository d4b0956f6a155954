#include "service/core/dns_message.h"

namespace snipora::service {
namespace {

constexpr uint16_t kTypeA = 1, kClassIn = 1;

void PutShort(std::string& out, uint16_t value) {
  out += char(value >> 8);
  out += char(value & 0xFF);
}

struct Reader {
  std::string_view message;
  std::size_t at = 0;
  bool ok = true;

  uint16_t Short() {
    if (at + 2 > message.size()) {
      ok = false;
      return 0;
    }
    const uint16_t value = uint16_t((uint8_t(message[at]) << 8) | uint8_t(message[at + 1]));
    at += 2;
    return value;
  }
  void Skip(std::size_t bytes) {
    if (at + bytes > message.size()) ok = false;
    else at += bytes;
  }
  // Past a name: labels, ending in a zero byte or a pointer (not followed:
  // where it leads does not matter here).
  void SkipName() {
    for (int labels = 0; ok && labels < 128; ++labels) {
      if (at >= message.size()) break;
      const uint8_t length = uint8_t(message[at]);
      if ((length & 0xC0) == 0xC0) return Skip(2);
      if (length & 0xC0) break;  // the reserved label types
      Skip(1u + length);
      if (length == 0) return;
    }
    ok = false;
  }
};

}  // namespace

std::optional<std::string> DnsQuery(uint16_t id, std::string_view name) {
  while (!name.empty() && name.back() == '.') name.remove_suffix(1);
  if (name.empty() || name.size() > 253) return std::nullopt;
  std::string out;
  PutShort(out, id);
  PutShort(out, 0x0100);  // a query, recursion desired
  PutShort(out, 1);
  PutShort(out, 0);
  PutShort(out, 0);
  PutShort(out, 0);
  while (!name.empty()) {
    const std::size_t dot = name.find('.');
    const std::string_view label = name.substr(0, dot);
    if (label.empty() || label.size() > 63) return std::nullopt;
    out += char(label.size());
    out += label;
    name = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  }
  out += '\0';
  PutShort(out, kTypeA);
  PutShort(out, kClassIn);
  return out;
}

DnsAnswer ReadDnsAnswer(std::string_view message, uint16_t id) {
  DnsAnswer answer;
  Reader reader{message};
  const uint16_t gotId = reader.Short(), flags = reader.Short();
  const uint16_t questions = reader.Short(), answers = reader.Short();
  reader.Skip(4);  // the authority and additional counts
  if (!reader.ok || gotId != id || !(flags & 0x8000)) return answer;
  const unsigned rcode = flags & 0xF;
  if (rcode == 3) {
    answer.outcome = DnsAnswer::kNotListed;
    return answer;
  }
  if (rcode != 0) return answer;
  for (unsigned i = 0; i < questions && reader.ok; ++i) {
    reader.SkipName();
    reader.Skip(4);
  }
  for (unsigned i = 0; i < answers && reader.ok; ++i) {
    reader.SkipName();
    const uint16_t type = reader.Short(), klass = reader.Short();
    reader.Skip(4);  // the TTL
    const uint16_t length = reader.Short();
    if (!reader.ok || reader.at + length > message.size()) return {};
    if (type == kTypeA && klass == kClassIn && length == 4) {
      std::string dotted;
      for (int b = 0; b < 4; ++b)
        dotted += (b ? "." : "") + std::to_string(uint8_t(message[reader.at + std::size_t(b)]));
      answer.addresses.push_back(std::move(dotted));
    }
    reader.Skip(length);
  }
  if (!reader.ok) return {};
  answer.outcome = answer.addresses.empty() ? DnsAnswer::kNotListed : DnsAnswer::kListed;
  return answer;
}

}  // namespace snipora::service
