// Taking over controls: subclassing, style edits, the generic operations.
#include "skin/png_control.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "skin/parent_procedure.h"
#include "skin/skin_startup.h"
#include "skin/subclass.h"
#include "tests/skin/skin_test_window.h"

using namespace snipora;
using snipora::test::PumpFor;
using snipora::test::TestParent;

namespace {

LONG Style(HWND w) { return GetWindowLongA(w, GWL_STYLE); }
LONG ExStyle(HWND w) { return GetWindowLongA(w, GWL_EXSTYLE); }
WNDPROC ProcedureOf(HWND w) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w, GWLP_WNDPROC)); }
HANDLE Prop(HWND w, const char* name) { return GetPropA(w, name); }

RECT InParent(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST(PngControlAttach, TakesOverStylesAndSubclassesTheParentOnce) {
  TestParent parent(200, 100);
  HWND a = parent.AddChild(0, 0, 50, 20, "Static", SS_NOTIFY | WS_CLIPSIBLINGS);
  HWND b = parent.AddChild(60, 0, 50, 20);
  const WNDPROC original = ProcedureOf(parent.hwnd());
  ASSERT_TRUE(Style(parent.hwnd()) & WS_CLIPCHILDREN);

  PngControl first, second;
  EXPECT_TRUE(first.Attach(a));
  EXPECT_EQ(first.GetHandle(), a);
  EXPECT_EQ(first.GetHandle2(), a);
  EXPECT_FALSE(Style(a) & WS_CLIPSIBLINGS);
  EXPECT_TRUE(ExStyle(a) & WS_EX_TRANSPARENT);
  EXPECT_FALSE(Style(parent.hwnd()) & WS_CLIPCHILDREN);
  EXPECT_EQ(ProcedureOf(parent.hwnd()), &skin::ParentProc);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(Prop(parent.hwnd(), "PngControl_WndProc")), original);
  // the control itself is not subclassed by the plain attach
  EXPECT_EQ(Prop(a, "PngControl_WndProc"), nullptr);
  EXPECT_EQ(Prop(a, "PngControl_Type"), nullptr);

  EXPECT_TRUE(second.Attach(b));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(Prop(parent.hwnd(), "PngControl_WndProc")), original);
  EXPECT_EQ(ProcedureOf(parent.hwnd()), &skin::ParentProc);

  // a second attach changes nothing more and still succeeds
  const LONG style = Style(a), exStyle = ExStyle(a);
  EXPECT_TRUE(first.Attach(a));
  EXPECT_EQ(Style(a), style);
  EXPECT_EQ(ExStyle(a), exStyle);
}

TEST(PngControlAttach, AParentThatIsAPngControlKeepsItsProcedure) {
  TestParent parent(200, 100);
  HWND box = parent.AddChild(0, 0, 100, 80, "Static", SS_NOTIFY | WS_CLIPCHILDREN);
  HWND inner = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 5, 5, 20, 20, box, nullptr, nullptr, nullptr);
  SetPropA(box, "PngControl_Type", reinterpret_cast<HANDLE>(2));
  const WNDPROC procedure = ProcedureOf(box);
  PngControl control;
  EXPECT_TRUE(control.Attach(inner));
  EXPECT_EQ(ProcedureOf(box), procedure);
  EXPECT_EQ(Prop(box, "PngControl_WndProc"), nullptr);
  EXPECT_FALSE(Style(box) & WS_CLIPCHILDREN);
}

TEST(PngControlAttach, AWindowWithoutParentOrNoWindowAtAll) {
  // top-level windows always clip their siblings: only the extended style shows the edit
  HWND top = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  const WNDPROC procedure = ProcedureOf(top);
  PngControl control;
  EXPECT_TRUE(control.Attach(top));
  EXPECT_TRUE(ExStyle(top) & WS_EX_TRANSPARENT);
  EXPECT_EQ(ProcedureOf(top), procedure);
  EXPECT_TRUE(control.IsAlive());
  DestroyWindow(top);
  EXPECT_FALSE(control.IsAlive());

  PngControl none;
  EXPECT_FALSE(none.IsAlive());
  EXPECT_FALSE(none.Attach(top));  // no window any more
  EXPECT_FALSE(none.Attach(nullptr));
  EXPECT_EQ(none.GetHandle(), nullptr);
}

// Logs what a window is sent about its position and frame.
LRESULT CALLBACK FrameLogger(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_WINDOWPOSCHANGING) {
    auto* calls = reinterpret_cast<int*>(GetPropA(w, "test.positions"));
    ++*calls;
  }
  return DefWindowProcA(w, m, wp, lp);
}

TEST(PngControlStyles, AnEditThatChangesNothingMakesNoCallAndExtraFlagsReposition) {
  TestParent parent(100, 100);
  HWND child = parent.AddChild(0, 0, 20, 20);
  int positions = 0;
  SetPropA(child, "test.positions", &positions);
  SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameLogger));

  EXPECT_FALSE(skin::EditStyle(child, WS_BORDER, 0, SWP_FRAMECHANGED));  // nothing to remove
  EXPECT_FALSE(skin::EditExStyle(child, 0, 0, SWP_FRAMECHANGED));
  EXPECT_EQ(positions, 0);
  EXPECT_TRUE(skin::EditStyle(child, 0, WS_BORDER));
  EXPECT_TRUE(Style(child) & WS_BORDER);
  EXPECT_EQ(positions, 0);  // no extra flags: no SetWindowPos
  EXPECT_TRUE(skin::EditExStyle(child, 0, WS_EX_CLIENTEDGE, SWP_FRAMECHANGED));
  EXPECT_EQ(positions, 1);
  EXPECT_TRUE(skin::EditStyle(child, WS_BORDER | WS_VISIBLE, WS_DISABLED));
  EXPECT_EQ(Style(child) & (WS_BORDER | WS_VISIBLE | WS_DISABLED), LONG(WS_DISABLED));
}

TEST(PngControlMove, OmittedValuesKeepThePositionOrSize) {
  TestParent parent(300, 200);
  HWND child = parent.AddChild(30, 40, 50, 60);
  PngControl control;
  ASSERT_TRUE(control.Attach(child));

  control.Move({.width = 80});
  RECT r = InParent(child);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right - r.left, 80);
  EXPECT_EQ(r.bottom - r.top, 60);

  control.Move({.left = 10});
  r = InParent(child);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right - r.left, 80);

  control.Move({.left = 1, .top = 2, .width = 3, .height = 4, .noRedraw = true});
  r = InParent(child);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.right - r.left, 3);
  EXPECT_EQ(r.bottom - r.top, 4);
}

TEST(PngControlProperties, GenericOperationsReachTheWindow) {
  TestParent parent(100, 100);
  HWND child = parent.AddChild(0, 0, 20, 20);
  PngControl control;
  ASSERT_TRUE(control.Attach(child));
  EXPECT_EQ(control.GetProp("PngControl_TextColor"), 0);
  EXPECT_TRUE(control.SetProp("PngControl_TextColor", 0x123456));
  EXPECT_EQ(GetPropA(child, "PngControl_TextColor"), reinterpret_cast<HANDLE>(0x123456));
  control.SetBackType(7);
  EXPECT_EQ(control.GetProp("PngControl_BackType"), 7);
  SetWindowTextA(child, "abc");
  EXPECT_EQ(control.SendMsg(WM_GETTEXTLENGTH, 0, 0), 3);
  EXPECT_EQ(control.SendMsg2(WM_GETTEXTLENGTH, 0, 0), 3);

  // copies address the same window; destroying one leaves the window alone
  std::unique_ptr<PngControl> copy = control.Clone();
  EXPECT_EQ(copy->GetHandle(), child);
  copy.reset();
  EXPECT_TRUE(control.IsAlive());
  EXPECT_EQ(control.GetProp("PngControl_TextColor"), 0x123456);
  PumpFor(10);
}

}  // namespace

namespace {

TEST(SkinStartup, PreparesTheFrameDimensionAndTheLoadDialogClass) {
  skin::SkinStartup();
  const GUID* dimension = skin::FrameDimensionTime();
  ASSERT_NE(dimension, nullptr);
  // {6AEDBD6D-3FB5-418A-83A6-7F45229DC872}
  const GUID expected{0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};
  EXPECT_TRUE(IsEqualGUID(*dimension, expected));
  WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "VazizLoadDialog", &info));
  EXPECT_EQ(info.style, UINT(CS_VREDRAW | CS_HREDRAW));
  EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  EXPECT_EQ(info.cbWndExtra, 0);
  skin::ReleaseFrameDimension();
  EXPECT_EQ(skin::FrameDimensionTime(), nullptr);
}

}  // namespace
