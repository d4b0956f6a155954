// Ends through the fatal runtime error in the way its first argument names,
// so that a test can read the box from outside. The second argument is a file
// that the registered exit routine creates, should it ever run.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "runtime/byte_set.h"
#include "runtime/exit_routine.h"
#include "runtime/fatal_error.h"
#include "runtime/heap.h"
#include "runtime/text.h"
#include "tests/support/program_exit.h"

namespace {

const char* markerPath = nullptr;

void WriteMarker() {
  HANDLE file = CreateFileA(markerPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

static int ProgramMain(int argc, char** argv) {
  using namespace snipora;
  if (argc < 3) return 2;
  const char* mode = argv[1];
  markerPath = argv[2];
  RegisterExitRoutine(WriteMarker);

  if (!std::strcmp(mode, "code-and-message")) FatalRuntimeError(6, "调用DLL命令后发现堆栈错误");
  if (!std::strcmp(mode, "message")) FatalRuntimeError("未载入欲访问窗口组件所在的窗口");
  if (!std::strcmp(mode, "code")) FatalRuntimeError(5, nullptr);
  if (!std::strcmp(mode, "allocation")) (void)AllocateBlock(SIZE_MAX - 64);  // no heap can give this
  if (!std::strcmp(mode, "byte-set-allocation")) (void)Bytes::Copy(argv[0], 0x80000000u);
  if (!std::strcmp(mode, "value-kind")) (void)ReadBytesValue(nullptr, 11);

  // the normal end: the runtime calls the exit routine once
  RunExitRoutine();
  RunExitRoutine();
  return 0;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
