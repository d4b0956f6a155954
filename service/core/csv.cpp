#include "service/core/csv.h"


namespace snipora::service {

std::string CsvRecord(const std::vector<std::string_view>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    const std::string_view field = fields[i];
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
      out += field;
      continue;
    }
    out += '"';
    for (char c : field) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out + "\r\n";
}

void CsvReader::Feed(std::string_view piece, bool last) {
  text_.erase(0, at_);  // what was read already goes
  at_ = 0;
  text_ += piece;
  last_ = last;
}

std::optional<std::vector<std::string>> CsvReader::Next(std::string* error) {
  error->clear();
  // Scans one record from at_; commits (moves at_ and line_) only when it is
  // complete, so that a record cut between pieces is read again whole.
  std::vector<std::string> fields(1);
  std::size_t i = at_, lines = 0;
  bool quoted = false, afterQuote = false, fieldStart = true;
  const auto fail = [&](const char* why) -> std::optional<std::vector<std::string>> {
    // skip to the end of this line
    std::size_t end = text_.find('\n', i);
    if (end == std::string::npos && !last_) return std::nullopt;
    recordLine_ = line_;
    line_ += lines + 1;
    at_ = end == std::string::npos ? text_.size() : end + 1;
    *error = why;
    return std::nullopt;
  };
  if (at_ >= text_.size()) return std::nullopt;
  for (; i < text_.size(); ++i) {
    const char c = text_[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 >= text_.size() && !last_) return std::nullopt;  // "" or the end: the next piece tells
        if (i + 1 < text_.size() && text_[i + 1] == '"') {
          fields.back() += '"';
          ++i;
        } else {
          quoted = false;
          afterQuote = true;
        }
      } else {
        if (c == '\n') ++lines;
        fields.back() += c;
      }
      continue;
    }
    if (c == ',') {
      fields.emplace_back();
      afterQuote = false;
      fieldStart = true;
      continue;
    }
    if (c == '\n' || (c == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n')) {
      recordLine_ = line_;
      line_ += lines + 1;
      at_ = c == '\n' ? i + 1 : i + 2;
      return fields;
    }
    if (c == '\r' && i + 1 >= text_.size() && !last_) return std::nullopt;
    if (afterQuote) return fail("text after a closing quote");
    if (c == '"') {
      if (!fieldStart) return fail("a quote inside an unquoted field");
      quoted = true;
      fieldStart = false;
      continue;
    }
    fieldStart = false;
    fields.back() += c;
  }
  if (!last_) return std::nullopt;
  if (quoted) {
    recordLine_ = line_;
    at_ = text_.size();
    *error = "a quoted field without its closing quote";
    return std::nullopt;
  }
  recordLine_ = line_;
  line_ += lines;
  at_ = text_.size();
  return fields;  // the last record, without a line end
}

}  // namespace snipora::service
