#pragma once
// A link as it moves in and out of the service whole: one JSON object a
// line (`export --format jsonl`, `import --from snipora`), and the record the
// readers of other shorteners' exports fill. Platform-neutral: the service
// and the fuzz build compile it alike.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace snipora::service {

struct LinkRecord {
  std::string domain;  // the short host's name ("": the import's --domain, or the default)
  std::string code;
  std::string address;
  int64_t created = 0;  // seconds since 1970, UTC
  int64_t clicks = 0;   // the total so far, kept as a historical count
  std::string title;
  std::vector<std::string> tags;
  std::string publicNote, privateNote;
  bool disabled = false;
  std::optional<int64_t> expires, maxClicks;
  std::string owner;
  std::vector<std::pair<int64_t, int64_t>> days;  // (days since 1970, clicks), in order
  bool operator==(const LinkRecord&) const = default;
};

// One line, "\n" at its end; its members always in one order, so the same
// record is always the same bytes. Text that is not UTF-8 is written with
// U+FFFD in its place.
std::string LinkRecordLine(const LinkRecord& record);
// A line as LinkRecordLine writes it (members in any order, the optional
// ones left out); nothing, with why in `error`, for anything else.
std::optional<LinkRecord> ReadLinkRecordLine(std::string_view line, std::string* error);

// The lines of a text one by one, with their numbers (a CR before the LF
// dropped; an empty line skipped).
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view* line);
  std::size_t line() const { return line_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0, line_ = 0;
};

}  // namespace snipora::service
