#pragma once
// The window on which the glass and control-kind operations are tried: three
// buttons, two labels and one control of every other kind the runtime builds,
// and what each of its controls looks like.
#include <windows.h>

#include <optional>
#include <ostream>
#include <vector>

#include "runtime/forms/form_runtime.h"
#include "tests/runtime/forms/painted_background.h"

namespace snipora::test {

inline constexpr uint32_t kGlass = 0x52000021, kGlassUnit = 0x06000021;
inline constexpr uint32_t kBare = 0x52000022, kBareUnit = 0x06000022;        // no controls
inline constexpr uint32_t kBeneath = 0x52000023, kBeneathUnit = 0x06000023;  // lies under kGlass
inline constexpr Color kBeneathColor = 0x0000FF;
inline constexpr POINT kFreeClientPoint = {380, 60};  // of kGlass, where no control lies

inline const ControlDefinition kGlassControls[] = {
    {"按钮1", 0x16000101, ControlKind::Button, 0, 10, 10, 100, 30, "一", {}, 0, kButtonFaceColor, kTabStop},
    {"按钮2", 0x16000102, ControlKind::Button, 0, 120, 10, 80, 24, "二", {}, 0, kButtonFaceColor, kTabStop},
    {"按钮3", 0x16000103, ControlKind::Button, 0, 210, 10, 60, 26, "三", {}, 0, kButtonFaceColor, kTabStop},
    {"标签1", 0x16000104, ControlKind::Label, 0, 10, 50, 60, 20, "标签一", {}, 0, 0x00C0C0},
    {"标签2", 0x16000105, ControlKind::Label, 0, 80, 50, 60, 20, "标签二", {}, 0, 0x00C000},
    {"编辑框1", 0x16000106, ControlKind::EditBox, 0, 150, 50, 100, 22, "", {}, 0, 0xFFFFFF, kTabStop},
    {"图片框1", 0x16000107, ControlKind::PicBox, 0, 260, 50, 40, 40, nullptr, {}, 0, 0x808000},
    {"外形框1", 0x16000108, ControlKind::ShapeBox, 0, 10, 80, 60, 40, nullptr, {}, 0, 0x00FF00},
    {"画板1", 0x16000109, ControlKind::DrawPanel, 0, 80, 80, 60, 40, nullptr, {}, 0, 0x404040},
    {"分组框1", 0x1600010A, ControlKind::GroupBox, 0, 150, 100, 100, 60, "分组", {}, 0, 0xFFFF00},
    {"选择框1", 0x1600010B, ControlKind::CheckBox, 0, 10, 130, 100, 20, "选择", {}, 0, 0xFF00FF, kTabStop},
    {"单选框1", 0x1600010C, ControlKind::RadioBox, 0, 10, 155, 100, 20, "单选", {}, 0, 0x00FFFF, kTabStop},
    {"选择夹1", 0x1600010D, ControlKind::Tab, 0, 150, 170, 140, 80, "甲\n乙", {}, 0, 0x0080FF, kTabStop},
    {"状态条1", 0x1600010E, ControlKind::StatusBar, 0, 0, 0, 0, 0, "状态", {}, 0, 0xC0C0C0},
};

inline const WindowDefinition kGlassWindows[] = {
    {kGlass, kGlassUnit, "glass", 400, 330, 0xFFFFFF, false, true, false, 0, kGlassControls, {}},
    {kBare, kBareUnit, "bare", 200, 100, 0xFFFFFF, false, true, false, 0, {}, {}},
    {kBeneath, kBeneathUnit, "beneath", 500, 400, kBeneathColor, false, true, false, 0, {}, {}},
};

// The number under which a kind keeps its background colour.
inline std::optional<int32_t> BackColorNumber(ControlKind kind) {
  switch (kind) {
    case ControlKind::ShapeBox: return 8;
    case ControlKind::PicBox:
    case ControlKind::DrawPanel: return 9;
    case ControlKind::GroupBox: return 11;
    case ControlKind::Tab: return 15;
    case ControlKind::CheckBox:
    case ControlKind::RadioBox: return 16;
    case ControlKind::Label: return 17;
    default: return std::nullopt;
  }
}

struct ControlLook {
  bool hasRegion = false;
  RECT regionBox = {};   // as GetWindowRgnBox reads it
  Color backColor = 0;   // through the runtime; 0 for kinds without the property
  COLORREF painted = 0;  // at the control's background point
  bool operator==(const ControlLook& other) const {
    return hasRegion == other.hasRegion && EqualRect(&regionBox, &other.regionBox) &&
           backColor == other.backColor && painted == other.painted;
  }
};

inline void PrintTo(const ControlLook& look, std::ostream* out) {
  *out << std::hex << "{region " << look.hasRegion << " (" << std::dec << look.regionBox.left << ","
       << look.regionBox.top << "," << look.regionBox.right << "," << look.regionBox.bottom << ") colour "
       << std::hex << look.backColor << " painted " << look.painted << "}";
}

inline ControlLook LookOf(const ControlDefinition& control) {
  ControlLook look;
  HWND hwnd = GetWindowHandle(kGlass, control.id);
  // a 2 by 2 corner leaves the box whole: SIMPLEREGION under Wine
  const int type = GetWindowRgnBox(hwnd, &look.regionBox);
  look.hasRegion = type != ERROR && type != NULLREGION;
  if (!look.hasRegion) look.regionBox = {};
  if (const auto number = BackColorNumber(control.kind))
    look.backColor = Color(GetControlProperty(kGlass, control.id, *number));
  look.painted = PaintedBackground(hwnd, control.kind);
  return look;
}

// In definition order, which is the order the runtime lists them in.
inline std::vector<ControlLook> LooksOfGlassControls() {
  std::vector<ControlLook> looks;
  for (const ControlDefinition& control : kGlassControls) looks.push_back(LookOf(control));
  return looks;
}

// What preparing a control of its kind for glass makes of it.
inline ControlLook Prepared(const ControlDefinition& control, ControlLook look, Color key) {
  if (const auto number = BackColorNumber(control.kind)) {
    look.backColor = key;
    look.painted = key;
  } else {
    RECT outer;
    GetWindowRect(GetWindowHandle(kGlass, control.id), &outer);
    look.hasRegion = true;
    look.regionBox = {1, 1, outer.right - outer.left - 1, outer.bottom - outer.top - 1};
  }
  return look;
}

}  // namespace snipora::test
