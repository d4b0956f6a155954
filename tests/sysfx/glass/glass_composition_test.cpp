// The glass window where desktop composition is on: a stand-in dwmapi.dll
// beside this program says it is and records the frame it is asked for.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "runtime/system_functions.h"
#include "sysfx/system_helper.h"
#include "tests/sysfx/glass/frame_record.h"
#include "tests/sysfx/glass_test_window.h"

namespace snipora {
namespace {

using namespace test;

// Notes which kind operations run, in order, and runs them.
class RecordingHelper final : public SystemHelper {
 public:
  mutable std::vector<std::string> calls;
#define SNIPORA_RECORDED(operation, kindName)                    \
  int32_t operation(uint32_t window) const override {            \
    calls.push_back(kindName);                                   \
    return SystemHelper::operation(window);                      \
  }
  SNIPORA_RECORDED(ForEachButton, "按钮")
  SNIPORA_RECORDED(ForEachEditBox, "编辑框")
  SNIPORA_RECORDED(ForEachShapeBox, "外形框")
  SNIPORA_RECORDED(ForEachGroupBox, "分组框")
  SNIPORA_RECORDED(ForEachRadioBox, "单选框")
  SNIPORA_RECORDED(ForEachLabel, "标签")
  SNIPORA_RECORDED(ForEachPicBox, "图片框")
  SNIPORA_RECORDED(ForEachCheckBox, "选择框")
  SNIPORA_RECORDED(ForEachTab, "选择夹")
#undef SNIPORA_RECORDED
};

const FrameRecord& StandInRecord() {
  BOOL composition = FALSE;
  sys::DwmIsCompositionEnabled(&composition);  // binds the library, if nothing did yet
  const auto read = reinterpret_cast<FrameRecordExport>(reinterpret_cast<void*>(
      GetProcAddress(sys::DwmIsCompositionEnabled.entry().module, kFrameRecordExport)));
  if (!read) {
    ADD_FAILURE() << "the stand-in dwmapi.dll was not the one loaded";
    static const FrameRecord none{};
    return none;
  }
  return *read();
}

// What the screen shows at a client point of the window: with a colour key,
// what lies beneath where the window has that colour.
COLORREF ScreenAt(HWND window, POINT point, COLORREF awaited) {
  ClientToScreen(window, &point);
  HDC screen = GetDC(nullptr);
  COLORREF color = CLR_INVALID;
  for (int i = 0; i < 100; ++i) {
    // the emulator hands what was painted to the display while it reads messages
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    color = GetPixel(screen, point.x, point.y);
    if (color == awaited) break;
    Sleep(20);
  }
  ReleaseDC(nullptr, screen);
  return color;
}

POINT CentreOf(const ControlDefinition& control) {
  return {control.left + control.width / 2, control.top + control.height / 2};
}

const ControlDefinition& Named(const char* name) {
  for (const ControlDefinition& control : kGlassControls)
    if (std::string(control.name) == name) return control;
  throw std::invalid_argument(name);
}

class GlassWithComposition : public testing::Test {
 protected:
  void SetUp() override {
    InstallForms(kGlassWindows);
    ASSERT_TRUE(LoadWindow(kBeneath));
    ASSERT_TRUE(LoadWindow(kGlass));
    glass = GetWindowHandle(kGlass, kGlassUnit);
    SetWindowPos(GetWindowHandle(kBeneath, kBeneathUnit), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    SetWindowPos(glass, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
    RedrawWindow(GetWindowHandle(kBeneath, kBeneathUnit), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    untouched = LooksOfGlassControls();
  }
  void TearDown() override {
    for (uint32_t window : {kGlass, kBeneath})
      if (HWND h = GetWindowHandle(window, window)) DestroyWindow(h);
  }
  void Repaint() const { RedrawWindow(glass, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW); }

  HWND glass = nullptr;
  std::vector<ControlLook> untouched;
};

TEST_F(GlassWithComposition, LayeredWithTheKeyColourTransparentAndGlassOverTheWholeClientArea) {
  const int extendsBefore = StandInRecord().extendCalls;
  ASSERT_NE(GetWindowLongA(glass, GWL_EXSTYLE) & ~(WS_EX_WINDOWEDGE | WS_EX_LAYERED), 0);  // it has others

  SystemHelper().MakeGlassWindow(kGlass);

  // replaced, not combined: only the edge the system keeps for captioned windows remains
  EXPECT_EQ(GetWindowLongA(glass, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, WS_EX_LAYERED);
  COLORREF key = 0;
  BYTE alpha = 0xAA;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(glass, &key, &alpha, &flags));
  EXPECT_EQ(key, COLORREF(kGlassKeyColor));
  EXPECT_EQ(flags, DWORD(LWA_COLORKEY));

  const FrameRecord& frame = StandInRecord();
  EXPECT_EQ(frame.extendCalls, extendsBefore + 1);
  EXPECT_EQ(frame.window, glass);
  EXPECT_EQ(frame.margins.cxLeftWidth, -1);
  EXPECT_EQ(frame.margins.cxRightWidth, -1);
  EXPECT_EQ(frame.margins.cyTopHeight, -1);
  EXPECT_EQ(frame.margins.cyBottomHeight, -1);
  // layered and keyed before the frame was extended
  EXPECT_EQ(frame.exStyle & ~WS_EX_WINDOWEDGE, WS_EX_LAYERED);
  EXPECT_TRUE(frame.layered);
  EXPECT_EQ(frame.key, COLORREF(kGlassKeyColor));
  EXPECT_EQ(frame.layeredFlags, DWORD(LWA_COLORKEY));

  EXPECT_EQ(GetControlProperty(kGlass, kGlassUnit, property::kWindowKeepActiveFrame), 1);
  Repaint();
  EXPECT_EQ(ScreenAt(glass, kFreeClientPoint, kBeneathColor), COLORREF(kBeneathColor));
  const ControlDefinition& label = Named("标签1");
  EXPECT_EQ(ScreenAt(glass, CentreOf(label), label.backColor), COLORREF(label.backColor));
  // no kind was chosen: no control was touched
  EXPECT_EQ(LooksOfGlassControls(), untouched);
}

TEST_F(GlassWithComposition, PreparesTheChosenKindsTabsBeforeCheckBoxes) {
  RecordingHelper helper;
  helper.MakeGlassWindow(kGlass, {true, true, true, true, true, true, true, true, true});
  EXPECT_EQ(helper.calls, (std::vector<std::string>{"按钮", "编辑框", "外形框", "分组框", "单选框", "标签", "图片框",
                                                    "选择夹", "选择框"}));
  const std::vector<ControlLook> looks = LooksOfGlassControls();
  for (std::size_t i = 0; i < looks.size(); ++i) {
    const ControlDefinition& control = kGlassControls[i];
    const bool prepared = control.kind != ControlKind::DrawPanel && control.kind != ControlKind::StatusBar;
    EXPECT_EQ(looks[i], prepared ? Prepared(control, untouched[i], kGlassKeyColor) : untouched[i]) << control.name;
  }
  Repaint();
  const ControlDefinition& label = Named("标签1");
  EXPECT_EQ(ScreenAt(glass, {label.left + label.width - 3, label.top + label.height / 2}, kBeneathColor),
            COLORREF(kBeneathColor));  // its background is see-through now
}

TEST_F(GlassWithComposition, EachArgumentChoosesItsOwnKind) {
  using Kinds = GlassControlKinds;
  const std::pair<bool Kinds::*, const char*> choices[] = {
      {&Kinds::buttons, "按钮"},     {&Kinds::editBoxes, "编辑框"}, {&Kinds::shapeBoxes, "外形框"},
      {&Kinds::groupBoxes, "分组框"}, {&Kinds::radioBoxes, "单选框"}, {&Kinds::labels, "标签"},
      {&Kinds::picBoxes, "图片框"},   {&Kinds::tabs, "选择夹"},      {&Kinds::checkBoxes, "选择框"},
  };
  for (const auto& [argument, kindName] : choices) {
    RecordingHelper helper;
    Kinds kinds;
    kinds.*argument = true;
    helper.MakeGlassWindow(kGlass, kinds);
    EXPECT_EQ(helper.calls, std::vector<std::string>{kindName});
  }
}

}  // namespace
}  // namespace snipora
