#include "service/core/request.h"

#include <cstdint>
#include <utility>

namespace snipora::service {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | cp >> 6);
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | cp >> 12);
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | cp >> 18);
    out += char(0x80 | (cp >> 12 & 0x3F));
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  std::optional<std::vector<JsonField>> Object() {
    std::vector<JsonField> fields;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return End(std::move(fields));
    do {
      std::optional<std::string> name = String();
      if (!name || !Take(':')) return std::nullopt;
      Skip();
      if (Peek() == '"') {
        std::optional<std::string> value = String();
        if (!value) return std::nullopt;
        fields.push_back({std::move(*name), JsonField::kString, std::move(*value)});
      } else {
        const std::size_t start = at_;
        const std::optional<JsonField::Kind> kind = Scalar();
        if (!kind) return std::nullopt;
        fields.push_back({std::move(*name), *kind, std::string(text_.substr(start, at_ - start))});
      }
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return End(std::move(fields));
  }

 private:
  std::optional<std::vector<JsonField>> End(std::vector<JsonField> fields) {
    Skip();
    if (at_ != text_.size()) return std::nullopt;
    return fields;
  }
  void Skip() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool Take(char c) {
    Skip();
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  // true, false, null or a number (its text as it came).
  std::optional<JsonField::Kind> Scalar() {
    constexpr std::pair<std::string_view, JsonField::Kind> kWords[] = {
        {"true", JsonField::kTrue}, {"false", JsonField::kFalse}, {"null", JsonField::kNull}};
    for (const auto& [word, kind] : kWords) {
      if (text_.substr(at_, word.size()) == word) {
        at_ += word.size();
        return kind;
      }
    }
    const std::size_t start = at_;
    while (at_ < text_.size() && std::string_view("+-.0123456789eE").find(text_[at_]) != std::string_view::npos) ++at_;
    if (at_ == start) return std::nullopt;
    return JsonField::kNumber;
  }
  std::optional<uint32_t> Hex4() {
    if (text_.size() - at_ < 4) return std::nullopt;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexValue(text_[at_++]);
      if (digit < 0) return std::nullopt;
      value = value << 4 | uint32_t(digit);
    }
    return value;
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ == text_.size()) return std::nullopt;
      const char e = text_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::optional<uint32_t> cp = Hex4();
          if (!cp || (*cp >= 0xDC00 && *cp <= 0xDFFF)) return std::nullopt;
          if (*cp >= 0xD800 && *cp <= 0xDBFF) {
            if (text_.substr(at_, 2) != "\\u") return std::nullopt;
            at_ += 2;
            const std::optional<uint32_t> low = Hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
            *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
          }
          AppendUtf8(out, *cp);
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

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

std::optional<std::vector<JsonField>> ParseJsonFields(std::string_view json) { return JsonReader(json).Object(); }

std::optional<std::vector<Field>> ParseJsonObject(std::string_view json) {
  std::optional<std::vector<JsonField>> all = ParseJsonFields(json);
  if (!all) return std::nullopt;
  std::vector<Field> fields;
  for (JsonField& field : *all)
    if (field.kind == JsonField::kString) fields.push_back({std::move(field.name), std::move(field.value)});
  return fields;
}

}  // namespace snipora::service
