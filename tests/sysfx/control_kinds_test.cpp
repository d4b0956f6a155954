// The nine control-kind operations, the rounded regions, and the glass window
// where desktop composition is off (as it always is under Wine).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "runtime/system_functions.h"
#include "sysfx/system_helper.h"
#include "tests/support/child_process.h"
#include "tests/support/ui_driver.h"
#include "tests/sysfx/glass_test_window.h"

namespace snipora {
namespace {

using namespace test;

class GlassTestWindow : public testing::Test {
 protected:
  void SetUp() override {
    InstallForms(kGlassWindows);
    ASSERT_TRUE(LoadWindow(kGlass));
    SetWindowPos(GetWindowHandle(kGlass, kGlassUnit), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    untouched = LooksOfGlassControls();
  }
  void TearDown() override {
    for (uint32_t window : {kGlass, kBare})
      if (HWND h = GetWindowHandle(window, window)) DestroyWindow(h);
  }

  const SystemHelper helper;
  std::vector<ControlLook> untouched;
};

struct KindOperation {
  const char* name;
  int32_t (SystemHelper::*run)(uint32_t) const;
  ControlKind kind;
};
void PrintTo(const KindOperation& operation, std::ostream* out) { *out << operation.name; }

const KindOperation kOperations[] = {
    {"ForEachButton", &SystemHelper::ForEachButton, ControlKind::Button},
    {"ForEachEditBox", &SystemHelper::ForEachEditBox, ControlKind::EditBox},
    {"ForEachShapeBox", &SystemHelper::ForEachShapeBox, ControlKind::ShapeBox},
    {"ForEachGroupBox", &SystemHelper::ForEachGroupBox, ControlKind::GroupBox},
    {"ForEachRadioBox", &SystemHelper::ForEachRadioBox, ControlKind::RadioBox},
    {"ForEachLabel", &SystemHelper::ForEachLabel, ControlKind::Label},
    {"ForEachPicBox", &SystemHelper::ForEachPicBox, ControlKind::PicBox},
    {"ForEachCheckBox", &SystemHelper::ForEachCheckBox, ControlKind::CheckBox},
    {"ForEachTab", &SystemHelper::ForEachTab, ControlKind::Tab},
};

class EachKindOperation : public GlassTestWindow, public testing::WithParamInterface<KindOperation> {};

TEST_P(EachKindOperation, CountsEveryControlAndPreparesOnlyItsKind) {
  const KindOperation& operation = GetParam();
  std::vector<ControlLook> expected = untouched;
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (kGlassControls[i].kind == operation.kind) expected[i] = Prepared(kGlassControls[i], expected[i], kGlassKeyColor);

  constexpr int32_t kListed = int32_t(std::size(kGlassControls));
  EXPECT_EQ((helper.*operation.run)(kGlass), kListed);
  const std::vector<ControlLook> once = LooksOfGlassControls();
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(once[i], expected[i]) << kGlassControls[i].name;
  // again: the same settings, the same answer
  EXPECT_EQ((helper.*operation.run)(kGlass), kListed);
  EXPECT_EQ(LooksOfGlassControls(), once);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EachKindOperation, testing::ValuesIn(kOperations),
                         [](const testing::TestParamInfo<KindOperation>& param) { return std::string(param.param.name); });

TEST_F(GlassTestWindow, KindOperationsOnAWindowWithoutControlsCountNothing) {
  ASSERT_TRUE(LoadWindow(kBare));
  for (const KindOperation& operation : kOperations) EXPECT_EQ((helper.*operation.run)(kBare), 0) << operation.name;
}

TEST_F(GlassTestWindow, RoundRegionAnswersWhetherTheWindowTookIt) {
  const ControlDefinition& button = kGlassControls[0];  // 100 x 30: the region box is (1, 1, 99, 29)
  const ControlReference reference{KindCode(ControlKind::Button), kGlass, button.id};
  const ControlLook rounded = Prepared(button, LookOf(button), kGlassKeyColor);
  EXPECT_NE(helper.RoundButtonRegion(reference), 0);
  EXPECT_EQ(LookOf(button), rounded);
  EXPECT_NE(helper.RoundButtonRegion(reference), 0);  // replacing the region it owns
  EXPECT_EQ(LookOf(button), rounded);
}

TEST_F(GlassTestWindow, WithoutCompositionOnlyTheKeyColourAndTheActiveFrame) {
  BOOL composition = TRUE;
  sys::DwmIsCompositionEnabled(&composition);
  ASSERT_FALSE(composition) << "the emulator's own dwmapi is expected here";
  HWND window = GetWindowHandle(kGlass, kGlassUnit);
  const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);

  helper.MakeGlassWindow(kGlass, {true, true, true, true, true, true, true, true, true});

  EXPECT_EQ(Color(GetControlProperty(kGlass, kGlassUnit, property::kWindowBackColor)), kGlassKeyColor);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(window);
  EXPECT_EQ(GetPixel(dc, kFreeClientPoint.x, kFreeClientPoint.y), COLORREF(kGlassKeyColor));
  ReleaseDC(window, dc);
  EXPECT_EQ(GetControlProperty(kGlass, kGlassUnit, property::kWindowKeepActiveFrame), 1);
  EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE), exStyle);
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  EXPECT_FALSE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
  EXPECT_EQ(LooksOfGlassControls(), untouched);  // the kinds are prepared only for real glass
}

// A listed control whose kind code is not the one its kind name stands for.
TEST(ControlKindsFatal, KindCodeOtherThanTheNamedKindIsATypeMismatch) {
  ChildProcess child("kinds_fatal_child.exe", "forged");
  ASSERT_TRUE(child.started());
  HWND box = WaitForMessageBox(child.id(), "错误", 15000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ReadMessageBox(box).text, "运行时出错!\r\n\r\n错误代码：5\r\n\r\n错误信息：数据或数组类型不匹配\r\n");
  AnswerMessageBox(box);
  EXPECT_EQ(child.Wait(15000), std::optional<DWORD>(0xFFFFFFFF));

  ChildProcess unforged("kinds_fatal_child.exe", "listed");
  EXPECT_EQ(unforged.Wait(15000), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace snipora
