#pragma once
// What the runtime keeps for each window and control: the values of their
// properties (stored while there is no native window) and their native
// windows and GDI objects while loaded.
#include <windows.h>

#include <optional>
#include <vector>

#include "runtime/byte_set.h"
#include "runtime/forms/form_definition.h"
#include "runtime/picture/picture.h"
#include "runtime/win_handles.h"
#include "runtime/text.h"

namespace snipora {

using UniqueFont = UniqueHandle<HFONT, &DeleteObject>;
using UniqueBrush = UniqueHandle<HBRUSH, &DeleteObject>;

struct WindowState;

struct ControlState {
  const ControlDefinition* definition;
  WindowState* window;
  int32_t left, top, width, height;
  Text tag;
  bool visible, disabled;
  int32_t mousePointer = 0;
  Color textColor, backColor;

  HWND hwnd = nullptr;
  UniqueFont font;
  UniqueBrush brush;   // of backColor, for the control's background
  UniqueIcon icon;     // status bar
  Bytes picture;       // drawing panel: the image file's bytes
  std::optional<Picture> decoded;
  bool decodeTried = false;
  bool changeSuppressed = false;
  WNDPROC previousProcedure = nullptr;  // the control's own, below the runtime's subclass
};

struct WindowState {
  const WindowDefinition* definition;
  int32_t left = 0, top = 0, width, height;
  Text tag;
  bool visible, disabled = false;
  int32_t mousePointer = 0;
  Color backColor;
  bool keepActiveFrame = false;

  HWND hwnd = nullptr;
  UniqueBrush brush;
  UniqueIcon icon, smallIcon;
  HWND lastFocus = nullptr;
  bool closePending = false;
  std::vector<ControlState> controls;
};

// The brush for a colour value (0xFF000000: the system's button face).
UniqueBrush MakeBrush(Color color);
COLORREF ToColorRef(Color color);

}  // namespace snipora
