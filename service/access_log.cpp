#include "service/access_log.h"

#include <ctime>

namespace snipora::service {

std::string AccessLog::Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

void AccessLog::Write(std::string_view client, std::string_view method, std::string_view target,
                      std::string_view version, int status, std::size_t bytes) {
  char when[40];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(when, sizeof when, "[%d/%b/%Y:%H:%M:%S +0000]", &utc);
  std::string line(client);
  line += " - - ";
  line += when;
  line += " \"";
  line += Escape(method);
  line += ' ';
  line += Escape(target);
  line += ' ';
  line += Escape(version);
  line += "\" ";
  line += status ? std::to_string(status) : "-";
  line += ' ';
  line += std::to_string(bytes);
  line += '\n';
  std::lock_guard lock(mutex_);
  pending_ += line;
  if (pending_.size() > (1 << 16)) {
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
