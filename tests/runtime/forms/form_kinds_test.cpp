// The shape box, group box, check box, radio box and tab: how their
// background colours paint and how they behave.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "runtime/forms/form_runtime.h"
#include "tests/runtime/forms/painted_background.h"

namespace snipora {
namespace {

constexpr uint32_t kKinds = 0x52000011, kKindsUnit = 0x06000011;
constexpr uint32_t kShape = 0x16000021, kGroup = 0x16000022, kCheck = 0x16000023, kRadio1 = 0x16000024,
                   kRadio2 = 0x16000025, kTab = 0x16000026, kOnTab = 0x16000027, kPic = 0x16000028,
                   kLabel = 0x16000029;
constexpr Color kRed = 0x0000FF;

std::vector<std::string> clicks;
int32_t Clicked(const char* name) {
  clicks.push_back(name);
  return 1;
}
int32_t OnCheck(const EventArgs&) { return Clicked("check"); }
int32_t OnRadio2(const EventArgs&) { return Clicked("radio2"); }

const ControlDefinition kControls[] = {
    {"外形框1", kShape, ControlKind::ShapeBox, 0, 10, 10, 80, 40, nullptr, {}, kRed, 0x00FF00},
    {"分组框1", kGroup, ControlKind::GroupBox, 0, 100, 10, 150, 80, "分组", {}, 0, 0xFFFF00},
    {"选择框1", kCheck, ControlKind::CheckBox, 0, 110, 60, 120, 20, "选择", {}, 0, 0xFF00FF, kTabStop},
    {"单选框1", kRadio1, ControlKind::RadioBox, 0, 10, 60, 80, 20, "单选一", {}, 0, 0x00FFFF, kTabStop},
    {"单选框2", kRadio2, ControlKind::RadioBox, 0, 10, 80, 80, 20, "单选二", {}, 0, 0x00FFFF, kTabStop},
    {"选择夹1", kTab, ControlKind::Tab, 0, 10, 110, 240, 120, "第一页\n第二页\r\n第三页", {}, 0, 0x0080FF, kTabStop},
    {"按钮1", kOnTab, ControlKind::Button, 0, 20, 150, 80, 24, "按", {}, 0, kButtonFaceColor, kTabStop},
    {"图片框1", kPic, ControlKind::PicBox, 0, 260, 10, 40, 40, nullptr, {}, 0, 0x808000},
    {"标签1", kLabel, ControlKind::Label, 0, 260, 60, 60, 20, "标签", {}, 0, 0x008080},
};
const EventBinding kEvents[] = {
    {kCheck, event::kClicked, OnCheck},
    {kRadio2, event::kClicked, OnRadio2},
};
const WindowDefinition kWindows[] = {
    {kKinds, kKindsUnit, "kinds", 360, 300, 0xFFFFFF, false, true, false, 0, kControls, kEvents},
};

class FormKinds : public testing::Test {
 protected:
  void SetUp() override {
    clicks.clear();
    InstallForms(kWindows);
    ASSERT_TRUE(LoadWindow(kKinds));
    SetWindowPos(Native(kKindsUnit), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(Native(kKindsUnit), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  void TearDown() override {
    if (HWND h = Native(kKindsUnit)) DestroyWindow(h);
  }
  static HWND Native(uint32_t control) { return GetWindowHandle(kKinds, control); }
};

TEST_F(FormKinds, BackgroundColourPropertiesPaintTheWholeBackground) {
  struct Case {
    uint32_t control;
    ControlKind kind;
    int32_t number;
    Color defined, written;
  };
  const Case cases[] = {
      {kShape, ControlKind::ShapeBox, 8, 0x00FF00, 0x102030},   {kGroup, ControlKind::GroupBox, 11, 0xFFFF00, 0x203040},
      {kCheck, ControlKind::CheckBox, 16, 0xFF00FF, 0x304050},  {kRadio1, ControlKind::RadioBox, 16, 0x00FFFF, 0x405060},
      {kTab, ControlKind::Tab, 15, 0x0080FF, 0x506070},         {kPic, ControlKind::PicBox, 9, 0x808000, 0x607080},
      {kLabel, ControlKind::Label, 17, 0x008080, 0x708090},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(Color(GetControlProperty(kKinds, c.control, c.number)), c.defined);
    EXPECT_EQ(test::PaintedBackground(Native(c.control), c.kind), COLORREF(c.defined));
    SetControlProperty(kKinds, c.control, c.number, int32_t(c.written));
    EXPECT_EQ(Color(GetControlProperty(kKinds, c.control, c.number)), c.written);
    EXPECT_EQ(test::PaintedBackground(Native(c.control), c.kind), COLORREF(c.written));
  }
  // the shape's outline keeps its line colour
  HDC dc = GetDC(Native(kShape));
  EXPECT_EQ(GetPixel(dc, 0, 0), COLORREF(kRed));
  EXPECT_EQ(GetPixel(dc, 79, 39), COLORREF(kRed));
  ReleaseDC(Native(kShape), dc);
}

TEST_F(FormKinds, GroupBoxAndTabStayUnderTheControlsOnThem) {
  SetControlProperty(kKinds, kTab, property::kTabBackColor, int32_t(kRed));
  SetControlProperty(kKinds, kGroup, property::kGroupBackColor, int32_t(kRed));
  // only the two repaint: what lies on them must not be painted over
  UpdateWindow(Native(kTab));
  UpdateWindow(Native(kGroup));
  HDC dc = GetDC(Native(kKindsUnit));
  EXPECT_EQ(GetPixel(dc, 20 + 4, 150 + 4), GetSysColor(COLOR_BTNFACE));  // the button on the tab
  EXPECT_EQ(GetPixel(dc, 110 + 117, 60 + 10), COLORREF(0xFF00FF));      // the check box on the group box
  EXPECT_EQ(GetPixel(dc, 250 - 8, 230 - 8), COLORREF(kRed));              // the tab's own page
  ReleaseDC(Native(kKindsUnit), dc);
}

TEST_F(FormKinds, CheckAndRadioBoxesToggleAndRaiseClicked) {
  HWND check = Native(kCheck), radio1 = Native(kRadio1), radio2 = Native(kRadio2);
  SendMessageA(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageA(radio1, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(radio1, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(radio2, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(radio2, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageA(radio1, BM_GETCHECK, 0, 0), BST_UNCHECKED);  // one choice of the two
  EXPECT_EQ(clicks, (std::vector<std::string>{"check", "check", "radio2"}));
}

TEST_F(FormKinds, TabHasOneTabPerLineOfItsText) {
  HWND tab = Native(kTab);
  ASSERT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 3);
  const char* names[] = {"第一页", "第二页", "第三页"};
  for (int i = 0; i < 3; ++i) {
    char text[32] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ(text, names[i]) << i;
  }
}

}  // namespace
}  // namespace snipora
