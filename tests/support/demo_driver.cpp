// Shortens an example address through Snipora's real window, as a user would:
// a click into the address box, typed keys, a click on "缩短", then "复制".
// Prints the short address and what the clipboard holds. Used by scripts/run.sh
// when there is no display to work in; "--about" opens the About window,
// "--close" closes the program's windows.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/program_driver.h"
#include "tests/support/ui_driver.h"
#include "tests/support/program_exit.h"

using namespace snipora::test;

namespace {

void SendMouse(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

// A real click in the middle of a control.
void ClickOn(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  Sleep(50);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  SendMouse(MOUSEEVENTF_LEFTUP);
  Sleep(200);
}

void Type(const char* text) {
  for (const char* p = text; *p; ++p) {
    const SHORT key = VkKeyScanA(*p);
    INPUT keys[4] = {};
    int n = 0;
    auto add = [&](WORD vk, DWORD flags) {
      keys[n].type = INPUT_KEYBOARD;
      keys[n].ki.wVk = vk;
      keys[n++].ki.dwFlags = flags;
    };
    if (key & 0x100) add(VK_SHIFT, 0);
    add(LOBYTE(key), 0);
    add(LOBYTE(key), KEYEVENTF_KEYUP);
    if (key & 0x100) add(VK_SHIFT, KEYEVENTF_KEYUP);
    SendInput(n, keys, sizeof keys[0]);
    Sleep(15);
  }
}

bool IsAscii(const char* text) {
  for (const char* p = text; *p; ++p)
    if (static_cast<unsigned char>(*p) >= 0x80) return false;
  return true;
}

// Text with Chinese in it goes in as people enter it: copied from somewhere
// else and pasted with Ctrl+V (the keyboard has no key for it).
bool Paste(HWND owner, const char* text) {
  const int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (wide <= 0 || !OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool placed = false;
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, wide * sizeof(wchar_t))) {
    MultiByteToWideChar(CP_ACP, 0, text, -1, static_cast<wchar_t*>(GlobalLock(memory)), wide);
    GlobalUnlock(memory);
    placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed) GlobalFree(memory);
  }
  CloseClipboard();
  if (!placed) return false;
  INPUT keys[4] = {};
  const WORD order[4][2] = {{VK_CONTROL, 0}, {'V', 0}, {'V', KEYEVENTF_KEYUP}, {VK_CONTROL, KEYEVENTF_KEYUP}};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = order[i][0];
    keys[i].ki.dwFlags = order[i][1];
  }
  SendInput(4, keys, sizeof keys[0]);
  return true;
}

BOOL CALLBACK FindAboutButton(HWND child, LPARAM found) {
  if (GetControlText(child) != "关于") return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

}  // namespace

static int ProgramMain(int argc, char** argv) {
  if (argc > 1 && !strcmp(argv[1], "--close")) {  // ends the program as its close boxes would
    if (HWND about = WaitForWindow("SniporaWindow", "关于", 0, 0)) {
      PostMessageA(about, WM_CLOSE, 0, 0);
      WaitForWindowGone(about, 5000);
    }
    HWND window = WaitForWindow("SniporaWindow", "Snipora", 0, 5000);
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    return window ? 0 : 1;
  }
  if (argc > 1 && !strcmp(argv[1], "--about")) {  // opens About and waits until it shows
    HWND window = WaitForWindow("SniporaWindow", "Snipora", 0, 5000);
    HWND button = nullptr;
    if (window) EnumChildWindows(window, FindAboutButton, reinterpret_cast<LPARAM>(&button));
    if (!button) return std::fprintf(stderr, "the About button was not found\n"), 1;
    ClickOn(button);
    HWND about = WaitForWindow("SniporaWindow", "关于", 0, 15000);
    if (!about) return std::fprintf(stderr, "the About window did not appear\n"), 1;
    SetWindowPos(about, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Sleep(800);
    std::printf("about window:   open, with the online-status picture\n");
    return 0;
  }
  const char* address = argc > 1 ? argv[1] : "www.example.com/articles/2026/how-to-shorten-a-long-address?lang=zh";
  HWND window = WaitForWindow("SniporaWindow", "Snipora", 0, 30000);
  if (!window) return std::fprintf(stderr, "Snipora's window did not appear\n"), 1;
  Sleep(500);
  const MainWindowControls c = FindMainWindowControls(window);
  if (!c.complete()) return std::fprintf(stderr, "controls not found\n"), 1;
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  const std::string before = GetControlText(c.result);
  ClickOn(c.address);
  SendMessageA(c.address, EM_SETSEL, 0, -1);  // what is typed replaces an earlier address
  if (IsAscii(address)) {
    Type(address);
  } else if (!Paste(window, address)) {
    return std::fprintf(stderr, "the address could not be put on the clipboard\n"), 1;
  }
  Sleep(100);
  // a key that went to another window (one that took the focus) is lost
  if (const std::string inBox = GetControlText(c.address); inBox != address)
    return std::fprintf(stderr, "the address box holds \"%s\" after typing \"%s\"\n", inBox.c_str(), address), 1;
  ClickOn(c.shorten);
  std::string shortAddress;
  for (int i = 0; i < 300 && (shortAddress = GetControlText(c.result)) == before; ++i) Sleep(100);
  std::printf("address typed:  %s\nshort address:  http://%s\n", address, shortAddress.c_str());

  ClickOn(c.copy);
  if (HWND box = WaitForMessageBox(0, "提示", 10000)) {
    std::printf("message:        %s\n", ReadMessageBox(box).text.c_str());
    std::printf("clipboard:      %s\n", ReadClipboardText().value_or("(nothing)").c_str());
    AnswerMessageBox(box);
    WaitForWindowGone(box, 5000);
    Sleep(500);  // the window repaints where the box was
  }
  std::fflush(stdout);
  return shortAddress.empty() || shortAddress == before ? 1 : 0;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
