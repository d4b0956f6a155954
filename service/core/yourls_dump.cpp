#include "service/core/yourls_dump.h"

#include <algorithm>

#include "service/core/numbers.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

// The columns kept, and the table's own order of them.
enum Column { kKeyword, kUrl, kTitle, kTimestamp, kIp, kClicks, kColumns };
constexpr std::string_view kColumnNames[kColumns] = {"keyword", "url", "title", "timestamp", "ip", "clicks"};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// "YYYY-MM-DD HH:MM:SS" as YOURLS stores it, read as UTC; MySQL's zero date
// as 1970.
std::optional<int64_t> SqlTime(std::string_view text) {
  if (text.starts_with("0000-00-00")) return 0;
  if (text.size() < 19 || text[10] != ' ') return std::nullopt;
  std::string iso(text.substr(0, 19));
  iso[10] = 'T';
  const std::optional<long long> at = ParseTime(iso + "Z");
  return at ? std::optional<int64_t>(*at) : std::nullopt;
}

}  // namespace

std::string MysqlUnescape(std::string_view quoted, char quote) {
  std::string out;
  out.reserve(quoted.size());
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == quote && i + 1 < quoted.size() && quoted[i + 1] == quote) {
      out += quote;
      ++i;
    } else if (c == '\\' && i + 1 < quoted.size()) {
      const char next = quoted[++i];
      switch (next) {
        case '0': out += '\0'; break;
        case 'b': out += '\b'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'Z': out += '\x1a'; break;
        case '%':
        case '_': out += '\\'; out += next; break;
        default: out += next; break;  // \' \" \\ and any other
      }
    } else {
      out += c;
    }
  }
  return out;
}

std::size_t YourlsDumpReader::LineAt(std::size_t at) {
  // lines are counted forward only, as the reading goes
  if (at > lineCounted_) {
    lineOfCounted_ += std::size_t(std::count(text_.begin() + std::ptrdiff_t(lineCounted_),
                                             text_.begin() + std::ptrdiff_t(at), '\n'));
    lineCounted_ = at;
  }
  return lineOfCounted_;
}

void YourlsDumpReader::SkipSpaceAndComments() {
  while (at_ < text_.size()) {
    const char c = text_[at_];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++at_;
    } else if (c == '#' || (text_.substr(at_, 2) == "--" &&
                            (at_ + 2 == text_.size() || text_[at_ + 2] == ' ' || text_[at_ + 2] == '\t' ||
                             text_[at_ + 2] == '\n' || text_[at_ + 2] == '\r'))) {
      at_ = std::min(text_.find('\n', at_), text_.size());
    } else if (text_.substr(at_, 2) == "/*") {
      // a version comment (/*!40101 ... */) is a statement for MySQL, nothing for the links
      const std::size_t end = text_.find("*/", at_ + 2);
      at_ = end == std::string_view::npos ? text_.size() : end + 2;
    } else {
      return;
    }
  }
}

void YourlsDumpReader::SkipStatement() {
  while (at_ < text_.size()) {
    const char c = text_[at_];
    if (c == ';') {
      ++at_;
      return;
    }
    if (c == '\'' || c == '"' || c == '`') {
      ++at_;
      while (at_ < text_.size()) {
        const char inner = text_[at_++];
        if (inner == '\\' && c != '`') {
          ++at_;
        } else if (inner == c) {
          if (at_ < text_.size() && text_[at_] == c) ++at_;  // doubled
          else break;
        }
      }
      continue;
    }
    if (c == '#' || c == '-' || c == '/') {
      const std::size_t before = at_;
      SkipSpaceAndComments();
      if (at_ != before) continue;
    }
    ++at_;
  }
}

bool YourlsDumpReader::StartInsert() {
  const auto word = [&]() -> std::string_view {
    SkipSpaceAndComments();
    const std::size_t start = at_;
    while (at_ < text_.size() && IsWordChar(text_[at_])) ++at_;
    return text_.substr(start, at_ - start);
  };
  const auto name = [&]() -> std::optional<std::string> {
    SkipSpaceAndComments();
    if (at_ < text_.size() && text_[at_] == '`') {
      const std::size_t end = text_.find('`', at_ + 1);
      if (end == std::string_view::npos) return std::nullopt;
      std::string found(text_.substr(at_ + 1, end - at_ - 1));
      at_ = end + 1;
      return found;
    }
    const std::string_view bare = word();
    return bare.empty() ? std::nullopt : std::optional<std::string>(bare);
  };
  const std::size_t start = at_;
  std::string_view verb = word();
  if (!SameWord(verb, "INSERT") && !SameWord(verb, "REPLACE")) {
    at_ = start;
    return false;
  }
  std::string_view next = word();
  while (SameWord(next, "LOW_PRIORITY") || SameWord(next, "DELAYED") || SameWord(next, "HIGH_PRIORITY") ||
         SameWord(next, "IGNORE"))
    next = word();
  if (!SameWord(next, "INTO")) return false;
  std::optional<std::string> table = name();
  SkipSpaceAndComments();
  while (table && at_ < text_.size() && text_[at_] == '.') {  // `database`.`table`
    ++at_;
    table = name();
    SkipSpaceAndComments();
  }
  if (!table) return false;
  std::string lower;
  for (char c : *table) lower += Lower(c);
  if (lower != "url" && !lower.ends_with("_url")) return false;
  columns_.clear();
  if (at_ < text_.size() && text_[at_] == '(') {
    ++at_;
    for (;;) {
      const std::optional<std::string> column = name();
      if (!column) return false;
      const auto known = std::find_if(std::begin(kColumnNames), std::end(kColumnNames),
                                      [&](std::string_view one) { return SameWord(one, *column); });
      columns_.push_back(known == std::end(kColumnNames) ? -1 : int(known - std::begin(kColumnNames)));
      SkipSpaceAndComments();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < text_.size() && text_[at_] == ')') {
        ++at_;
        break;
      }
      return false;
    }
  } else {
    for (int column = 0; column < kColumns; ++column) columns_.push_back(column);
  }
  const std::string_view values = word();
  if (!SameWord(values, "VALUES") && !SameWord(values, "VALUE")) return false;
  inRows_ = true;
  return true;
}

bool YourlsDumpReader::ReadValue(std::optional<std::string>& value, std::string& error) {
  SkipSpaceAndComments();
  if (at_ >= text_.size()) {
    error = "the dump ends inside a row";
    return false;
  }
  // a character set introducer (_binary '...', _utf8mb4'...') says how to read the bytes: they are kept as they are
  if (text_[at_] == '_') {
    std::size_t after = at_ + 1;
    while (after < text_.size() && IsWordChar(text_[after])) ++after;
    at_ = after;
    SkipSpaceAndComments();
  }
  const char c = at_ < text_.size() ? text_[at_] : '\0';
  if (c == '\'' || c == '"') {
    std::size_t i = at_ + 1;
    for (;;) {
      if (i >= text_.size()) {
        error = "a string is not closed";
        return false;
      }
      if (text_[i] == '\\') {
        i += 2;
      } else if (text_[i] == c) {
        if (i + 1 < text_.size() && text_[i + 1] == c) i += 2;
        else break;
      } else {
        ++i;
      }
    }
    value = MysqlUnescape(text_.substr(at_ + 1, i - at_ - 1), c);
    at_ = i + 1;
    return true;
  }
  const std::size_t start = at_;
  if (text_.substr(at_, 2) == "0x" || text_.substr(at_, 2) == "0X") {  // --hex-blob
    at_ += 2;
    std::string bytes;
    const auto nibble = [](char h) {
      return h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
    };
    while (at_ + 1 < text_.size() && nibble(text_[at_]) >= 0 && nibble(text_[at_ + 1]) >= 0) {
      bytes += char(nibble(text_[at_]) * 16 + nibble(text_[at_ + 1]));
      at_ += 2;
    }
    value = std::move(bytes);
    return true;
  }
  while (at_ < text_.size() && (IsWordChar(text_[at_]) || text_[at_] == '-' || text_[at_] == '+' || text_[at_] == '.'))
    ++at_;
  const std::string_view bare = text_.substr(start, at_ - start);
  if (bare.empty()) {
    error = "a value is expected";
    return false;
  }
  if (SameWord(bare, "NULL")) value.reset();
  else value = std::string(bare);
  return true;
}

bool YourlsDumpReader::ReadRow(Values& values, std::string& error) {
  SkipSpaceAndComments();
  if (at_ >= text_.size() || text_[at_] != '(') {
    error = "a row ( ... ) is expected";
    return false;
  }
  ++at_;
  values.clear();
  for (;;) {
    std::optional<std::string> value;
    if (!ReadValue(value, error)) return false;
    values.push_back(std::move(value));
    SkipSpaceAndComments();
    if (at_ < text_.size() && text_[at_] == ',') {
      ++at_;
      continue;
    }
    if (at_ < text_.size() && text_[at_] == ')') {
      ++at_;
      break;
    }
    error = "a row's values must be separated by commas and end in )";
    return false;
  }
  SkipSpaceAndComments();
  if (at_ < text_.size() && text_[at_] == ',') {
    ++at_;
  } else {
    // the statement's end
    inRows_ = false;
    if (at_ < text_.size() && text_[at_] == ';') ++at_;
    else if (at_ < text_.size()) {
      error = "the statement goes on after its last row";
      return false;
    }
  }
  return true;
}

bool YourlsDumpReader::RowToRecord(const Values& values, LinkRecord& record, std::string& error) const {
  if (values.size() != columns_.size()) {
    error = "the row has " + std::to_string(values.size()) + " values for " + std::to_string(columns_.size()) +
            " columns";
    return false;
  }
  const std::optional<std::string>* of[kColumns] = {};
  for (std::size_t i = 0; i < values.size(); ++i)
    if (columns_[i] >= 0) of[columns_[i]] = &values[i];
  if (!of[kKeyword] || !*of[kKeyword]) {
    error = "the row has no keyword";
    return false;
  }
  if (!of[kUrl] || !*of[kUrl]) {
    error = "the row has no url";
    return false;
  }
  record = LinkRecord();
  record.code = **of[kKeyword];
  record.address = **of[kUrl];
  if (of[kTitle] && *of[kTitle]) record.title = **of[kTitle];
  if (of[kTimestamp] && *of[kTimestamp]) {
    const std::optional<int64_t> at = SqlTime(**of[kTimestamp]);
    if (!at) {
      error = "the timestamp is not YYYY-MM-DD HH:MM:SS";
      return false;
    }
    record.created = *at;
  }
  if (of[kClicks] && *of[kClicks]) {
    const std::optional<int64_t> clicks = ParseWholeNumber(**of[kClicks]);
    if (!clicks || *clicks < 0) {
      error = "clicks is not a whole number of 0 or more";
      return false;
    }
    record.clicks = *clicks;
  }
  return true;  // the ip is not kept
}

bool YourlsDumpReader::Next(LinkRecord& record, std::string& error) {
  error.clear();
  for (;;) {
    if (!inRows_) {
      SkipSpaceAndComments();
      if (at_ >= text_.size()) return false;
      const std::size_t start = at_;
      if (!StartInsert()) {
        at_ = std::max(at_, start);
        SkipStatement();  // another table's, or no INSERT
        continue;
      }
    }
    SkipSpaceAndComments();
    rowLine_ = LineAt(at_);
    Values values;
    if (!ReadRow(values, error)) {
      inRows_ = false;
      SkipStatement();
      return true;
    }
    RowToRecord(values, record, error);
    return true;
  }
}

}  // namespace snipora::service
