#pragma once
// The runtime's last resort: a box titled "错误" telling the user what went
// wrong, then the end of the process with exit code -1. The registered exit
// routine is not called.
#include <optional>

namespace snipora {

[[noreturn]] void FatalRuntimeError(std::optional<int> code, const char* message);
[[noreturn]] inline void FatalRuntimeError(const char* message) { FatalRuntimeError(std::nullopt, message); }

}  // namespace snipora
