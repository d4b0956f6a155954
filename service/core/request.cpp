#include "service/core/request.h"

#include <algorithm>
#include <utility>

namespace snipora::service {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
bool SameLetter(char a, char b) { return Lower(a) == Lower(b); }

}  // namespace

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameLetter);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameNoCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), SameLetter) != text.end();
}

std::optional<Target> SplitTarget(std::string_view raw) {
  if (StartsWithNoCase(raw, "http://") || StartsWithNoCase(raw, "https://")) {
    const std::size_t authority = raw.find("://") + 3;
    const std::size_t end = raw.find_first_of("/?", authority);
    if (end == authority) return std::nullopt;  // no host
    if (end == std::string_view::npos) return Target{"/", ""};
    if (raw[end] == '?') return Target{"/", raw.substr(end + 1)};
    raw.remove_prefix(end);
  }
  if (raw.empty() || raw[0] != '/') return std::nullopt;
  const std::size_t question = raw.find('?');
  if (question == std::string_view::npos) return Target{raw, ""};
  return Target{raw.substr(0, question), raw.substr(question + 1)};
}

std::optional<std::string> PercentDecode(std::string_view encoded, bool plusIsSpace) {
  std::string out;
  out.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '%') {
      if (encoded.size() - i < 3) return std::nullopt;
      const int high = HexValue(encoded[i + 1]);
      const int low = HexValue(encoded[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += char(high << 4 | low);
      i += 2;
    } else {
      out += (plusIsSpace && c == '+') ? ' ' : c;
    }
  }
  return out;
}

std::optional<std::vector<Field>> ParseForm(std::string_view form) {
  std::vector<Field> fields;
  while (!form.empty()) {
    const std::size_t amp = form.find('&');
    const std::string_view piece = form.substr(0, amp);
    form = amp == std::string_view::npos ? std::string_view() : form.substr(amp + 1);
    if (piece.empty()) continue;
    const std::size_t eq = piece.find('=');
    std::optional<std::string> name = PercentDecode(piece.substr(0, eq), true);
    std::optional<std::string> value =
        PercentDecode(eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1), true);
    if (!name || !value) return std::nullopt;
    fields.push_back({std::move(*name), std::move(*value)});
  }
  return fields;
}

const std::string* FindField(const std::vector<Field>& fields, std::string_view name) {
  for (const Field& field : fields)
    if (field.name == name) return &field.value;
  return nullptr;
}

}  // namespace snipora::service
