// One paint, Snipora's way against the bare platform doing the same drawing,
// timed in turns in one process:
//   banner  one repaint of a PNG picture box holding the banner (snapshot of
//           the background, snapshot and banner composed by GDI+, one BitBlt)
//           against the same repaint written by hand (the same steps, with
//           plain handles in place of the skin's window properties), and
//           against GDI+ drawing the banner into a memory DC and one BitBlt,
//           without the snapshot;
//   header  one paint of the glass window's header through the object layer
//           (decoded from its block every time, as designed) against a bare
//           GDI+ decode from a memory stream and the same draw.
//
//   paint_pair.exe banner|header [rounds]     (default 200, after 20 not counted)
// The banner case also prints, outside the table, what each step of the
// repaint costs on its own.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/form_ids.h"
#include "app/handlers.h"
#include "app/program.h"
#include "app/window_definitions.h"
#include "artwork.h"
#include "bench/paired_runs.h"
#include "gdiplus/image_from_bytes.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/system_functions.h"
#include "skin/painting.h"
#include "skin/png_control.h"
#include "skin/skin_startup.h"

using namespace snipora;
using namespace snipora::bench;

namespace {

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

HWND WhiteWindow(int width, int height) {
  WNDCLASSA c{};
  c.lpfnWndProc = DefWindowProcA;
  c.hInstance = GetModuleHandleA(nullptr);
  c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  c.lpszClassName = "PaintPairWindow";
  RegisterClassA(&c);
  HWND window = CreateWindowExA(0, c.lpszClassName, "paint pair", WS_POPUP | WS_VISIBLE, 50, 50, width, height,
                                nullptr, nullptr, c.hInstance, nullptr);
  Pump();
  return window;
}

bool Banner(int rounds) {
  skin::SkinStartup();
  HWND parent = WhiteWindow(400, 118);
  HWND box = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, 400, 118, parent, nullptr,
                             nullptr, nullptr);
  PngControl banner;
  if (!banner.AttachPictureBox(box)) return false;
  banner.LoadImageBytes(ToBytes(art::BannerPngBytes()));
  auto* image = reinterpret_cast<GpImage*>(banner.GetProp("PngControl_BackImage"));
  if (!image) return false;
  Pump();

  // as the picture box's paint does it, on the box's own DC
  const Side ours = [&] {
    HDC dc = GetDC(box);
    const double start = Now();
    skin::PaintPictureBox(box, dc);
    GdiFlush();
    const double took = Now() - start;
    ReleaseDC(box, dc);
    return took;
  };
  // written by hand: the repaint the design requires (what lies beneath kept
  // in a snapshot bitmap of its own, replacing the last one; the snapshot
  // drawn into the composition by GDI+, the banner over it, one BitBlt), or
  // the banner alone without a snapshot
  HBITMAP handSnapshot = nullptr;
  auto byHand = [&](bool snapshot) {
    return [&, snapshot] {
      HDC dc = GetDC(box);
      const double start = Now();
      if (snapshot) {
        if (handSnapshot) DeleteObject(handSnapshot);
        HDC copy = CreateCompatibleDC(dc);
        handSnapshot = CreateCompatibleBitmap(dc, 400, 118);
        HGDIOBJ copyPrevious = SelectObject(copy, handSnapshot);
        BitBlt(copy, 0, 0, 400, 118, dc, 0, 0, SRCCOPY);
        SelectObject(copy, copyPrevious);
        DeleteDC(copy);
      }
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, 400, 118);
      HGDIOBJ previous = SelectObject(memory, bitmap);
      GpGraphics* graphics = nullptr;
      sys::GdipCreateFromHDC(memory, &graphics);
      if (snapshot) {
        GpBitmap* background = nullptr;
        sys::GdipCreateBitmapFromHBITMAP(handSnapshot, nullptr, &background);
        sys::GdipDrawImageRect(graphics, background, 0, 0, 400, 118);
        sys::GdipDisposeImage(background);
      }
      sys::GdipDrawImageRect(graphics, image, 0, 0, 400, 118);
      BitBlt(dc, 0, 0, 400, 118, memory, 0, 0, SRCCOPY);
      sys::GdipDeleteGraphics(graphics);
      SelectObject(memory, previous);
      DeleteObject(bitmap);
      DeleteDC(memory);
      GdiFlush();
      const double took = Now() - start;
      ReleaseDC(box, dc);
      return took;
    };
  };
  {  // where the time of one repaint goes, step by step (printed beside the table)
    HDC dc = GetDC(box);
    double snap = 0, copySnap = 0, drawPng = 0, blt = 0;
    for (int i = 0; i < 100; ++i) {
      double t = Now();
      HBITMAP s = skin::SnapshotBackground(box, dc);
      GdiFlush();
      snap += Now() - t;
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, 400, 118);
      HGDIOBJ previous = SelectObject(memory, bitmap);
      GpGraphics* graphics = nullptr;
      sys::GdipCreateFromHDC(memory, &graphics);
      t = Now();
      GpBitmap* background = nullptr;
      sys::GdipCreateBitmapFromHBITMAP(s, nullptr, &background);
      sys::GdipDrawImageRect(graphics, background, 0, 0, 400, 118);
      sys::GdipDisposeImage(background);
      GdiFlush();
      copySnap += Now() - t;
      t = Now();
      sys::GdipDrawImageRect(graphics, image, 0, 0, 400, 118);
      GdiFlush();
      drawPng += Now() - t;
      t = Now();
      BitBlt(dc, 0, 0, 400, 118, memory, 0, 0, SRCCOPY);
      GdiFlush();
      blt += Now() - t;
      sys::GdipDeleteGraphics(graphics);
      SelectObject(memory, previous);
      DeleteObject(bitmap);
      DeleteDC(memory);
    }
    std::printf("snapshot %.3f  snapshot drawn by GDI+ %.3f  draw png %.3f  blt %.3f (ms each)\n", snap / 100,
                copySnap / 100, drawPng / 100, blt / 100);
    ReleaseDC(box, dc);
  }
  std::vector<std::vector<double>> times;
  const bool ran = RunSides(rounds, 20, {ours, byHand(true), byHand(false)}, times);
  if (handSnapshot) DeleteObject(handSnapshot);
  if (!ran) return false;
  PrintRow("banner repaint, vs hand-written", Pairs{times[0], times[1]}, 1.10);
  PrintRow("banner repaint, vs GDI+ draw without snapshot", Pairs{times[0], times[2]}, std::nullopt);
  return true;
}

bool Header(int rounds) {
  namespace g = app::glass_window;
  InstallForms(app::ProgramWindows());
  app::PrepareProgram(std::make_unique<SystemHelper>());
  if (!LoadWindow(g::kWindow)) return false;  // its created handler starts GDI+
  Pump();
  HDC dc = GetPanelDC(g::kWindow, g::kHeader);
  if (!dc) return false;
  const auto png = art::HeaderPngBytes();

  const Side ours = [&] {
    const double start = Now();
    app::PaintHeader();
    GdiFlush();
    return Now() - start;
  };
  const Side platform = [&] {
    const double start = Now();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
    std::memcpy(GlobalLock(memory), png.data(), png.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(memory, TRUE, &stream);
    GpImage* image = nullptr;
    sys::GdipLoadImageFromStream(stream, &image);
    GpGraphics* graphics = nullptr;
    sys::GdipCreateFromHDC(dc, &graphics);
    float width = 0, height = 0;
    sys::GdipGetImageDimension(image, &width, &height);
    // the same scale the header's 90 dpi gives on a 96-dpi screen
    sys::GdipDrawImageRect(graphics, image, 0, 0, width * 96 / 90, height * 96 / 90);
    sys::GdipDeleteGraphics(graphics);
    sys::GdipDisposeImage(image);
    stream->Release();
    GdiFlush();
    return Now() - start;
  };
  Pairs pairs;
  if (!RunPairs(rounds, 20, ours, platform, pairs)) return false;
  PrintRow("header paint", pairs, 1.20);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* which = argc > 1 ? argv[1] : "";
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
  const bool ok = !std::strcmp(which, "banner") ? Banner(rounds) : !std::strcmp(which, "header") ? Header(rounds) : false;
  if (!ok) std::fprintf(stderr, "paint_pair: banner or header, and the platform must draw\n");
  return ok ? 0 : 1;
}
