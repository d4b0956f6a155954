#pragma once
// The runtime's last resort: a box titled "错误" telling the user what went
// wrong, then the end of the process with exit code -1. The registered exit
// routine is not called.
#include <optional>

namespace snipora {

[[noreturn]] void FatalRuntimeError(std::optional<int> code, const char* message);
[[noreturn]] inline void FatalRuntimeError(const char* message) { FatalRuntimeError(std::nullopt, message); }

// The exception being handled, as a fatal runtime error: a standard
// exception's text is the message, any other exception has none. Only for a
// catch block, where a boundary no exception may cross (a window procedure)
// meets one.
[[noreturn]] void FatalCurrentException() noexcept;

}  // namespace snipora
