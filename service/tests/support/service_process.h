#pragma once
// snipora-service as a child process, as an operator runs it.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace snipora::service::test {

class ServiceProcess {
 public:
  // Starts it on a free loopback port with `database`; its port is read from
  // its start-up line (0 when it did not start). `options` come last.
  explicit ServiceProcess(const std::string& database, const std::vector<std::string>& options = {});
  ~ServiceProcess();  // SIGKILL, if it still runs
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  uint16_t port() const { return port_; }
  // Sends the signal and waits; the exit status as waitpid gives it.
  int Signal(int signal);
  // Whether it wrote a line holding `text` to standard error within `timeout`.
  bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Its standard error so far (what WaitForLine has read).
  const std::string& said() const { return said_; }

 private:
  pid_t pid_ = -1;
  int stderr_ = -1;
  std::string said_;  // its standard error so far
  uint16_t port_ = 0;
};

// snipora-service run to its end with `words` (a command and its options):
// its exit status, and its standard output and error, together, in `output`.
int RunProgram(const std::vector<std::string>& words, std::string* output);

}  // namespace snipora::service::test
