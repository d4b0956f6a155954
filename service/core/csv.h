#pragma once
// CSV as RFC 4180 writes it: fields separated by commas, records by CRLF (LF
// read too), a field with a comma, quote, CR or LF quoted, its quotes
// doubled. Platform-neutral: the service and the fuzz build compile it alike.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

// One record, ending in CRLF.
std::string CsvRecord(const std::vector<std::string_view>& fields);

// Reads records from text handed in pieces (a file read in blocks).
class CsvReader {
 public:
  // Appends a piece; `last` when no more come.
  void Feed(std::string_view piece, bool last);
  // The next complete record, or nothing until more text comes. Malformed
  // text (a quote inside an unquoted field, text after a closing quote, a
  // quoted field without its end) gives `error` and skips to the next line.
  std::optional<std::vector<std::string>> Next(std::string* error);
  // The line the last record given (or refused) began on, from 1.
  std::size_t line() const { return recordLine_; }

 private:
  std::string text_;
  std::size_t at_ = 0;
  bool last_ = false;
  std::size_t line_ = 1, recordLine_ = 0;
};

}  // namespace snipora::service
