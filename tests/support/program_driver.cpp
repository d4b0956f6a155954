#include "tests/support/program_driver.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/ui_driver.h"

namespace snipora::test {

ScopedWindowsVersion::ScopedWindowsVersion(const char* version, const char* exe) {
  std::snprintf(key_, sizeof key_, "Software\\Wine\\AppDefaults\\%s", exe);
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)) return;
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                 static_cast<DWORD>(std::strlen(version) + 1));
  RegCloseKey(key);
}

ScopedWindowsVersion::~ScopedWindowsVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, key_); }

namespace {

BOOL CALLBACK SortControl(HWND child, LPARAM param) {
  auto* controls = reinterpret_cast<MainWindowControls*>(param);
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  const std::string text = GetControlText(child);
  if (!std::strcmp(cls, "Edit")) (IsWindowEnabled(child) ? controls->address : controls->result) = child;
  if (!std::strcmp(cls, "Button") && text == "缩短") controls->shorten = child;
  if (!std::strcmp(cls, "Button") && text == "复制") controls->copy = child;
  return TRUE;
}

}  // namespace

MainWindowControls FindMainWindowControls(HWND window) {
  MainWindowControls controls;
  EnumChildWindows(window, SortControl, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

}  // namespace snipora::test
