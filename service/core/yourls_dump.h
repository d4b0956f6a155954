#pragma once
// YOURLS's links as `mysqldump` writes its table yourls_url (the table's
// prefix may be another): the INSERT statements' rows read as MySQL's SQL
// values, every other statement and comment passed over. Columns by the
// statement's list when it has one, else in the table's order (keyword, url,
// title, timestamp, ip, clicks). Platform-neutral: fuzzed.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/link_record.h"

namespace snipora::service {

// A MySQL string literal's text between its quotes, its escapes read as MySQL
// reads them (\0 \' \" \b \n \r \t \Z \\, \% and \_ kept with their
// backslash, a doubled quote one quote, any other \x as x).
std::string MysqlUnescape(std::string_view quoted, char quote);

class YourlsDumpReader {
 public:
  explicit YourlsDumpReader(std::string_view dump) : text_(dump) {}
  // The next row: true with `record` filled and `error` empty, or with
  // `error` saying why a row could not be read (the rest of its statement is
  // passed over); false at the end.
  bool Next(LinkRecord& record, std::string& error);
  // The line the last row (or fault) began on, from 1.
  std::size_t line() const { return rowLine_; }

 private:
  using Values = std::vector<std::optional<std::string>>;
  void SkipSpaceAndComments();
  void SkipStatement();          // to after its ';' (or the end)
  bool StartInsert();            // at an INSERT into the links table: read up to its first row
  bool ReadRow(Values& values, std::string& error);
  bool ReadValue(std::optional<std::string>& value, std::string& error);
  bool RowToRecord(const Values& values, LinkRecord& record, std::string& error) const;
  std::size_t LineAt(std::size_t at);

  std::string_view text_;
  std::size_t at_ = 0;
  bool inRows_ = false;      // inside an INSERT's rows
  std::vector<int> columns_;  // the statement's column of each value (-1: not kept)
  std::size_t lineCounted_ = 0, lineOfCounted_ = 1, rowLine_ = 0;
};

}  // namespace snipora::service
