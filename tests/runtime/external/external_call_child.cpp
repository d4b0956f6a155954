// Makes one late-bound call chosen by its argument; a fatal end shows its box.
// Exit code 0 when the call returned the expected value.
#include <windows.h>

#include <cstring>

#include "runtime/external_call.h"
#include "tests/support/program_exit.h"

using namespace snipora;

static int ProgramMain(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  if (!std::strcmp(mode, "missing-export")) {
    ExternalEntry entry{"standin_calls.dll", "NoSuchExport"};
    ExternalFunction<int()>{entry}();
  } else if (!std::strcmp(mode, "missing-library")) {
    ExternalEntry entry{"no_such_library.dll", "Anything"};
    ExternalFunction<int()>{entry}();
  } else if (!std::strcmp(mode, "missing-standard")) {
    ExternalEntry entry{"", "NoSuchExport"};
    ExternalFunction<int()>{entry}();
  } else if (!std::strcmp(mode, "balanced")) {
    ExternalEntry entry{"standin_calls.dll", "AddTwo"};
    return ExternalFunction<int(int, int)>{entry}(2, 3) == 5 ? 0 : 1;
  } else if (!std::strcmp(mode, "cdecl-as-stdcall")) {
    ExternalEntry entry{"standin_calls.dll", "AddTwoCdecl"};
    return ExternalFunction<int(int, int)>{entry}(2, 3) == 5 ? 0 : 1;
  } else if (!std::strcmp(mode, "too-few-arguments")) {
    ExternalEntry entry{"standin_calls.dll", "SumThree"};
    (void)ExternalFunction<int(int, int)>{entry}(2, 3);
    return 0;
  } else if (!std::strcmp(mode, "release-while-working")) {
    // the worker runs code of its library all the while; the library must
    // not go away under it (nothing here calls into it again, which would
    // load it anew)
    static volatile LONG rounds = 0;
    ExternalEntry entries[] = {{"standin_worker.dll", "StartWorker"}};
    if (!ExternalFunction<BOOL(volatile LONG*)>{entries[0]}(&rounds)) return 1;
    ReleaseExternalLibraries(entries);
    const LONG before = rounds;
    Sleep(300);
    return rounds > before ? 0 : 1;
  } else if (!std::strcmp(mode, "too-many-arguments")) {
    ExternalEntry entry{"standin_calls.dll", "AddTwo"};
    return ExternalFunction<int(int, int, int)>{entry}(2, 3, 4) == 5 ? 0 : 1;
  }
  return 3;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
