#pragma once
// Makes shell_recorder.exe (beside the test program) the prefix's handler of
// http: and mailto: while this lives, and reads what it recorded. Wine reads
// the classes from HKLM only; what was there is put back afterwards.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace snipora::test {

struct Recorded {
  std::string verb;
  int show = -2;
  std::string commandLine;
};

class ShellRecording {
 public:
  ShellRecording();
  ShellRecording(const ShellRecording&) = delete;
  ShellRecording& operator=(const ShellRecording&) = delete;
  ~ShellRecording();

  // The next opening the recorder saw, waited for up to about 10 s.
  std::optional<Recorded> WaitForRecord(int ms = 10000);

 private:
  std::string record_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The address as the handler's command line carries it: the last quoted part.
std::string QuotedArgument(const std::string& commandLine);

}  // namespace snipora::test
