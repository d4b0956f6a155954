#pragma once
// The one way out of every test program and of every program a test starts.
//
// On Windows GoogleTest starts a watcher thread for each thread that keeps
// per-thread state (a SCOPED_TRACE is enough), and the watcher waits on that
// thread's handle. When such a watcher waits on the main thread as the
// process ends, Wine's own exit path crashes now and then (the process dies
// of SIGSEGV after "[  PASSED  ]"; a plain program whose threads wait on its
// main thread does it too, about 3 times in 100 with eight such threads), or
// the process never ends at all. So the program's work runs on a thread of
// its own: whatever waits on that thread wakes when it ends and ends too.
// Then the process ends at once, without the exit path's detaching of every
// library, which is where a thread that died holding a lock leaves it hung.
namespace snipora::test {

using ProgramBody = int (*)(int argc, char** argv);

// Runs `body` on a thread of its own, waits a bounded time for the threads
// the program itself started, and ends the process with the body's result.
// A thread still running then is named on standard error (the process ends
// regardless, so a hang shows in seconds, not at a test runner's timeout).
// When SNIPORA_EXIT_MARK names a file, "started" is written there first and
// the result just before the end, for a runner that watches that the process
// really started and really ends.
[[noreturn]] void RunProgram(ProgramBody body, int argc, char** argv);

}  // namespace snipora::test

// main() of a program whose work is `body`.
#define SNIPORA_PROGRAM_MAIN(body) \
  int main(int argc, char** argv) { snipora::test::RunProgram(body, argc, argv); }
