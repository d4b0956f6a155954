#pragma once
// One line per request on standard output, in the Common Log Format:
//   127.0.0.1 - - [09/Dec/2026:13:27:26 +0000] "GET /Ab3dE9x HTTP/1.1" 301 0
// A key in the target (signature=, apiKey=, ...) is written as ***
// (core/log_redaction.h). Buffered; Flush() (about once a second, and at
// exit) writes what is there, so that logging costs a redirect no system call.
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

namespace snipora::service {

class AccessLog {
 public:
  // `clock`: the time of a line (seconds since 1970), std::time but in tests
  using Clock = std::time_t (*)();
  explicit AccessLog(std::FILE* out, Clock clock = &SystemTime) : out_(out), clock_(clock) {}
  ~AccessLog() { Flush(); }
  // status 0: the request was cut off before it was answered ("-")
  void Write(std::string_view client, std::string_view method, std::string_view target, std::string_view version,
             int status, std::size_t bytes);
  void Flush();

  // The bytes of a request line as a log may carry them: quotes, backslashes
  // and non-printable bytes as \xHH, so one request is one line.
  static std::string Escape(std::string_view text);

 private:
  static std::time_t SystemTime() { return std::time(nullptr); }

  std::FILE* out_;
  const Clock clock_;
  std::mutex mutex_;
  std::string pending_;
  std::time_t stampSecond_ = 0;
  char stamp_[40] = {};
  std::size_t stampLength_ = 0;
};

}  // namespace snipora::service
