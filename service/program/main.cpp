// snipora-service: see --help, and docs/operating.md.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string_view>
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
#include "service/core/allowed_hosts.h"
#include "service/store/link_import.h"
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

// A file's bytes, mapped: a dump of a million links is read without a copy
// of it in memory. Standard input ("-") is read whole.
class InputBytes {
 public:
  explicit InputBytes(const std::string& path) {
    if (path == "-") {
      copy_.assign(std::istreambuf_iterator<char>(std::cin), {});
      return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat about {};
    if (fd_ < 0 || ::fstat(fd_, &about) != 0) throw std::runtime_error("cannot read " + path);
    size_ = std::size_t(about.st_size);
    if (size_ == 0) return;
    void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (mapped == MAP_FAILED) throw std::runtime_error("cannot read " + path);
    map_ = static_cast<const char*>(mapped);
    ::madvise(mapped, size_, MADV_SEQUENTIAL);
  }
  ~InputBytes() {
    if (map_) ::munmap(const_cast<char*>(map_), size_);
    if (fd_ >= 0) ::close(fd_);
  }
  InputBytes(const InputBytes&) = delete;
  InputBytes& operator=(const InputBytes&) = delete;
  std::string_view bytes() const { return map_ ? std::string_view(map_, size_) : std::string_view(copy_); }

 private:
  int fd_ = -1;
  const char* map_ = nullptr;
  std::size_t size_ = 0;
  std::string copy_;
};

// The domain export and import work on (--domain on their command line), as
// the store names it; the default without one. A domain the service does not
// serve (yet) is stored by its name.
std::string StoredDomainOf(const Settings& settings, const Domains& domains) {
  if (settings.importDomain.empty()) return domains.Default().stored;
  if (const Domain* domain = domains.Find(settings.importDomain)) return domain->stored;
  return HostKey(settings.importDomain).value_or("");
}

// import --from FORMAT: another shortener's export, or this service's lines.
int RunImport(const Settings& settings, const std::vector<std::string>& operands, Store& store, ImportFormat format) {
  const Domains domains(settings);
  OwnHosts own = OwnHostsOf(settings);
  if (!settings.importDomain.empty()) own.Add(settings.importDomain);  // a link there would lead back here too
  DenyList denied;
  if (!settings.denyList.empty()) {
    std::ifstream file(settings.denyList, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read the deny list " + settings.denyList);
    denied = DenyList::FromText(std::string(std::istreambuf_iterator<char>(file), {}));
  }
  ImportSettings import;
  import.format = format;
  import.domains = &domains;
  import.target = StoredDomainOf(settings, domains);
  import.targetHost = settings.importDomain;
  import.own = &own;
  import.denied = &denied;
  import.dryRun = settings.dryRun;
  import.report = stderr;
  import.progress = ::isatty(STDERR_FILENO) == 1;
  const InputBytes input(operands.empty() ? settings.input : operands[0]);
  const ImportCounts counts = ImportLinks(input.bytes(), store, import);
  std::fprintf(stderr,
               "snipora-service import: %llu read, %llu %s, %llu there already, %llu conflicts, %llu refused%s\n",
               static_cast<unsigned long long>(counts.read), static_cast<unsigned long long>(counts.added),
               settings.dryRun ? "would be added" : "added", static_cast<unsigned long long>(counts.present),
               static_cast<unsigned long long>(counts.conflicts), static_cast<unsigned long long>(counts.refused),
               settings.dryRun ? " (a dry run: nothing was written)" : "");
  return counts.conflicts || counts.refused ? 1 : 0;
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

// link show, list, disable, enable, expire, delete, release and takedown, on the store
// --database names; the running instances learn of each change from the
// store's log of changes.
int RunLinkCommand(const ParsedCommandLine& parsed) {
  const Settings& settings = parsed.settings;
  const std::string code = parsed.operands.empty() ? "" : parsed.operands[0];
  try {
    std::unique_ptr<Store> store = OpenStore(settings.database, StoreOptionsOf(settings));
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
      if (!store->DeleteLink(code, "command line")) throw std::runtime_error("no link has the code " + code);
      std::fprintf(stderr, "snipora-service link delete: %s deleted\n", code.c_str());
      return 0;
    }
    std::optional<Link> link;
    if (parsed.command == Command::kLinkShow) {
      link = store->FindCode(code);
    } else if (parsed.command == Command::kLinkRelease) {
      store->ReleaseLink(code, "command line");
      link = store->FindCode(code);
    } else if (parsed.command == Command::kLinkTakedown) {
      link = store->FindCode(code);
      if (!link) throw std::runtime_error("no link has the code " + code);
      LinkChange change;
      change.disabled = true;
      change.privateNote = "taken down" + (link->quarantine.empty() ? "" : " (" + link->quarantine + ")");
      change.actor = "command line";
      ChangeResult result = store->ChangeLink(code, change);
      link = result.outcome == ChangeResult::kChanged ? std::optional<Link>(std::move(result.link)) : std::nullopt;
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
      change.actor = "command line";
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
int RunCommand(Command command, const Settings& settings, const std::vector<std::string>& operands) {
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
      const Domains domains(settings);
      const std::string domain = StoredDomainOf(settings, domains);
      const uint64_t written = settings.format == "jsonl"
                                   ? ExportLinkLines(*store, domains, out,
                                                     settings.importDomain.empty() ? nullptr : &domain)
                                   : ExportCsv(*store, out, domain);
      if (!out) throw std::runtime_error("writing the links failed");
      std::fprintf(stderr, "snipora-service export: %llu links\n", static_cast<unsigned long long>(written));
      return 0;
    }
    if (!settings.from.empty()) {
      ImportFormat format;
      if (!ImportFormatNamed(settings.from, &format))
        throw std::runtime_error("--from takes yourls, shlink, kutt or snipora, not '" + settings.from + "'");
      return RunImport(settings, operands, *store, format);
    }
    std::ifstream file;
    if (!operands.empty() && settings.input == "-") file.open(operands[0], std::ios::binary);
    if (settings.input != "-") {
      file.open(settings.input, std::ios::binary);
      if (!file) throw std::runtime_error("cannot read " + settings.input);
    }
    const bool named = file.is_open() || settings.input != "-";
    if (!operands.empty() && !file) throw std::runtime_error("cannot read " + operands[0]);
    return Report("import", ImportCsv(named ? file : std::cin, *store, OwnHostsOf(settings), stderr,
                                      StoredDomainOf(settings, Domains(settings))));
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
    case Command::kLinkDelete:
    case Command::kLinkRelease:
    case Command::kLinkTakedown: return RunLinkCommand(parsed);
    case Command::kBackup:
    case Command::kRestore: return RunBackupCommand(parsed.command, parsed.settings);
    default: return RunCommand(parsed.command, parsed.settings, parsed.operands);
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
    std::string hosts;
    const Domains domains(parsed.settings);
    for (const Domain& domain : domains.all()) hosts += (hosts.empty() ? "" : ", ") + domain.host;
    Log(LogLevel::kInfo, "listening on " + parsed.settings.listen + " (port " + std::to_string(service.port()) +
                             "), short addresses http://HOST/CODE on " + hosts + ", store " +
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
