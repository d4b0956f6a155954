// local_service.exe: the local shortening service as a program of its own.
//
//   local_service.exe [--port N] [--relay PORT] [--host NAME] [--log]
//
// --port  the port on 127.0.0.1 (default: one the system chooses)
// --relay pass the shortening requests on to snipora-service on
//         127.0.0.1:PORT (the status picture is still answered here)
// --host  the host of the short addresses it hands out (default snip.invalid)
// --log   one line on stderr for every request
//
// Once listening it writes the port number and a line break to stdout. It runs
// until it is killed or Ctrl+C is pressed; when stdin is a pipe, a line "quit"
// or the end of stdin also stops it. Exit code 0 when stopped, 1 when it
// cannot listen, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/local_service/local_service.h"
#include "tests/support/program_exit.h"

namespace {

HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

int Usage() {
  std::fputs("usage: local_service.exe [--port N] [--relay PORT] [--host NAME] [--log]\n", stderr);
  return 2;
}

}  // namespace

static int ProgramMain(int argc, char** argv) {
  snipora::test::LocalServiceOptions options;
  std::mutex logLock;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--port" && hasValue) {
      char* end = nullptr;
      const long port = std::strtol(argv[++i], &end, 10);
      if (*end || port < 1 || port > 65535) return Usage();
      options.port = static_cast<uint16_t>(port);
    } else if (argument == "--relay" && hasValue) {
      char* end = nullptr;
      const long port = std::strtol(argv[++i], &end, 10);
      if (*end || port < 1 || port > 65535) return Usage();
      options.relayPort = static_cast<uint16_t>(port);
    } else if (argument == "--host" && hasValue) {
      options.shortHost = argv[++i];
    } else if (argument == "--log") {
      options.onRequest = [&logLock](const std::string& line) {
        std::lock_guard lock(logLock);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
      };
    } else {
      return Usage();
    }
  }

  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!stopEvent) return 1;
  snipora::test::LocalService service(options);
  if (!service.port()) {
    std::fprintf(stderr, "local_service: cannot listen on 127.0.0.1:%u\n", unsigned(options.port));
    return 1;
  }
  std::printf("%u\n", unsigned(service.port()));
  std::fflush(stdout);

  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE) {
    std::thread([] {
      std::string line;
      while (std::getline(std::cin, line))
        if (line == "quit" || line == "quit\r") break;
      SetEvent(stopEvent);
    }).detach();
  }
  WaitForSingleObject(stopEvent, INFINITE);
  return 0;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
