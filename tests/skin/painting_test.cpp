// Painting PNG controls, read back from the screen and from device contexts:
// the background through transparent pixels, blending, placement, states,
// and what the parent procedure answers for its PNG controls.
#include "skin/painting.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "gdiplus/image_from_bytes.h"
#include "runtime/system_functions.h"
#include "skin/png_control.h"
#include "skin/skin_startup.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/runtime/picture/sample_pictures.h"
#include "tests/skin/skin_test_window.h"
#include "tests/support/screen_pixels.h"

using namespace snipora;
using namespace snipora::test;

namespace {

// w x h pixels of one colour (0xAARRGGBB).
Pixels Solid(int w, int h, uint32_t argb) { return Pixels{w, h, std::vector<uint32_t>(std::size_t(w) * h, argb)}; }

GpImage* Image(const Pixels& pixels) {
  return LoadImageFromBytes(AsBytes(PngFile(pixels)), &kFrameDimensionTime);
}

// Columns 0-9 transparent, 10-19 red at half alpha, 20-29 opaque blue.
Pixels ThreeBands(int height) {
  Pixels p{30, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 30; ++x) p.argb.push_back(x < 10 ? 0x00000000 : x < 20 ? 0x80FF0000 : 0xFF0000FF);
  return p;
}

class SkinPainting : public testing::Test {
 protected:
  GdiplusSession gdiplus;
  // the picture box's pixels on screen
  std::vector<uint32_t> Shown(HWND box) {
    RECT r;
    GetWindowRect(box, &r);
    return ScreenPixels(r);
  }
};

TEST(FitSize, ShrinksKeepingTheAspectAndNeverEnlarges) {
  using skin::FitSize;
  EXPECT_EQ(FitSize(400, 118, 200, 100), (skin::FittedSize{200, 59}));
  EXPECT_EQ(FitSize(100, 300, 200, 100), (skin::FittedSize{33, 100}));
  EXPECT_EQ(FitSize(50, 20, 200, 100), (skin::FittedSize{50, 20}));
  EXPECT_EQ(FitSize(300, 300, 200, 100), (skin::FittedSize{100, 100}));  // both steps
  EXPECT_EQ(skin::PlaceImage(2, 400, 118, 200, 100), (skin::Placement{0, 20, 200, 59}));
  EXPECT_EQ(skin::PlaceImage(2, 100, 300, 200, 100), (skin::Placement{83, 0, 33, 100}));
  EXPECT_EQ(skin::PlaceImage(2, 50, 20, 201, 101), (skin::Placement{75, 40, 50, 20}));
  EXPECT_EQ(skin::PlaceImage(1, 400, 118, 200, 100), (skin::Placement{0, 0, 200, 100}));
  for (intptr_t other : {0, 3, -1, 7})
    EXPECT_EQ(skin::PlaceImage(other, 400, 118, 200, 100), (skin::Placement{0, 0, 400, 118})) << other;
  // an image of the window's size covers it whatever the placement: a paint
  // need not read the placement then
  for (intptr_t any : {0, 1, 2, 3})
    EXPECT_EQ(skin::PlaceImage(any, 400, 118, 400, 118), (skin::Placement{0, 0, 400, 118})) << any;
}

TEST_F(SkinPainting, ThePictureBoxShowsTheParentThroughTransparentPixels) {
  TestParent parent(120, 80);
  HWND child = parent.AddChild(20, 10, 30, 40);
  PngControl box;
  ASSERT_TRUE(box.AttachPictureBox(child, Image(ThreeBands(40))));
  PumpFor(200);
  const auto shown = Shown(child);
  for (int y : {0, 17, 39}) {
    for (int x : {0, 5, 9}) EXPECT_EQ(shown[y * 30 + x], GradientAt(20 + x, 10 + y)) << x << "," << y;
    for (int x : {10, 15, 19})
      EXPECT_LE(ColourDistance(shown[y * 30 + x], BlendColour(0xFF0000, GradientAt(20 + x, 10 + y), 0x80)), 1)
          << x << "," << y;
    EXPECT_EQ(shown[y * 30 + 25], 0x0000FFu);
  }
  // the snapshot it painted from is kept, window-sized, and goes with the window
  HGDIOBJ snapshot = GetPropA(child, "PngControl_CacheBitmap");
  BITMAP info{};
  ASSERT_TRUE(GetObjectA(snapshot, sizeof info, &info));
  EXPECT_EQ(info.bmWidth, 30);
  EXPECT_EQ(info.bmHeight, 40);
  DestroyWindow(child);
  EXPECT_EQ(GetObjectType(snapshot), 0u);
}

// Every repaint takes a new snapshot of the box's size at that moment: a box
// that has grown must not be composed over the old, smaller one.
TEST_F(SkinPainting, AResizedBoxTakesASnapshotOfItsNewSize) {
  TestParent parent(120, 80);
  HWND child = parent.AddChild(20, 10, 30, 40);
  PngControl box;
  ASSERT_TRUE(box.AttachPictureBox(child, Image(ThreeBands(40))));
  PumpFor(200);

  SetWindowPos(child, nullptr, 0, 0, 60, 50, SWP_NOMOVE | SWP_NOZORDER);
  RedrawWindow(parent.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpFor(200);
  BITMAP info{};
  ASSERT_TRUE(GetObjectA(GetPropA(child, "PngControl_CacheBitmap"), sizeof info, &info));
  EXPECT_EQ(info.bmWidth, 60);
  EXPECT_EQ(info.bmHeight, 50);
  // the parent shows through the transparent columns, right down to the new bottom row
  const auto shown = Shown(child);
  EXPECT_EQ(shown[49 * 60 + 5], GradientAt(20 + 5, 10 + 49));
  EXPECT_EQ(shown[49 * 60 + 45], GradientAt(20 + 45, 10 + 49));
}

TEST_F(SkinPainting, RepaintingAloneBlendsAgainButANewPictureStartsClean) {
  TestParent parent(60, 60);
  HWND child = parent.AddChild(0, 0, 30, 20);
  PngControl box;
  GpImage* bands = Image(ThreeBands(20));
  ASSERT_TRUE(box.AttachPictureBox(child, bands));
  PumpFor(200);
  const uint32_t once = Shown(child)[15];
  EXPECT_LE(ColourDistance(once, BlendColour(0xFF0000, GradientAt(15, 0), 0x80)), 1);

  // the box alone: its own last picture is the background now
  RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  PumpFor(100);
  const uint32_t twice = Shown(child)[15];
  EXPECT_LE(ColourDistance(twice, BlendColour(0xFF0000, once, 0x80)), 1);
  EXPECT_GT(ColourDistance(twice, once), 10);

  // a picture given anew has the parent repaint beneath first
  box.SetBackImage(bands);
  PumpFor(200);
  EXPECT_LE(ColourDistance(Shown(child)[15], once), 1);
}

TEST_F(SkinPainting, PlacementByBackType) {
  TestParent parent(240, 140);
  HWND child = parent.AddChild(10, 10, 200, 100);
  PngControl box;
  ASSERT_TRUE(box.AttachPictureBox(child));
  box.SetBackType(2);
  box.SetBackImage(Image(Solid(400, 118, 0xFF00FF00)));
  PumpFor(200);
  auto shown = Shown(child);
  EXPECT_EQ(shown[19 * 200 + 100], GradientAt(110, 29));  // above the fitted image
  EXPECT_EQ(shown[20 * 200 + 0], 0x00FF00u);
  EXPECT_EQ(shown[78 * 200 + 199], 0x00FF00u);
  EXPECT_EQ(shown[79 * 200 + 100], GradientAt(110, 89));  // below: 20 + 59

  box.SetBackType(2);
  box.SetBackImage(Image(Solid(100, 300, 0xFF00FF00)));
  PumpFor(200);
  shown = Shown(child);
  EXPECT_EQ(shown[50 * 200 + 82], GradientAt(92, 60));
  EXPECT_EQ(shown[50 * 200 + 83], 0x00FF00u);
  EXPECT_EQ(shown[50 * 200 + 115], 0x00FF00u);
  EXPECT_EQ(shown[50 * 200 + 116], GradientAt(126, 60));

  // natural size, cut at the edges; an unknown type draws the same way
  for (int type : {0, 9}) {
    box.SetBackType(type);
    box.SetBackImage(Image(Solid(50, 300, 0xFF0000FF)));
    PumpFor(200);
    shown = Shown(child);
    EXPECT_EQ(shown[99 * 200 + 49], 0x0000FFu) << type;
    EXPECT_EQ(shown[99 * 200 + 50], GradientAt(60, 109)) << type;
  }

  // stretched over the whole box (its outermost pixels blend with the edge)
  box.SetBackType(1);
  box.SetBackImage(Image(Solid(4, 4, 0xFFFF0000)));
  PumpFor(200);
  shown = Shown(child);
  for (int at : {30 * 200 + 30, 50 * 200 + 100, 60 * 200 + 140}) EXPECT_EQ(shown[at], 0xFF0000u) << at;

  // a picture that does not decode leaves the background alone
  box.LoadImageBytes(AsBytes(ByteVector{1, 2, 3}));
  PumpFor(200);
  EXPECT_EQ(GetPropA(child, "PngControl_BackImage"), nullptr);
  shown = Shown(child);
  EXPECT_EQ(shown[50 * 200 + 50], GradientAt(60, 60));
}

// A custom-drawn control is drawn into a device context here: its snapshot is
// taken from a canvas of one colour, then the state's image goes over it.
class StateImages : public SkinPainting {
 protected:
  void SetUp() override {
    child = parent.AddChild(0, 0, 8, 8);
    SetPropA(child, "PngControl_Type", reinterpret_cast<HANDLE>(3));
    DibCanvas background(8, 8, 0x102030);
    skin::SnapshotBackground(child, background.dc());
  }
  void Put(const char* name, uint32_t argb) {
    SetPropA(child, name, reinterpret_cast<HANDLE>(Image(Solid(8, 8, argb))));
  }
  uint32_t Drawn(intptr_t state) {
    SetPropA(child, "Vaziz_DrawState", reinterpret_cast<HANDLE>(state));
    DibCanvas target(8, 8, 0xFFFFFF);
    skin::DrawStateImage(child, target.dc());
    return target.at(4, 4);
  }
  TestParent parent{40, 40};
  HWND child = nullptr;
};

TEST_F(StateImages, EachStateWithTheNormalImageForWhatIsMissing) {
  EXPECT_EQ(Drawn(0), 0x102030u);  // no image at all: the snapshot
  Put("PngControl_NormalImage", 0xFF0000FF);
  Put("PngControl_DownImage", 0xFFFF0000);
  EXPECT_EQ(Drawn(0), 0x0000FFu);
  EXPECT_EQ(Drawn(1), 0x0000FFu);  // no hot image
  EXPECT_EQ(Drawn(2), 0xFF0000u);
  EXPECT_EQ(Drawn(3), 0x0000FFu);
  EXPECT_EQ(Drawn(7), 0x0000FFu);
  Put("PngControl_OverlImage", 0xFF00FF00);
  Put("PngControl_DisableImage", 0xFF808080);
  EXPECT_EQ(Drawn(1), 0x00FF00u);
  EXPECT_EQ(Drawn(3), 0x808080u);

  // without a snapshot nothing is drawn at all
  DeleteObject(GetPropA(child, "PngControl_CacheBitmap"));
  SetPropA(child, "PngControl_CacheBitmap", nullptr);
  EXPECT_EQ(Drawn(0), 0xFFFFFFu);
}

// One late-bound system function answered by a stand-in for a scope.
class SystemStandIn {
 public:
  SystemStandIn(ExternalEntry& entry, void* standIn) : entry_(entry), address_(entry.address) {
    entry_.address = standIn;
  }
  SystemStandIn(const SystemStandIn&) = delete;
  SystemStandIn& operator=(const SystemStandIn&) = delete;
  ~SystemStandIn() { entry_.address = address_; }

 private:
  ExternalEntry& entry_;
  void* address_;
};
ExternalEntry& EntryOf(sys::SystemFunction function) { return sys::systemFunctionTable[static_cast<int>(function)]; }

constexpr GpStatus kOutOfMemory = 3;
GpStatus WINAPI NoGraphics(HDC, GpGraphics** graphics) {
  *graphics = nullptr;
  return kOutOfMemory;
}
GpStatus WINAPI NoBitmap(HBITMAP, HPALETTE, GpBitmap** bitmap) {
  *bitmap = nullptr;
  return kOutOfMemory;
}
GpStatus WINAPI NoDimension(GpImage*, float*, float*) { return kOutOfMemory; }

// A composition is shown whole or not at all: a failed GDI+ call never puts
// an unpainted bitmap (black) on the target, and an image whose size cannot
// be read leaves the snapshot alone showing.
TEST_F(StateImages, AFailedGdiplusCallShowsNothingHalfDrawn) {
  Put("PngControl_NormalImage", 0xFF0000FF);
  {
    const SystemStandIn failing(EntryOf(sys::SystemFunction::GdipCreateFromHDC), reinterpret_cast<void*>(NoGraphics));
    EXPECT_EQ(Drawn(0), 0xFFFFFFu);
  }
  {
    const SystemStandIn failing(EntryOf(sys::SystemFunction::GdipCreateBitmapFromHBITMAP),
                                reinterpret_cast<void*>(NoBitmap));
    EXPECT_EQ(Drawn(0), 0xFFFFFFu);
  }
  {
    const SystemStandIn failing(EntryOf(sys::SystemFunction::GdipGetImageDimension),
                                reinterpret_cast<void*>(NoDimension));
    EXPECT_EQ(Drawn(0), 0x102030u);
  }
  EXPECT_EQ(Drawn(0), 0x0000FFu);
}

TEST_F(StateImages, CustomDrawRepaintsOnlyKindThreeAndIsPassedOn) {
  PngControl attach;
  ASSERT_TRUE(attach.Attach(child));
  Put("PngControl_NormalImage", 0xFF00FF00);
  HWND other = parent.AddChild(20, 0, 8, 8);
  SetPropA(other, "PngControl_Type", reinterpret_cast<HANDLE>(2));
  PumpFor(100);
  auto notify = [&](HWND from) {
    NMHDR header{from, 7, UINT(NM_CUSTOMDRAW)};
    SendMessageA(parent.hwnd(), WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header));
  };
  parent.log.clear();
  notify(child);
  PumpFor(50);  // what a window DC shows reaches the screen with the next messages
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(ScreenPixels(r)[4 * 8 + 4], 0x00FF00u);
  GetWindowRect(other, &r);
  const auto before = ScreenPixels(r);
  DibCanvas background(8, 8, 0x102030);
  skin::SnapshotBackground(other, background.dc());
  parent.log.clear();
  notify(child);
  notify(other);
  PumpFor(50);
  EXPECT_EQ(ScreenPixels(r), before);
  ASSERT_EQ(parent.log.size(), 2u);
  EXPECT_EQ(parent.log[0].message, UINT(WM_NOTIFY));
}

TEST_F(SkinPainting, ColourQueriesByKind) {
  TestParent parent(100, 40);
  HWND plain = parent.AddChild(0, 0, 10, 10);
  PngControl control;
  ASSERT_TRUE(control.Attach(plain));
  HDC dc = GetDC(parent.hwnd());
  const HGDIOBJ nullBrush = GetStockObject(NULL_BRUSH);
  auto query = [&](UINT message, intptr_t type, bool withColour = true) {
    SetPropA(plain, "PngControl_Type", reinterpret_cast<HANDLE>(type));
    if (withColour)
      SetPropA(plain, "PngControl_TextColor", reinterpret_cast<HANDLE>(0x00332211));
    else
      RemovePropA(plain, "PngControl_TextColor");
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, 0x00ABCDEF);
    return SendMessageA(parent.hwnd(), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(plain));
  };
  for (UINT message : {0x0132u, 0x0133u, 0x0134u, 0x0135u, 0x0136u, 0x0138u}) {
    for (intptr_t type : {2, 3}) {
      EXPECT_EQ(query(message, type), reinterpret_cast<LRESULT>(nullBrush)) << message;
      EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
      EXPECT_EQ(GetTextColor(dc), 0x00ABCDEFu);
    }
    EXPECT_EQ(query(message, 4), reinterpret_cast<LRESULT>(nullBrush));
    EXPECT_EQ(GetTextColor(dc), 0x00332211u);
    EXPECT_EQ(query(message, 4, false), reinterpret_cast<LRESULT>(nullBrush));
    EXPECT_EQ(GetTextColor(dc), 0u);  // no colour given: black
  }
  parent.log.clear();
  EXPECT_EQ(query(WM_CTLCOLORSTATIC, 0), TestParent::kOwnBrushMark);  // not a PNG control
  EXPECT_EQ(query(WM_CTLCOLORSCROLLBAR, 2), TestParent::kOwnBrushMark);
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(parent.log.size(), 2u);
  ReleaseDC(parent.hwnd(), dc);
}

TEST_F(SkinPainting, EditControlsRepaintAsTheirTextChanges) {
  TestParent parent(200, 40);
  HWND edit = parent.AddChild(0, 0, 100, 20, "Edit", ES_AUTOHSCROLL);
  HWND button = parent.AddChild(110, 0, 50, 20, "Button", BS_PUSHBUTTON);
  PngControl control;
  ASSERT_TRUE(control.Attach(edit));
  SetPropA(edit, "PngControl_Type", reinterpret_cast<HANDLE>(4));
  PumpFor(100);
  auto pending = [](HWND w) { return GetUpdateRect(w, nullptr, FALSE) != FALSE; };
  ASSERT_FALSE(pending(edit));
  parent.log.clear();
  for (WORD code : {WORD(EN_CHANGE), WORD(EN_HSCROLL), WORD(EN_VSCROLL)}) {
    ValidateRect(edit, nullptr);
    SendMessageA(parent.hwnd(), WM_COMMAND, MAKEWPARAM(1, code), reinterpret_cast<LPARAM>(edit));
    EXPECT_TRUE(pending(edit)) << code;
  }
  ValidateRect(edit, nullptr);
  SendMessageA(parent.hwnd(), WM_COMMAND, MAKEWPARAM(1, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit));
  EXPECT_FALSE(pending(edit));
  SetPropA(button, "PngControl_Type", reinterpret_cast<HANDLE>(3));
  ValidateRect(button, nullptr);
  SendMessageA(parent.hwnd(), WM_COMMAND, MAKEWPARAM(1, EN_CHANGE), reinterpret_cast<LPARAM>(button));
  EXPECT_FALSE(pending(button));  // only edit controls of kind 4
  EXPECT_EQ(parent.log.size(), 5u);  // every command is passed on
}

TEST_F(SkinPainting, CreatePictureBoxMakesAnAttachedStatic) {
  TestParent parent(100, 60);
  PngControl box;
  HWND made = box.CreatePictureBox(parent.hwnd(), 5, 6, 40, 30);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(box.GetHandle(), made);
  char cls[16];
  GetClassNameA(made, cls, sizeof cls);
  EXPECT_STREQ(cls, "Static");
  char text[32];
  GetWindowTextA(made, text, sizeof text);
  EXPECT_STREQ(text, "dazaru.图片框");
  EXPECT_EQ(GetWindowLongA(made, GWL_STYLE), LONG(0x50000100));
  EXPECT_TRUE(GetWindowLongA(made, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  EXPECT_EQ(GetPropA(made, "PngControl_Type"), reinterpret_cast<HANDLE>(2));
  // attaching again keeps the subclass and the picture
  GpImage* image = Image(Solid(2, 2, 0xFF000000));
  box.SetBackImage(image);
  const LONG_PTR procedure = GetWindowLongPtrA(made, GWLP_WNDPROC);
  EXPECT_TRUE(box.AttachPictureBox(made));
  EXPECT_EQ(GetWindowLongPtrA(made, GWLP_WNDPROC), procedure);
  EXPECT_EQ(GetPropA(made, "PngControl_BackImage"), reinterpret_cast<HANDLE>(image));

  // a click goes to the parent as the static's notification, unchanged
  parent.log.clear();
  SendMessageA(made, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageA(made, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  ASSERT_FALSE(parent.log.empty());
  EXPECT_EQ(parent.log.back().message, UINT(WM_COMMAND));
  EXPECT_EQ(HIWORD(parent.log.back().wParam), STN_CLICKED);

  PngControl none;
  EXPECT_FALSE(none.AttachPictureBox(nullptr));
}

}  // namespace
