#include "runtime/fatal_error.h"

#include <windows.h>

#include <exception>
#include <string>

namespace snipora {
namespace {

// The text of the box; the code and the message may each be absent.
std::string FatalErrorText(std::optional<int> code, const char* message) {
  std::string text = "运行时出错!\r\n\r\n";
  if (code) {
    text += "错误代码：";
    text += std::to_string(*code);
    text += "\r\n\r\n";
  }
  if (message && *message) {
    text += "错误信息：";
    text += message;
    text += "\r\n";
  }
  return text;
}

}  // namespace

void FatalRuntimeError(std::optional<int> code, const char* message) {
  const std::string text = FatalErrorText(code, message);
  MessageBoxA(nullptr, text.c_str(), "错误", MB_ICONERROR);
  // ExitProcess, not exit(): the application's exit routine must not run
  // after a fatal error, only the system's own clean-up.
  ExitProcess(static_cast<UINT>(-1));
}

void FatalCurrentException() noexcept {
  try {
    throw;
  } catch (const std::exception& exception) {
    FatalRuntimeError(exception.what());
  } catch (...) {
    FatalRuntimeError(nullptr);
  }
}

}  // namespace snipora
