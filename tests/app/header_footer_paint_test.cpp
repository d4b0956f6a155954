// The header and footer paint handlers in this process, on the glass window
// the runtime loaded: the GDI+ calls each paint makes, in order, through the
// object layer (stand-ins note them and pass them on to GDI+), the paints
// that showing the window again brings, and a thousand paints that leave the
// working set where it was.
#include <gtest/gtest.h>

#include <windows.h>


#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/form_ids.h"
#include "app/handlers.h"
#include "app/window_definitions.h"
#include "artwork.h"
#include "runtime/forms/form_runtime.h"
#include "tests/app/artwork_check.h"
#include "tests/gdiplus/gdiplus_test_objects.h"
#include "tests/support/process_memory.h"
#include "tests/support/screen_pixels.h"

namespace snipora::app {
namespace {

namespace g = glass_window;
using flat::FlatFunction;
using test::RealGdiplus;
using test::ScopedStandIn;

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

class HeaderFooterPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallForms(ProgramWindows());
    ASSERT_TRUE(LoadWindow(g::kWindow));
    Pump();
  }
  void TearDown() override {
    if (HWND window = GetWindowHandle(g::kWindow, g::kUnit)) DestroyWindow(window);
    Pump();
  }
};

// What the paint asked of GDI+, one line a call, with the handles it passed
// as the order in which they first appeared (g1, i1, ...).
std::vector<std::string> calls;
std::vector<const void*> handles;
std::string Name(const void* handle, const char* kind) {
  std::size_t i = 0;
  while (i < handles.size() && handles[i] != handle) ++i;
  if (i == handles.size()) handles.push_back(handle);
  return kind + std::to_string(i + 1);
}

HDC expectedDc = nullptr;
GpStatus WINAPI CreateFromHdc(HDC dc, GpGraphics** graphics) {
  const GpStatus status = RealGdiplus<decltype(&CreateFromHdc)>("GdipCreateFromHDC")(dc, graphics);
  calls.push_back(std::string("GdipCreateFromHDC ") + (dc == expectedDc ? "panel DC" : "other DC") + " -> " +
                  Name(*graphics, "g"));
  return status;
}
GpStatus WINAPI CreateFromStream(IStream* stream, GpBitmap** bitmap) {
  const GpStatus status = RealGdiplus<decltype(&CreateFromStream)>("GdipCreateBitmapFromStream")(stream, bitmap);
  calls.push_back("GdipCreateBitmapFromStream -> " + Name(*bitmap, "i"));
  return status;
}
GpStatus WINAPI SetResolution(GpBitmap* bitmap, float x, float y) {
  calls.push_back("GdipBitmapSetResolution " + Name(bitmap, "i") + " " + std::to_string(int(x)) + " " +
                  std::to_string(int(y)));
  return RealGdiplus<decltype(&SetResolution)>("GdipBitmapSetResolution")(bitmap, x, y);
}
GpStatus WINAPI DrawImage(GpGraphics* graphics, GpImage* image, float x, float y) {
  calls.push_back("GdipDrawImage " + Name(graphics, "g") + " " + Name(image, "i") + " " + std::to_string(int(x)) +
                  " " + std::to_string(int(y)));
  return RealGdiplus<decltype(&DrawImage)>("GdipDrawImage")(graphics, image, x, y);
}
GpStatus WINAPI DeleteGraphics(GpGraphics* graphics) {
  calls.push_back("GdipDeleteGraphics " + Name(graphics, "g"));
  return RealGdiplus<decltype(&DeleteGraphics)>("GdipDeleteGraphics")(graphics);
}
GpStatus WINAPI DisposeImage(GpImage* image) {
  calls.push_back("GdipDisposeImage " + Name(image, "i"));
  return RealGdiplus<decltype(&DisposeImage)>("GdipDisposeImage")(image);
}

TEST_F(HeaderFooterPaint, EachPaintDecodesDrawsAndReleasesThroughOneGraphicsAndOneImage) {
  ScopedStandIn s1(FlatFunction::GdipCreateFromHDC, &CreateFromHdc);
  ScopedStandIn s2(FlatFunction::GdipCreateBitmapFromStream, &CreateFromStream);
  ScopedStandIn s3(FlatFunction::GdipBitmapSetResolution, &SetResolution);
  ScopedStandIn s4(FlatFunction::GdipDrawImage, &DrawImage);
  ScopedStandIn s5(FlatFunction::GdipDeleteGraphics, &DeleteGraphics);
  ScopedStandIn s6(FlatFunction::GdipDisposeImage, &DisposeImage);
  const std::vector<std::string> onePaint = {
      "GdipCreateFromHDC panel DC -> g1", "GdipCreateBitmapFromStream -> i2", "GdipBitmapSetResolution i2 90 90",
      "GdipDrawImage g1 i2 0 0",          "GdipDeleteGraphics g1",            "GdipDisposeImage i2",
  };
  for (auto [panel, paint] : {std::pair{g::kHeader, &PaintHeader}, std::pair{g::kFooter, &PaintFooter}}) {
    for (int round = 0; round < 2; ++round) {  // nothing is kept from one paint to the next
      calls.clear();
      handles.clear();
      expectedDc = GetPanelDC(g::kWindow, panel);
      paint();
      EXPECT_EQ(calls, onePaint) << (panel == g::kHeader ? "header" : "footer") << ", paint " << round + 1;
    }
  }
}

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    Pump();
    Sleep(10);
  } while (GetTickCount() < end);
}

int draws = 0;
GpStatus WINAPI CountDraw(GpGraphics* graphics, GpImage* image, float x, float y) {
  ++draws;
  return RealGdiplus<decltype(&CountDraw)>("GdipDrawImage")(graphics, image, x, y);
}

// Under Wine a window that is uncovered is shown again from what it last
// drew, without a paint; one that is restored or shown again gets painted.
TEST_F(HeaderFooterPaint, RestoringOrShowingTheWindowPaintsBothAnew) {
  HWND window = GetWindowHandle(g::kWindow, g::kUnit);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  PumpFor(200);
  const test::Panel header = test::FindPanel(window, -12, 0), footer = test::FindPanel(window, 2, 240);
  ASSERT_NE(header.hwnd, nullptr);
  ASSERT_NE(footer.hwnd, nullptr);
  const auto headerImage = test::ExpectedArtwork(art::HeaderPngBytes(), header.hwnd);
  const auto footerImage = test::ExpectedArtwork(art::FooterPngBytes(), footer.hwnd);
  EXPECT_EQ(test::Mismatches(header, headerImage), 0);

  ScopedStandIn count(FlatFunction::GdipDrawImage, &CountDraw);
  for (auto [away, back] : {std::pair{SW_MINIMIZE, SW_RESTORE}, std::pair{SW_HIDE, SW_SHOW}}) {
    // blackened first, so that what comes back must have been painted anew
    for (auto [panel, id] : {std::pair{header.hwnd, g::kHeader}, std::pair{footer.hwnd, g::kFooter}}) {
      RECT all;
      GetClientRect(panel, &all);
      FillRect(GetPanelDC(g::kWindow, id), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    GdiFlush();
    ASSERT_GT(test::Mismatches(header, headerImage), 1000);
    draws = 0;
    ShowWindow(window, away);
    PumpFor(300);
    ShowWindow(window, back);
    PumpFor(500);
    EXPECT_GE(draws, 2) << "shown with " << back;
    EXPECT_EQ(test::Mismatches(header, headerImage), 0) << "shown with " << back;
    EXPECT_EQ(test::Mismatches(footer, footerImage), 0) << "shown with " << back;
  }
}

SIZE_T WorkingSet() { return test::MemoryCounters().WorkingSetSize; }

TEST_F(HeaderFooterPaint, AThousandPaintsLeaveTheWorkingSetFlat) {
  // GDI handle counts read 0 under Wine: the working set is what shows a leak
  for (int i = 0; i < 50; ++i) PaintHeader();
  const SIZE_T before = WorkingSet();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) PaintHeader();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const SIZE_T after = WorkingSet();
  std::printf("header paints: working set %llu kB before, %llu kB after 1000; %.2f ms a paint\n",
              static_cast<unsigned long long>(before / 1024), static_cast<unsigned long long>(after / 1024),
              seconds);
  // one decoded header left behind would be 113 kB a paint
  EXPECT_LT(after, before + 2 * 1024 * 1024);
}

}  // namespace
}  // namespace snipora::app
