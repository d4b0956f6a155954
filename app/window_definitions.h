#pragma once
// The definitions of the program's three windows.
#include <span>

#include "runtime/forms/form_definition.h"

namespace snipora::app {

std::span<const WindowDefinition> ProgramWindows();

// Shown in grey in an empty address box.
inline constexpr char kPlaceholder[] = "请在此输入您的网址";
inline constexpr Color kPlaceholderColor = 0x808080;

}  // namespace snipora::app
