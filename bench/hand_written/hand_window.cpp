// Snipora's main windows written by hand, the floor of the start-up pairs: the
// same StartWindow and GlassWindow, with the same controls, texts, fonts,
// colours, banner, status bar, header and footer, made with plain
// CreateWindowExA calls and the GDI+ flat interface, and nothing of Snipora's
// runtime, skin or object layer. Only the program's resources (icon,
// manifest) and its embedded artwork are shared, so that the pixels are the
// same ones.
//
// The order of work is the one the program must keep, where the screen
// depends on it: GDI+ started, StartWindow created hidden with its controls,
// the banner decoded; then on Windows Vista and 7 GlassWindow, modal, with the
// glass calls, and elsewhere StartWindow shown.
//
//   hand_window.exe          (the window follows the reported Windows version)
#include <windows.h>

#include <commctrl.h>
#include <objidl.h>
#include <uxtheme.h>

#include <gdiplus.h>

#include <cstring>
#include <iterator>
#include <span>

#include "app/resources/resource_ids.h"
#include "artwork.h"
#include "bench/hand_written/step_marks.h"

namespace {

namespace gp = Gdiplus::DllExports;

hand::StepMarks marks;

enum Font { kNoFont, kYaHei16, kYaHei14, kYaHei12, kYouYuan21, kFontCount };
struct FontFace {
  const char* face;
  int height;
};
constexpr FontFace kFonts[kFontCount] = {{nullptr, 0}, {"微软雅黑", 16}, {"微软雅黑", 14}, {"微软雅黑", 12}, {"幼圆", 21}};

constexpr COLORREF kWhite = 0xFFFFFF, kBlack = 0x000000, kGrey = 0x808080;
constexpr COLORREF kFace = 0xFF000000;  // the system's button face
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_CENTERIMAGE | SS_LEFTNOWORDWRAP;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | WS_TABSTOP;
constexpr DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr char kPlaceholder[] = "请在此输入您的网址";

// What the screen shows of one control; `parent` is the index of a panel of
// the same window, or -1 for the window itself. In creation order: a control
// created earlier lies in front.
struct Control {
  const char* className;
  const char* text;
  DWORD style, exStyle;
  int x, y, width, height;
  Font font;
  COLORREF text_colour, back_colour;
  int parent = -1;
};

constexpr char kBannerClass[] = "HandBanner";
constexpr char kPanelClass[] = "HandPanel";

const Control kStartControls[] = {
    {"BUTTON", "关于", kButton, 0, 246, 223, 68, 33, kYaHei14, kBlack, kFace},
    {kBannerClass, "", 0, WS_EX_TRANSPARENT, -36, -1, 400, 118, kNoFont, kBlack, kWhite},
    {"STATIC", "http://", kLabel, 0, 7, 177, 57, 32, kYaHei16, kGrey, kWhite},
    {"STATIC", "http://", kLabel, 0, 6, 131, 58, 32, kYaHei16, kGrey, kWhite},
    {"BUTTON", "复制", kButton | WS_DISABLED, 0, 246, 176, 68, 34, kYaHei14, kBlack, kFace},
    {"BUTTON", "缩短", kButton, 0, 64, 223, 176, 33, kYouYuan21, kBlack, kFace},
    {"EDIT", "在此显示缩短网址", kEdit | WS_DISABLED, WS_EX_CLIENTEDGE, 64, 177, 176, 32, kYaHei16, kBlack, kWhite},
    {"EDIT", kPlaceholder, kEdit, WS_EX_CLIENTEDGE, 64, 131, 248, 32, kYaHei16, kGrey, kWhite},
    {STATUSCLASSNAMEA, "", CCS_BOTTOM, 0, 0, 0, 0, 0, kYaHei12, kBlack, kWhite},
};
constexpr int kStartBanner = 1, kStartAddress = 7, kStartStatus = 8;

const Control kGlassControls[] = {
    {kPanelClass, "", 0, WS_EX_CONTROLPARENT, 2, 240, 318, 22, kNoFont, kBlack, kBlack},
    {kPanelClass, "", 0, WS_EX_CONTROLPARENT, 0, 95, 328, 144, kNoFont, kBlack, kWhite},
    {kPanelClass, "", 0, WS_EX_CONTROLPARENT, -12, 0, 333, 88, kNoFont, kBlack, kBlack},
    {"STATIC", "http://", kLabel, 0, 8, 9, 58, 32, kYaHei16, kBlack, kWhite, 1},
    {"EDIT", kPlaceholder, kEdit, WS_EX_CLIENTEDGE, 66, 9, 248, 32, kYaHei16, kGrey, kWhite, 1},
    {"STATIC", "http://", kLabel, 0, 9, 55, 57, 32, kYaHei16, kBlack, kWhite, 1},
    {"EDIT", "在此显示缩短网址", kEdit | WS_DISABLED, WS_EX_CLIENTEDGE, 66, 55, 176, 32, kYaHei16, kBlack, kWhite, 1},
    {"BUTTON", "复制", kButton | WS_DISABLED, 0, 248, 54, 68, 34, kYaHei14, kBlack, kFace, 1},
    {"BUTTON", "关于", kButton, 0, 248, 101, 68, 33, kYaHei14, kBlack, kFace, 1},
    {"BUTTON", "缩短", kButton, 0, 66, 101, 176, 33, kYouYuan21, kBlack, kFace, 1},
};
constexpr int kGlassFooter = 0, kGlassHeader = 2, kGlassShorten = 9;

COLORREF Resolve(COLORREF colour) { return colour == kFace ? GetSysColor(COLOR_BTNFACE) : colour; }

// One window's native state: its controls' handles, colours and brushes.
struct Window {
  std::span<const Control> controls;
  HWND hwnd = nullptr;
  HWND handles[16] = {};
  HBRUSH brushes[16] = {};
  HBRUSH back = nullptr;
  HWND focus = nullptr;  // the control that takes the focus with the window
};

Window start, glass;
HFONT fonts[kFontCount];
HICON statusIcon;
Gdiplus::GpImage* banner;
Gdiplus::GpImage* header;
Gdiplus::GpImage* footer;

Gdiplus::GpImage* Decode(std::span<const unsigned char> png) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
  if (!memory) return nullptr;
  std::memcpy(GlobalLock(memory), png.data(), png.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    GlobalFree(memory);
    return nullptr;
  }
  Gdiplus::GpImage* image = nullptr;
  gp::GdipLoadImageFromStream(stream, &image);
  stream->Release();
  return image;
}

Window* WindowOf(HWND hwnd) {
  for (Window* w : {&start, &glass})
    if (w->hwnd == hwnd) return w;
  return nullptr;
}

// Text and background colours of a control, asked by its parent.
bool ColourControl(HWND control, HDC dc, LRESULT& brush) {
  for (Window* w : {&start, &glass})
    for (std::size_t i = 0; i < w->controls.size(); ++i)
      if (w->handles[i] == control) {
        SetTextColor(dc, w->controls[i].text_colour);
        SetBkColor(dc, Resolve(w->controls[i].back_colour));
        brush = reinterpret_cast<LRESULT>(w->brushes[i]);
        return true;
      }
  return false;
}

bool ColourMessage(UINT message) {
  return message == WM_CTLCOLOREDIT || message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN;
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT brush;
  if (ColourMessage(message) && ColourControl(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam), brush))
    return brush;
  Window* window = WindowOf(hwnd);
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, window->back);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      FillRect(dc, &paint.rcPaint, window->back);
      EndPaint(hwnd, &paint);
      marks.Mark("window painted");
      return 0;
    }
    case WM_SETFOCUS:
      if (window && window->focus) SetFocus(window->focus);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL && lParam == 0) PostMessageA(hwnd, WM_CLOSE, 0, 0);  // Esc
      return 0;
    case WM_DESTROY:
      if (window == &glass && start.hwnd) {
        DestroyWindow(start.hwnd);
      } else if (window == &start) {
        PostQuitMessage(0);
      }
      if (window) window->hwnd = nullptr;
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// What lies beneath (the window's painting, the banner being transparent)
// is copied into a memory bitmap, the banner is drawn over it with its alpha,
// and the result goes to the screen in one BitBlt.
LRESULT CALLBACK BannerProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ previous = SelectObject(memory, bitmap);
      BitBlt(memory, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
      Gdiplus::GpGraphics* graphics = nullptr;
      gp::GdipCreateFromHDC(memory, &graphics);
      float width = 0, height = 0;
      gp::GdipGetImageDimension(banner, &width, &height);
      gp::GdipDrawImageRect(graphics, banner, 0, 0, width, height);
      gp::GdipDeleteGraphics(graphics);
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, previous);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(hwnd, &paint);
      marks.Mark("banner painted");
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The glass window's panels: the background colour, then the header or
// footer picture at 90 dpi (GDI+ scales it by 96/90) with its alpha.
LRESULT CALLBACK PanelProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT brush;
  if (ColourMessage(message) && ColourControl(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam), brush))
    return brush;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      const bool isHeader = hwnd == glass.handles[kGlassHeader];
      const bool isFooter = hwnd == glass.handles[kGlassFooter];
      FillRect(dc, &client, isHeader || isFooter ? glass.brushes[kGlassHeader] : glass.brushes[1]);
      Gdiplus::GpImage*& image = isHeader ? header : footer;
      if (isHeader || isFooter) {
        if (!image) {
          image = Decode(isHeader ? snipora::art::HeaderPngBytes() : snipora::art::FooterPngBytes());
          if (image) gp::GdipBitmapSetResolution(static_cast<Gdiplus::GpBitmap*>(image), 90.0f, 90.0f);
        }
        Gdiplus::GpGraphics* graphics = nullptr;
        gp::GdipCreateFromHDC(dc, &graphics);
        gp::GdipDrawImage(graphics, image, 0, 0);
        gp::GdipDeleteGraphics(graphics);
      }
      EndPaint(hwnd, &paint);
      if (isHeader) marks.Mark("header painted");
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HICON ProgramIcon(int metricX, int metricY) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                                       GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_SHARED));
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXA window{};
  window.cbSize = sizeof window;
  window.style = CS_DBLCLKS;
  window.lpfnWndProc = WindowProcedure;
  window.hInstance = instance;
  window.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  window.hIcon = ProgramIcon(SM_CXICON, SM_CYICON);
  window.hIconSm = ProgramIcon(SM_CXSMICON, SM_CYSMICON);
  window.lpszClassName = "HandWindow";
  RegisterClassExA(&window);
  WNDCLASSEXA panel = window;
  panel.hIcon = panel.hIconSm = nullptr;
  panel.style = CS_DBLCLKS | CS_OWNDC;
  panel.lpfnWndProc = PanelProcedure;
  panel.lpszClassName = kPanelClass;
  RegisterClassExA(&panel);
  WNDCLASSEXA box = panel;
  box.style = CS_DBLCLKS;
  box.lpfnWndProc = BannerProcedure;
  box.lpszClassName = kBannerClass;
  RegisterClassExA(&box);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
}

// The first icon inside the status bar's .ico file.
HICON FirstIcon(std::span<const unsigned char> file) {
  if (file.size() < 22) return nullptr;
  auto word = [&](std::size_t at) { return uint32_t(file[at] | file[at + 1] << 8); };
  const uint32_t bytes = word(14) | word(16) << 16, offset = word(18) | word(20) << 16;
  if (offset > file.size() || bytes > file.size() - offset) return nullptr;
  return CreateIconFromResourceEx(const_cast<BYTE*>(file.data() + offset), bytes, TRUE, 0x00030000,
                                  file[6] ? file[6] : 256, file[7] ? file[7] : 256, LR_DEFAULTCOLOR);
}

void CreateMainWindow(Window& w, HINSTANCE instance, int width, int height, COLORREF back) {
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  w.back = CreateSolidBrush(back);
  w.hwnd = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, "HandWindow", "Snipora",
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           work.left + (work.right - work.left - width) / 2,
                           work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr,
                           instance, nullptr);
  marks.Mark("first window made");
  for (std::size_t i = 0; i < w.controls.size(); ++i) {
    const Control& c = w.controls[i];
    w.brushes[i] = CreateSolidBrush(Resolve(c.back_colour));
    HWND parent = c.parent < 0 ? w.hwnd : w.handles[c.parent];
    // the transparent banner must not be clipped by its siblings: what lies
    // beneath it is its background
    const DWORD clip = (c.exStyle & WS_EX_TRANSPARENT) ? 0 : WS_CLIPSIBLINGS;
    w.handles[i] = CreateWindowExA(c.exStyle, c.className, c.text, WS_CHILD | WS_VISIBLE | clip | c.style, c.x, c.y,
                                   c.width, c.height, parent, reinterpret_cast<HMENU>(100 + i), instance, nullptr);
    if (c.font) SendMessageA(w.handles[i], WM_SETFONT, reinterpret_cast<WPARAM>(fonts[c.font]), FALSE);
    if (std::strcmp(c.className, "EDIT") == 0) SendMessageA(w.handles[i], EM_LIMITTEXT, 0, 0);
  }
}

void FillStatusBar(HWND bar) {
  SetWindowTheme(bar, L" ", L" ");  // without a theme the status bar takes its background colour
  int parts[] = {-1};
  SendMessageA(bar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
  SendMessageA(bar, SB_SETBKCOLOR, 0, static_cast<LPARAM>(kWhite));
  statusIcon = FirstIcon(snipora::art::StarIcoBytes());
  SendMessageA(bar, SB_SETICON, 0, reinterpret_cast<LPARAM>(statusIcon));
  SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("欢迎使用Snipora，点此关注我们！"));
}

// Windows Vista and 7 show the glass window.
bool IsVistaOr7() {
  OSVERSIONINFOA version{sizeof version};
  return GetVersionExA(&version) && version.dwMajorVersion == 6 && version.dwMinorVersion <= 1;
}

// dwmapi.dll is not there on Windows XP: found at run time.
void ApplyGlass(HWND window) {
  HMODULE dwm = LoadLibraryA("dwmapi.dll");
  if (!dwm) return;
  using IsEnabled = HRESULT(WINAPI*)(BOOL*);
  using Extend = HRESULT(WINAPI*)(HWND, const MARGINS*);
  auto isEnabled = reinterpret_cast<IsEnabled>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
  auto extend = reinterpret_cast<Extend>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmExtendFrameIntoClientArea")));
  BOOL composition = FALSE;
  if (!isEnabled || !extend || isEnabled(&composition) != S_OK || !composition) return;
  SetWindowLongA(window, GWL_EXSTYLE, WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, 0, 0, 0);
  const MARGINS frame{0, 0, 95, 20};
  extend(window, &frame);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  marks.Mark("entry");
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  marks.Mark("skin started");

  RegisterClasses(instance);
  for (int f = 1; f < kFontCount; ++f)
    fonts[f] = CreateFontA(-kFonts[f].height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           kFonts[f].face);
  start.controls = kStartControls;
  start.focus = nullptr;
  CreateMainWindow(start, instance, 333, 318, kWhite);
  FillStatusBar(start.handles[kStartStatus]);
  start.focus = start.handles[kStartAddress];
  marks.Mark("StartWindow created");
  banner = Decode(snipora::art::BannerPngBytes());
  InvalidateRect(start.handles[kStartBanner], nullptr, FALSE);
  marks.Mark("banner decoded");

  if (IsVistaOr7()) {
    EnableWindow(start.hwnd, FALSE);  // the glass window is modal
    glass.controls = kGlassControls;
    CreateMainWindow(glass, instance, 333, 287, kBlack);
    glass.focus = glass.handles[kGlassShorten];
    ShowWindow(glass.hwnd, SW_SHOW);
    marks.Mark("GlassWindow created");
    ApplyGlass(glass.hwnd);
  } else {
    ShowWindow(start.hwnd, SW_SHOW);
  }
  marks.Mark("shown");

  marks.Mark("message loop");
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (!root || !IsDialogMessageA(root, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  marks.Write();
  return 0;
}
