// Writes what CF_TEXT holds on the clipboard (the whole block) to the file
// named by its argument; exit code 1 when there is no text.
#include <windows.h>

#include "tests/support/program_exit.h"

static int ProgramMain(int argc, char** argv) {
  if (argc < 2 || !OpenClipboard(nullptr)) return 2;
  int code = 1;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    const SIZE_T size = GlobalSize(data);
    if (const void* bytes = GlobalLock(data)) {
      HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(file);
        code = 0;
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return code;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
