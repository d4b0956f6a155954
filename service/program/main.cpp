// snipora-service: see --help, and docs/operating.md.
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "service/app/keys.h"
#include "service/base/log.h"
#include "service/base/service_names.h"
#include "service/core/address_check.h"
#include "service/core/json_body.h"
#include "service/core/utc_time.h"
#include "service/doors/api_link.h"
#include "service/program/service.h"
#include "service/store/listing.h"
#include "service/store/open_store.h"
#include "service/store/postgres_store.h"
#include "service/store/sqlite_backup.h"
#include "service/store/transfer.h"

using namespace snipora::service;

namespace {

int Report(const char* what, const TransferReport& report) {
  std::fprintf(stderr, "snipora-service %s: %llu added, %llu there already, %llu conflicts, %llu bad rows\n", what,
               static_cast<unsigned long long>(report.added), static_cast<unsigned long long>(report.present),
               static_cast<unsigned long long>(report.conflicts), static_cast<unsigned long long>(report.badRows));
  return report.conflicts || report.badRows ? 1 : 0;
}

// key create, list and revoke, on the store --database names.
int RunKeyCommand(const ParsedCommandLine& parsed) {
  const Settings& settings = parsed.settings;
  try {
    std::unique_ptr<Store> store = OpenStore(settings.database);
    switch (parsed.command) {
      case Command::kKeyCreate: {
        const std::string key = NewKeyText();
        if (!store->AddKey({settings.keyName, settings.keyRole, KeyDigest(key), std::time(nullptr)})) {
          std::fprintf(stderr, "snipora-service key create: a key named %s exists already\n", settings.keyName.c_str());
          return 1;
        }
        // the only time the key is shown: the store keeps its digest alone
        std::printf("%s\n", key.c_str());
        std::fprintf(stderr, "snipora-service key create: %s (%s) made; keep the key above, it is not shown again\n",
                     settings.keyName.c_str(), settings.keyRole.c_str());
        return 0;
      }
      case Command::kKeyList:
        for (const KeyRecord& key : store->ListKeys())
          std::printf("%s\t%s\tcreated %s\t%s\n", key.name.c_str(), key.role.c_str(), IsoUtc(key.created).c_str(),
                      key.revoked ? ("revoked " + IsoUtc(*key.revoked)).c_str() : "valid");
        return 0;
      default:
        if (!store->RevokeKey(parsed.operands.at(0), std::time(nullptr))) {
          std::fprintf(stderr, "snipora-service key revoke: no valid key is named %s\n", parsed.operands[0].c_str());
          return 1;
        }
        std::fprintf(stderr, "snipora-service key revoke: %s revoked\n", parsed.operands[0].c_str());
        return 0;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "snipora-service key: %s\n", error.what());
    return 1;
  }
}

// link show, list, disable, enable, expire and delete, on the store
// --database names; the running instances learn of each change from the
// store's log of changes.
int RunLinkCommand(const ParsedCommandLine& parsed) {
  const Settings& settings = parsed.settings;
  const std::string code = parsed.operands.empty() ? "" : parsed.operands[0];
  try {
    std::unique_ptr<Store> store = OpenStore(settings.database);
    if (parsed.command == Command::kLinkList) {
      LinkFilter filter;
      filter.query.limit = int(settings.limit);
      if (!settings.createdAfter.empty()) filter.query.createdFrom = *ParseTime(settings.createdAfter) + 1;
      if (!settings.createdBefore.empty()) filter.query.createdBefore = *ParseTime(settings.createdBefore);
      if (!settings.disabled.empty()) filter.query.disabled = settings.disabled == "true";
      filter.host = settings.host.empty() ? "" : HostOf(settings.host);
      const LinkPage page = FindLinks(*store, filter);
      for (const Link& link : page.links) std::printf("%s\n", JsonText(LinkJson(link, link.clicks, true)).c_str());
      if (page.next) std::fprintf(stderr, "snipora-service link list: more after %s\n", page.next->c_str());
      return 0;
    }
    if (parsed.command == Command::kLinkDelete) {
      if (!store->DeleteLink(code)) throw std::runtime_error("no link has the code " + code);
      std::fprintf(stderr, "snipora-service link delete: %s deleted\n", code.c_str());
      return 0;
    }
    std::optional<Link> link;
    if (parsed.command == Command::kLinkShow) {
      link = store->FindCode(code);
    } else {
      LinkChange change;
      if (parsed.command == Command::kLinkDisable) {
        change.disabled = true;
        change.privateNote = settings.reason;
        change.publicNote = settings.publicNote;
      } else if (parsed.command == Command::kLinkEnable) {
        change.disabled = false;
      } else {
        change.expires = std::optional<int64_t>(*ParseTime(settings.at));
      }
      ChangeResult result = store->ChangeLink(code, change);
      if (result.outcome == ChangeResult::kChanged) link = std::move(result.link);
    }
    if (!link) throw std::runtime_error("no link has the code " + code);
    std::printf("%s\n", JsonText(LinkJson(*link, link->clicks, true)).c_str());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "snipora-service link: %s\n", error.what());
    return 1;
  }
}

// copy, export and import, with the stores and files their options name.
int RunCommand(Command command, const Settings& settings) {
  const char* name = command == Command::kCopy ? "copy" : command == Command::kExport ? "export" : "import";
  try {
    if (command == Command::kCopy) {
      // the target holds back the codes it was told were deleted, the source's too
      std::unique_ptr<Store> from = OpenStore(settings.from), to = OpenStore(settings.to, StoreOptionsOf(settings));
      const TransferReport report = CopyLinks(*from, *to, stderr);
      std::fprintf(stderr, "snipora-service copy: %llu codes of deleted links held back there too\n",
                   static_cast<unsigned long long>(report.freedCodes));
      return Report("copy", report);
    }
    std::unique_ptr<Store> store = OpenStore(settings.database, StoreOptionsOf(settings));
    if (command == Command::kExport) {
      std::ofstream file;
      if (settings.output != "-") {
        file.open(settings.output, std::ios::binary | std::ios::trunc);
        if (!file) throw std::runtime_error("cannot write " + settings.output);
      }
      std::ostream& out = settings.output == "-" ? std::cout : file;
      const uint64_t written = ExportCsv(*store, out);
      if (!out) throw std::runtime_error("writing the CSV failed");
      std::fprintf(stderr, "snipora-service export: %llu links\n", static_cast<unsigned long long>(written));
      return 0;
    }
    std::ifstream file;
    if (settings.input != "-") {
      file.open(settings.input, std::ios::binary);
      if (!file) throw std::runtime_error("cannot read " + settings.input);
    }
    return Report("import", ImportCsv(settings.input == "-" ? std::cin : file, *store, OwnHostsOf(settings), stderr));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "snipora-service %s: %s\n", name, error.what());
    return 1;
  }
}

// backup and restore, of the store --database names.
int RunBackupCommand(Command command, const Settings& settings) {
  const char* name = command == Command::kBackup ? "backup" : "restore";
  if (IsPostgresAddress(settings.database)) {
    // pg_dump takes one snapshot of every table, as the service's own copy would
    std::fprintf(stderr,
                 "snipora-service %s: a PostgreSQL store is backed up with pg_dump --format=custom --file=FILE "
                 "DATABASE and restored with pg_restore --single-transaction --dbname=DATABASE FILE into an empty "
                 "database (see operating.md)\n",
                 name);
    return 2;
  }
  try {
    const BackupReport report = command == Command::kBackup ? BackUpSqlite(settings.database, settings.to)
                                                            : RestoreSqlite(settings.from, settings.database);
    std::fprintf(stderr, "snipora-service %s: %.1f MB in %.2f s (%.1f MB/s)\n", name, double(report.bytes) / 1e6,
                 report.seconds, report.seconds > 0 ? double(report.bytes) / 1e6 / report.seconds : 0.0);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "snipora-service %s: %s\n", name, error.what());
    return 1;
  }
}

}  // namespace

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
  switch (parsed.command) {
    case Command::kServe: break;
    case Command::kKeyCreate:
    case Command::kKeyList:
    case Command::kKeyRevoke: return RunKeyCommand(parsed);
    case Command::kLinkShow:
    case Command::kLinkList:
    case Command::kLinkDisable:
    case Command::kLinkEnable:
    case Command::kLinkExpire:
    case Command::kLinkDelete: return RunLinkCommand(parsed);
    case Command::kBackup:
    case Command::kRestore: return RunBackupCommand(parsed.command, parsed.settings);
    default: return RunCommand(parsed.command, parsed.settings);
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
    Log(LogLevel::kInfo, "listening on " + parsed.settings.listen + " (port " + std::to_string(service.port()) +
                             "), short addresses http://" + parsed.settings.publicHost + "/CODE, store " +
                             PrintableDatabase(parsed.settings.database));
    for (;;) {
      const timespec second{1, 0};
      const int signal = sigtimedwait(&signals, nullptr, &second);
      service.FlushLog();
      if (signal == SIGHUP) {
        const std::string error = service.ReloadDenyList();
        if (error.empty())
          Log(LogLevel::kInfo, "deny list read again");
        else
          Log(LogLevel::kError, error);
      } else if (signal == SIGTERM || signal == SIGINT) {
        Log(LogLevel::kInfo, "stopping");
        service.Stop();
        Log(LogLevel::kInfo, "stopped");
        return 0;
      }
    }
  } catch (const std::exception& error) {
    Log(LogLevel::kError, error.what());
    return 1;
  }
}
