#include "service/store/sqlite_backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "service/store/sqlite_store.h"
#include "service/store/store.h"

namespace snipora::service {
namespace {

// Pages a step copies (4 MB of 4 kB pages), and the pause after each: the
// service's readers and its writer's commits go on between steps.
constexpr int kPagesAStep = 1024;
constexpr int kPauseMs = 1;
constexpr int kBusyTimeoutMs = 5000;

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

Database Open(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  const int status = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Database db(raw);
  if (status != SQLITE_OK)
    throw StoreError("cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory"));
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  return db;
}

void Execute(sqlite3* db, const char* sql, const std::string& what) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
    throw StoreError(what + ": " + sqlite3_errmsg(db));
}

// The first column of a one-row query, as text.
std::string One(sqlite3* db, const char* sql, const std::string& what) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) throw StoreError(what + ": " + sqlite3_errmsg(db));
  std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, sqlite3_finalize);
  if (sqlite3_step(raw) != SQLITE_ROW) throw StoreError(what + ": " + sqlite3_errmsg(db));
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
  return text ? text : "";
}

// Copies `from` into `to` in steps; the pages copied.
uint64_t Copy(sqlite3* from, sqlite3* to, const std::string& what) {
  sqlite3_backup* raw = sqlite3_backup_init(to, "main", from, "main");
  if (!raw) throw StoreError(what + ": " + sqlite3_errmsg(to));
  std::unique_ptr<sqlite3_backup, decltype(&sqlite3_backup_finish)> backup(raw, sqlite3_backup_finish);
  for (;;) {
    const int status = sqlite3_backup_step(raw, kPagesAStep);
    if (status == SQLITE_DONE) break;
    if (status != SQLITE_OK && status != SQLITE_BUSY && status != SQLITE_LOCKED)
      throw StoreError(what + ": " + sqlite3_errstr(status));
    sqlite3_sleep(kPauseMs);
  }
  const uint64_t pages = uint64_t(sqlite3_backup_pagecount(raw));
  const int status = sqlite3_backup_finish(backup.release());
  if (status != SQLITE_OK) throw StoreError(what + ": " + sqlite3_errstr(status));
  return pages;
}

// The folder's entry made durable (a renamed file survives a crash).
void SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

BackupReport BackUpSqlite(const std::string& database, const std::string& file) {
  const auto start = std::chrono::steady_clock::now();
  struct stat info {}, target {};
  if (stat(database.c_str(), &info) != 0) throw StoreError("no store at " + database);
  // renamed over the store itself, the backup would replace it mid-use
  if (stat(file.c_str(), &target) == 0 && target.st_dev == info.st_dev && target.st_ino == info.st_ino)
    throw StoreError(file + " is the store itself: a backup goes to another file");
  // read-write: a read-only connection cannot recover the WAL index after a killed writer
  Database from = Open(database, SQLITE_OPEN_READWRITE);
  // the snapshot every step reads, held until the copy is done
  Execute(from.get(), "BEGIN", "backup");
  One(from.get(), "SELECT count(*) FROM sqlite_schema", "backup");
  const std::string partial = file + ".partial";
  std::remove(partial.c_str());
  uint64_t pages = 0;
  {
    Database to = Open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    pages = Copy(from.get(), to.get(), "backup into " + partial);
    // one file, whole: its pages out of the log and into the file
    Execute(to.get(), "PRAGMA journal_mode=DELETE", "backup into " + partial);
  }
  Execute(from.get(), "COMMIT", "backup");
  if (std::rename(partial.c_str(), file.c_str()) != 0) throw StoreError("cannot rename the backup to " + file);
  SyncFolderOf(file);
  const uint64_t pageSize = std::stoull(One(from.get(), "PRAGMA page_size", "backup"));
  return {pages * pageSize, SecondsSince(start)};
}

BackupReport RestoreSqlite(const std::string& file, const std::string& database) {
  const auto start = std::chrono::steady_clock::now();
  Database from = Open(file, SQLITE_OPEN_READONLY);
  if (One(from.get(), "PRAGMA quick_check", "reading the backup " + file) != "ok")
    throw StoreError("the backup " + file + " is damaged (PRAGMA quick_check)");
  if (One(from.get(), "SELECT count(*) FROM sqlite_schema WHERE name = 'links'", "reading the backup " + file) != "1")
    throw StoreError(file + " is no backup of a store (it has no links)");
  {
    // opened as the service opens it: an absent store is made, empty
    std::unique_ptr<Store> store = OpenSqliteStore(database);
    const bool links = !store->ListLinks(LinkQuery{.limit = 1}).empty();
    const bool keys = !store->ListKeys().empty();
    bool freed = false;
    store->ForEachFreedCode([&](const FreedCode&) { return !(freed = true); });
    if (links || keys || freed)
      throw StoreError("the store " + database + " is not empty (it holds " +
                       (links ? "links" : keys ? "keys" : "codes of deleted links") +
                       "): a backup is restored into an empty store only");
  }
  Database to = Open(database, SQLITE_OPEN_READWRITE);
  const uint64_t pages = Copy(from.get(), to.get(), "restoring into " + database);
  Execute(to.get(), "PRAGMA journal_mode=WAL", "restoring into " + database);
  const uint64_t pageSize = std::stoull(One(from.get(), "PRAGMA page_size", "reading the backup"));
  to.reset();
  // a backup of an older schema is migrated as any store is at its opening
  OpenSqliteStore(database);
  return {pages * pageSize, SecondsSince(start)};
}

}  // namespace snipora::service
