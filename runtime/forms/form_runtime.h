#pragma once
// The form runtime: windows and controls built from their definitions,
// numbered properties, events bound to procedures, loading and closing
// windows, and the message loop.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "runtime/byte_set.h"
#include "runtime/forms/form_definition.h"
#include "runtime/text.h"

namespace snipora {

// Property numbers common to every control and window.
namespace property {
inline constexpr int32_t kLeft = 0, kTop = 1, kWidth = 2, kHeight = 3, kTag = 4, kVisible = 5,
                         kDisabled = 6, kMousePointer = 7;
inline constexpr int32_t kWindowBackColor = 10, kWindowKeepActiveFrame = 30;
inline constexpr int32_t kEditContent = 8, kEditTextColor = 10;
inline constexpr int32_t kPicBoxBackColor = 9;
inline constexpr int32_t kPanelBackColor = 9, kPanelPicture = 10;
inline constexpr int32_t kShapeBackColor = 8, kGroupBackColor = 11, kLabelBackColor = 17,
                         kCheckBackColor = 16, kRadioBackColor = 16, kTabBackColor = 15;
}  // namespace property

// Makes the application's windows known; called once, before the first load.
void InstallForms(std::span<const WindowDefinition> windows);

// Integer, Boolean (0/1) and colour properties.
int32_t GetControlProperty(uint32_t window, uint32_t control, int32_t number);
void SetControlProperty(uint32_t window, uint32_t control, int32_t number, int32_t value);
// Text properties (edit box content, tag).
Text GetControlText(uint32_t window, uint32_t control, int32_t number);
void SetControlProperty(uint32_t window, uint32_t control, int32_t number, TextView value);
// Byte-set properties (drawing panel background picture).
void SetControlProperty(uint32_t window, uint32_t control, int32_t number, BytesView value);

bool LoadWindow(uint32_t window, std::optional<uint32_t> parent = std::nullopt, bool modal = false);
// Posted: the window closes after the running event procedure has returned.
void CloseWindow(uint32_t window);

struct ControlReference {
  int32_t kindCode = 0;
  uint32_t window = 0;
  uint32_t control = 0;
  bool operator==(const ControlReference&) const = default;
};

HWND GetWindowHandle(uint32_t window, uint32_t control);
HDC GetPanelDC(uint32_t window, uint32_t control);

// A heap block: count, then (kind code, window, control) triples. Null when
// nothing matches. The runtime remembers the lists it made.
using ControlList = const int32_t*;
ControlList EnumerateControls(uint32_t window, TextView prefix = "", TextView kindName = "",
                              std::optional<int32_t> lowestTag = std::nullopt,
                              std::optional<int32_t> highestTag = std::nullopt);
int32_t ListCount(ControlList list);
ControlReference ListItem(ControlList list, int32_t index);
void ReleaseControlList(ControlList list);
Text KindName(const ControlReference& control);
// The reference taken as a control of `kind`; one of another kind code is
// the fatal type-mismatch error 5.
const ControlReference& ExpectKind(const ControlReference& control, ControlKind kind);

// Runs until the last window of the program has been destroyed, then calls
// the registered exit routine and releases the late-bound libraries.
int RunMessageLoop();

}  // namespace snipora
