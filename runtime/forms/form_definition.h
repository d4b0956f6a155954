#pragma once
// Windows and controls as data: the application describes its windows with
// these tables and the runtime builds native windows from them.
#include <cstdint>
#include <span>

#include "runtime/bits.h"

namespace snipora {

enum class ControlKind : int32_t {
  Window = 1,
  EditBox = 5,
  PicBox = 6,
  ShapeBox = 7,
  DrawPanel = 8,
  GroupBox = 9,
  Label = 10,
  Button = 11,
  CheckBox = 12,
  RadioBox = 13,
  Tab = 21,
  StatusBar = 0x40002,  // these two carry their own kind codes
  HtmlViewer = 0x60001,
};

// The code by which lists of controls name a kind.
constexpr int32_t KindCode(ControlKind kind) {
  const auto n = static_cast<int32_t>(kind);
  return n > 0xFFFF ? n : 0x10000 + n;
}

// Event numbers: negative ones are common to every control, kind-specific
// ones count from 0.
namespace event {
inline constexpr int32_t kLeftButtonDown = -1;
inline constexpr int32_t kLeftButtonUp = -2;
inline constexpr int32_t kDoubleClick = -3;
inline constexpr int32_t kRightButtonDown = -4;
inline constexpr int32_t kRightButtonUp = -5;
inline constexpr int32_t kMouseMove = -6;
inline constexpr int32_t kFocusGained = -7;
inline constexpr int32_t kFocusLost = -8;
inline constexpr int32_t kKeyDown = -9;
inline constexpr int32_t kKeyUp = -10;
inline constexpr int32_t kCharacter = -11;
inline constexpr int32_t kWheel = -12;
inline constexpr int32_t kCreated = 0;         // window
inline constexpr int32_t kClicked = 0;         // button, check box, radio box
inline constexpr int32_t kContentChanged = 0;  // edit box
inline constexpr int32_t kPaint = 0;           // drawing panel
}  // namespace event

// Key state bits of mouse events.
inline constexpr int32_t kKeyCtrl = 1, kKeyShift = 2, kKeyAlt = 4;

struct EventArgs {
  int32_t a = 0, b = 0, c = 0;  // mouse: x, y, key state; keys: code, key state
};

// Returns what the event expects: for mouse, key and wheel events 0 stops the
// control's own handling; for a typed character the character to use.
using EventProcedure = int32_t (*)(const EventArgs&);

// Adapts a handler that takes nothing and returns nothing.
template <void (*Handler)()>
int32_t Handle(const EventArgs&) {
  Handler();
  return 1;
}

struct EventBinding {
  uint32_t control;  // the window's unit for window events
  int32_t event;
  EventProcedure procedure;
};

struct FontDefinition {
  const char* face = nullptr;  // null: the system's font
  int32_t height = 0;          // character height in pixels
  int32_t weight = 400;
};

enum ControlFlag : uint32_t {
  kHidden = 1u << 0,
  kDisabled = 1u << 1,
  kTabStop = 1u << 2,
  kHandCursor = 1u << 3,
  kSunkenBorder = 1u << 4,
  kWordWrap = 1u << 5,  // labels: several lines from the top
};

struct ControlDefinition {
  const char* name;
  uint32_t id;
  ControlKind kind;
  uint32_t parent;  // 0: the window; otherwise a drawing panel of the same window
  int32_t left, top, width, height;
  const char* text = nullptr;  // tab: the names of its tabs, one per line
  FontDefinition font = {};
  Color textColor = 0x000000;  // shape box: the colour of its outline
  Color backColor = kButtonFaceColor;
  uint32_t flags = 0;
  std::span<const uint8_t> image = {};  // status bar: its icon (ICO); drawing panel: background picture
};

struct WindowDefinition {
  uint32_t id;
  uint32_t unit;  // stands for the window in property access and event bindings
  const char* title;
  int32_t width, height;  // outer size
  Color backColor;
  bool minimizeBox;
  bool visible;          // off: created hidden
  bool dragAnywhere;     // a press on the client area or a label moves the window
  int iconResource;      // 0: none of its own
  std::span<const ControlDefinition> controls;  // in definition order
  std::span<const EventBinding> events;
};

}  // namespace snipora
