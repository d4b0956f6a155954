#include "service/tests/support/service_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace snipora::service::test {

ServiceProcess::ServiceProcess(const std::string& database, const std::vector<std::string>& options) {
  std::vector<std::string> words = {SERVICE_PROGRAM,  "--listen",     "127.0.0.1:0", "--database",
                                    database,         "--public-host", "snip.invalid", "--creations-per-minute",
                                    "0",              "--click-flush-ms", "60000"};
  words.insert(words.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(out[0]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  stderr_ = out[0];
  if (pid_ < 0 || !WaitForLine("(port ")) return;
  port_ = uint16_t(std::stoi(said_.substr(said_.find("(port ") + 6)));
}

ServiceProcess::~ServiceProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (stderr_ >= 0) close(stderr_);
}

int ServiceProcess::Signal(int signal) {
  kill(pid_, signal);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

bool ServiceProcess::WaitForLine(const std::string& text, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  const auto hasLine = [&] {
    const std::size_t at = said_.find(text);
    return at != std::string::npos && said_.find('\n', at) != std::string::npos;
  };
  while (!hasLine()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pollfd readable{stderr_, POLLIN, 0};
    if (left.count() <= 0 || poll(&readable, 1, int(left.count())) <= 0) return false;
    char chunk[512];
    const ssize_t got = read(stderr_, chunk, sizeof chunk);
    if (got <= 0) return false;  // it ended
    said_.append(chunk, std::size_t(got));
  }
  return true;
}

int RunProgram(const std::vector<std::string>& words, std::string* output) {
  std::string command = SERVICE_PROGRAM;
  for (const std::string& word : words) {
    command += " '";
    for (char c : word) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  output->clear();
  char chunk[512];
  for (std::size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output->append(chunk, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace snipora::service::test
