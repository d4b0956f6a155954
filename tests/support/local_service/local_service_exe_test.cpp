// local_service.exe as the run command uses it: the port on stdout, short
// addresses kept in a store across runs, "quit" or the end of stdin to stop.
#include "tests/support/local_service/raw_client.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora::test;

namespace {

// local_service.exe with pipes for stdin and stdout.
class ServiceProgram {
 public:
  explicit ServiceProgram(const std::string& arguments) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inheritable, 0)) return;
    if (!CreatePipe(&output_, &childOutput, &inheritable, 0)) {
      CloseHandle(childInput);
      return;
    }
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    const std::string path = TestProgramFolder() + "local_service.exe";
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &info)) {
      CloseHandle(info.hThread);
      process_ = info.hProcess;
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
  }
  ServiceProgram(const ServiceProgram&) = delete;
  ServiceProgram& operator=(const ServiceProgram&) = delete;
  ~ServiceProgram() {
    CloseInput();
    if (process_) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
      CloseHandle(process_);
    }
    if (output_) CloseHandle(output_);
  }

  // The first line on stdout, waited for up to `ms`.
  std::string ReadLine(DWORD ms = 10000) {
    std::string line;
    const uint64_t deadline = GetTickCount64() + ms;
    while (GetTickCount64() < deadline) {
      DWORD available = 0;
      if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) break;
      if (!available) {
        Sleep(10);
        continue;
      }
      char c;
      DWORD read = 0;
      if (!ReadFile(output_, &c, 1, &read, nullptr) || read == 0) break;
      if (c == '\n') return line;
      if (c != '\r') line.push_back(c);
    }
    return line;
  }
  void Say(const std::string& text) {
    DWORD written = 0;
    WriteFile(input_, text.data(), DWORD(text.size()), &written, nullptr);
  }
  void CloseInput() {
    if (input_) CloseHandle(input_);
    input_ = nullptr;
  }
  std::optional<DWORD> Wait(DWORD ms) {
    if (!process_ || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
};

std::string ShortAddressIn(const std::string& page) {
  const std::string start = "</b><br><small>[<a href=\"http://";
  const auto at = page.find(start);
  if (at == std::string::npos) return {};
  const auto end = page.find('"', at + start.size());
  return page.substr(at + start.size(), end - at - start.size());
}

TEST(LocalServiceProgram, RelaysShorteningToTheServiceAndStopsOnQuitOrEndOfInput) {
  LocalService upstream({.shortHost = "up.invalid"});  // stands for snipora-service
  for (const bool sayQuit : {true, false}) {
    ServiceProgram program("--relay " + std::to_string(upstream.port()) + " --host s.invalid");
    const std::string port = program.ReadLine();
    ASSERT_FALSE(port.empty());
    const RawAnswer answer = Exchange(uint16_t(std::stoi(port)),
                                      "GET /create.php?url=http%3A%2F%2Fkept.invalid%2F HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(ShortAddressIn(answer.body()).starts_with("up.invalid/")) << answer.bytes;
    if (sayQuit) {
      program.Say("quit\n");
    } else {
      program.CloseInput();  // the end of stdin stops it too
    }
    EXPECT_EQ(program.Wait(10000), std::optional<DWORD>(0));
  }
}

TEST(LocalServiceProgram, BadCommandLines) {
  for (const char* arguments : {"--port 0", "--port 70000", "--port 12x", "--relay", "--relay 0", "--store x", "--bogus",
                                "extra"}) {
    ServiceProgram program(arguments);
    EXPECT_EQ(program.Wait(10000), std::optional<DWORD>(2)) << arguments;
  }
}

}  // namespace
