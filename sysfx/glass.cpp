// Glass, layering and rounded regions for windows of the form runtime.
#include <windows.h>

#include <uxtheme.h>

#include "runtime/system_functions.h"
#include "runtime/win_handles.h"
#include "sysfx/system_helper.h"

namespace snipora {
namespace {

static_assert(sizeof(MARGINS) == 16, "four 32-bit widths, as DwmExtendFrameIntoClientArea reads them");

BOOL DeleteRegion(HRGN region) { return sys::DeleteObject(region); }
using UniqueRegion = UniqueHandle<HRGN, &DeleteRegion>;

int32_t RoundRegion(const ControlReference& control) {
  const int32_t width = GetControlProperty(control.window, control.control, property::kWidth);
  const int32_t height = GetControlProperty(control.window, control.control, property::kHeight);
  UniqueRegion region(sys::CreateRoundRectRgn(1, 1, width, height, 2, 2));
  // without a region SetWindowRgn would take away the control's current one
  if (!region) return 0;
  const int taken = sys::SetWindowRgn(GetWindowHandle(control.window, control.control), region.get(), TRUE);
  // the window owns a region it took (Wine deletes it inside the call): never touch it again
  if (taken) (void)region.release();
  return taken;
}

}  // namespace

void SystemHelper::MakeGlassWindow(uint32_t window, const GlassControlKinds& kinds) const {
  SetControlProperty(window, window, property::kWindowBackColor, static_cast<int32_t>(kGlassKeyColor));
  SetControlProperty(window, window, property::kWindowKeepActiveFrame, 1);
  HWND handle = GetWindowHandle(window, window);
  const MARGINS wholeClientArea{-1, -1, -1, -1};
  BOOL composition = FALSE;
  if (FAILED(sys::DwmIsCompositionEnabled(&composition)) || !composition) return;

  // replaced, not combined: the window keeps only the layered style
  sys::SetWindowLongA(handle, GWL_EXSTYLE, WS_EX_LAYERED);
  const auto key = static_cast<COLORREF>(GetControlProperty(window, window, property::kWindowBackColor));
  sys::SetLayeredWindowAttributesSearched(handle, key, 0, LWA_COLORKEY);
  sys::DwmExtendFrameIntoClientArea(handle, &wholeClientArea);

  // tabs before check boxes, as the arguments come
  if (kinds.buttons) ForEachButton(window);
  if (kinds.editBoxes) ForEachEditBox(window);
  if (kinds.shapeBoxes) ForEachShapeBox(window);
  if (kinds.groupBoxes) ForEachGroupBox(window);
  if (kinds.radioBoxes) ForEachRadioBox(window);
  if (kinds.labels) ForEachLabel(window);
  if (kinds.picBoxes) ForEachPicBox(window);
  if (kinds.tabs) ForEachTab(window);
  if (kinds.checkBoxes) ForEachCheckBox(window);
}

int32_t SystemHelper::RoundButtonRegion(const ControlReference& button) const { return RoundRegion(button); }

int32_t SystemHelper::RoundEditRegion(const ControlReference& editBox) const { return RoundRegion(editBox); }

}  // namespace snipora
