#include "service/http/access_log.h"

#include <ctime>
#include <optional>

#include "service/core/log_redaction.h"

namespace snipora::service {

namespace {

// Lines held past this are written at once, between the flushes: a burst
// holds 64 KiB at most, and goes out in writes of about that size.
constexpr std::size_t kMaxPendingBytes = 1 << 16;

void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  // the runs between escapes go in whole
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') continue;
    out.append(text.substr(run, i - run));
    const char escape[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    out.append(escape, sizeof escape);
    run = i + 1;
  }
  out.append(text.substr(run));
}

}  // namespace

std::string AccessLog::Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
  return out;
}

void AccessLog::Write(std::string_view client, std::string_view method, std::string_view target,
                      std::string_view version, int status, std::size_t bytes) {
  const std::time_t now = clock_();
  std::lock_guard lock(mutex_);
  if (now != stampSecond_) {  // formatted once a second, not once a request
    std::tm utc{};
    gmtime_r(&now, &utc);
    stampLength_ = std::strftime(stamp_, sizeof stamp_, "[%d/%b/%Y:%H:%M:%S +0000]", &utc);
    stampSecond_ = now;
  }
  pending_.append(client).append(" - - ").append(stamp_, stampLength_).append(" \"");
  AppendEscaped(pending_, method);
  pending_ += ' ';
  const std::optional<std::string> redacted = RedactTarget(target);
  AppendEscaped(pending_, redacted ? std::string_view(*redacted) : target);
  pending_ += ' ';
  AppendEscaped(pending_, version);
  pending_.append("\" ").append(status ? std::to_string(status) : "-").append(" ").append(std::to_string(bytes));
  pending_ += '\n';
  if (pending_.size() > kMaxPendingBytes) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
}

void AccessLog::Flush() {
  std::lock_guard lock(mutex_);
  if (!pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), out_);
  pending_.clear();
  std::fflush(out_);
}

}  // namespace snipora::service
