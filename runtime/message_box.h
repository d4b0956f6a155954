#pragma once
// A message box with no owner window, task-modal unless system-modal was asked.
#include <cstdint>
#include <optional>

#include "runtime/text.h"

namespace snipora {

// The pressed button: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6
// (-1 when the box could not be shown).
int32_t ShowMessageBox(TextView content, uint32_t flags, std::optional<TextView> title = std::nullopt);
int32_t ShowMessageBox(int32_t content, uint32_t flags, std::optional<TextView> title = std::nullopt);

}  // namespace snipora
