// snipora-service: see --help, and the README's section on the service.
#include <signal.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "service/service.h"

using namespace snipora::service;

int main(int argc, char** argv) {
  const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "snipora-service: %s (see --help)\n", parsed.error.c_str());
    return 2;
  }
  // The signals are taken by this thread alone (sigtimedwait); every thread
  // started from here on inherits the blocked set.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  try {
    Service service(parsed.settings, nullptr, parsed.settings.accessLog ? stdout : nullptr);
    std::fprintf(stderr, "snipora-service: listening on %s (port %u), short addresses http://%s/CODE, store %s\n",
                 parsed.settings.listen.c_str(), unsigned(service.port()), parsed.settings.publicHost.c_str(),
                 parsed.settings.database.c_str());
    for (;;) {
      const timespec second{1, 0};
      const int signal = sigtimedwait(&signals, nullptr, &second);
      service.FlushLog();
      if (signal == SIGHUP) {
        const std::string error = service.ReloadDenyList();
        std::fprintf(stderr, "snipora-service: %s\n", error.empty() ? "deny list read again" : error.c_str());
      } else if (signal == SIGTERM || signal == SIGINT) {
        std::fprintf(stderr, "snipora-service: stopping\n");
        service.Stop();
        std::fprintf(stderr, "snipora-service: stopped\n");
        return 0;
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "snipora-service: %s\n", error.what());
    return 1;
  }
}
