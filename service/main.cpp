// snipora-service: see --help, and docs/service.md.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "service/open_store.h"
#include "service/service.h"
#include "service/transfer.h"

using namespace snipora::service;

namespace {

constexpr char kCommandsHelp[] =
    "Moving links:\n"
    "  snipora-service copy --from SOURCE --to TARGET\n"
    "  snipora-service export [--database D] [--output FILE|-]\n"
    "  snipora-service import [--database D] [--input FILE|-]\n"
    "copy moves every link with its code, creation time and clicks between two stores (each an SQLite\n"
    "path or a postgresql:// address); export writes CSV (code,address,created,clicks; created as\n"
    "YYYY-MM-DDTHH:MM:SSZ), import reads it, checking every row before storing any. A link already\n"
    "there is left as it is, so running either again changes nothing; a code or address that is\n"
    "another link's there is reported and skipped, and the exit status is then 1.\n";

int Report(const char* what, const TransferReport& report) {
  std::fprintf(stderr, "snipora-service %s: %llu added, %llu there already, %llu conflicts, %llu bad rows\n", what,
               static_cast<unsigned long long>(report.added), static_cast<unsigned long long>(report.present),
               static_cast<unsigned long long>(report.conflicts), static_cast<unsigned long long>(report.badRows));
  return report.conflicts || report.badRows ? 1 : 0;
}

// copy, export and import; their options are --NAME VALUE pairs.
int RunCommand(const std::string& command, const std::vector<std::string>& arguments) {
  std::map<std::string, std::string> options = {{"database", Settings().database}, {"output", "-"}, {"input", "-"}};
  const std::map<std::string, std::vector<std::string>> allowed = {
      {"copy", {"from", "to"}}, {"export", {"database", "output"}}, {"import", {"database", "input"}}};
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    const std::string name = arguments[i].rfind("--", 0) == 0 ? arguments[i].substr(2) : "";
    const std::vector<std::string>& names = allowed.at(command);
    if (std::find(names.begin(), names.end(), name) == names.end() || i + 1 >= arguments.size()) {
      std::fprintf(stderr, "snipora-service %s: unexpected '%s'\n%s", command.c_str(), arguments[i].c_str(),
                   kCommandsHelp);
      return 2;
    }
    options[name] = arguments[i + 1];
  }
  try {
    if (command == "copy") {
      if (options["from"].empty() || options["to"].empty()) {
        std::fprintf(stderr, "snipora-service copy: --from and --to are needed\n%s", kCommandsHelp);
        return 2;
      }
      std::unique_ptr<Store> from = OpenStore(options["from"]), to = OpenStore(options["to"]);
      return Report("copy", CopyLinks(*from, *to, stderr));
    }
    std::unique_ptr<Store> store = OpenStore(options["database"]);
    if (command == "export") {
      std::ofstream file;
      if (options["output"] != "-") {
        file.open(options["output"], std::ios::binary | std::ios::trunc);
        if (!file) throw std::runtime_error("cannot write " + options["output"]);
      }
      std::ostream& out = options["output"] == "-" ? std::cout : file;
      const uint64_t written = ExportCsv(*store, out);
      if (!out) throw std::runtime_error("writing the CSV failed");
      std::fprintf(stderr, "snipora-service export: %llu links\n", static_cast<unsigned long long>(written));
      return 0;
    }
    std::ifstream file;
    if (options["input"] != "-") {
      file.open(options["input"], std::ios::binary);
      if (!file) throw std::runtime_error("cannot read " + options["input"]);
    }
    return Report("import", ImportCsv(options["input"] == "-" ? std::cin : file, *store, stderr));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "snipora-service %s: %s\n", command.c_str(), error.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string command = argv[1];
    if (command == "copy" || command == "export" || command == "import")
      return RunCommand(command, std::vector<std::string>(argv + 2, argv + argc));
  }
  const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::fputs(HelpText().c_str(), stdout);
    std::fputs(kCommandsHelp, stdout);
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
                 PrintableDatabase(parsed.settings.database).c_str());
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
