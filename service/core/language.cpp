#include "service/core/language.h"

#include <array>
#include <string>

namespace snipora::service {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// A qvalue: "0", "1" or a fraction with up to three digits, in thousandths;
// -1 when it is not one (the range is then ignored, not guessed at).
int QValue(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return -1;
  int value = (text[0] - '0') * 1000;
  if (text.size() == 1) return value;
  if (text[1] != '.' || text.size() > 5) return -1;
  int scale = 100;
  for (char c : text.substr(2)) {
    if (c < '0' || c > '9') return -1;
    value += (c - '0') * scale;
    scale /= 10;
  }
  return value <= 1000 ? value : -1;
}

enum class Match { kNone, kZhCn, kEn, kAny };

Match MatchOf(const std::string& range) {
  if (range == "*") return Match::kAny;
  if (range == "zh" || range == "zh-cn" || range == "zh-sg" || range.starts_with("zh-hans")) return Match::kZhCn;
  if (range == "en" || range.starts_with("en-")) return Match::kEn;
  return Match::kNone;
}

}  // namespace

std::string_view LanguageTag(Language language) { return language == Language::kEn ? "en" : "zh-CN"; }

std::optional<Language> LanguageNamed(std::string_view tag) {
  const std::string lower = Lower(tag);
  if (lower == "zh-cn") return Language::kZhCn;
  if (lower == "en") return Language::kEn;
  return std::nullopt;
}

Language PreferredLanguage(std::string_view acceptLanguage) {
  // every browser names its languages; a client that names none is a script
  // or a tool, and keeps the English this service has always answered it
  if (Trim(acceptLanguage).empty()) return Language::kEn;
  // per language: the q of the first range naming it (-1: not named)
  std::array<int, 2> named{-1, -1};
  int any = -1;
  std::array<std::size_t, 2> position{0, 0};
  std::size_t index = 0;
  while (!acceptLanguage.empty()) {
    const std::size_t comma = acceptLanguage.find(',');
    std::string_view item = acceptLanguage.substr(0, comma);
    acceptLanguage = comma == std::string_view::npos ? std::string_view() : acceptLanguage.substr(comma + 1);
    ++index;
    const std::size_t semicolon = item.find(';');
    const std::string range = Lower(Trim(item.substr(0, semicolon)));
    int q = 1000;
    if (semicolon != std::string_view::npos) {
      std::string_view parameter = Trim(item.substr(semicolon + 1));
      if (parameter.size() < 2 || (parameter[0] != 'q' && parameter[0] != 'Q') || parameter[1] != '=') continue;
      q = QValue(Trim(parameter.substr(2)));
      if (q < 0) continue;
    }
    const Match match = MatchOf(range);
    if (match == Match::kAny) {
      if (any < 0) any = q;
    } else if (match != Match::kNone) {
      const std::size_t slot = match == Match::kEn ? 1 : 0;
      if (named[slot] < 0) {
        named[slot] = q;
        position[slot] = index;
      }
    }
  }
  // a language not named takes the wildcard's q, after every named range
  std::array<int, 2> q = named;
  for (std::size_t slot = 0; slot < 2; ++slot)
    if (q[slot] < 0 && any >= 0) {
      q[slot] = any;
      position[slot] = index + 1 + slot;
    }
  const bool zh = q[0] > 0, en = q[1] > 0;
  if (zh && en) return q[1] > q[0] || (q[1] == q[0] && position[1] < position[0]) ? Language::kEn : Language::kZhCn;
  if (en) return Language::kEn;
  if (zh) return Language::kZhCn;
  return q[0] == 0 && q[1] != 0 ? Language::kEn : Language::kZhCn;
}

Language ChooseLanguage(std::string_view acceptLanguage, std::string_view asked) {
  if (const std::optional<Language> named = LanguageNamed(asked)) return *named;
  return PreferredLanguage(acceptLanguage);
}

}  // namespace snipora::service
