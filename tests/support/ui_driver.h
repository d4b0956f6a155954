#pragma once
// Driving another process's windows the way a user would. Texts are GBK.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace snipora::test {

// A visible top-level window of `processId` (any process when 0) with this
// class and title (either may be null to match any), waited for up to `ms`.
HWND WaitForWindow(const char* className, const char* title, DWORD processId = 0, DWORD ms = 10000);

// Waits until `window` no longer exists.
bool WaitForWindowGone(HWND window, DWORD ms = 10000);

enum class BoxIcon { None, Error, Warning, Information, Question, Unknown };

struct MessageBoxInfo {
  std::string title;
  std::string text;
  HWND owner = nullptr;
  LONG exStyle = 0;
  BoxIcon icon = BoxIcon::None;
  std::vector<std::pair<int, std::string>> buttons;  // (id, text) in tab order
};

// Waits for a message box ("#32770") of `processId` with `title`.
HWND WaitForMessageBox(DWORD processId, const char* title = nullptr, DWORD ms = 10000);
MessageBoxInfo ReadMessageBox(HWND box);
// Answers the box as a click on the button with this id would.
void AnswerMessageBox(HWND box, int buttonId = IDOK);

std::string GetControlText(HWND control);
void SetControlText(HWND control, const char* text);
// Posted, not sent: a handler that opens a box must not block the test.
void Click(HWND button);

// CF_TEXT on the clipboard, or nothing when there is none.
std::optional<std::string> ReadClipboardText();

}  // namespace snipora::test
