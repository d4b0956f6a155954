#pragma once
// Backups of an SQLite store, taken while the service runs on it. The copy
// is SQLite's online backup, page by page in steps, inside one read
// transaction of its own: the snapshot stays the one it began with however
// many creations commit meanwhile (WAL: the service's writer never waits
// for it), so the backup holds exactly what was committed when it began.
// It is written beside its name and renamed when complete: a backup cut
// short never passes for one.
#include <cstdint>
#include <string>

namespace snipora::service {

struct BackupReport {
  uint64_t bytes = 0;
  double seconds = 0;
};

// Copies the store at `database` into `file` (replaced when there).
BackupReport BackUpSqlite(const std::string& database, const std::string& file);

// Puts the backup `file` into `database`, which must be empty: no file, or a
// store without links, keys or codes of deleted links (else StoreError, and
// nothing is changed). Stop the service on it first.
BackupReport RestoreSqlite(const std::string& file, const std::string& database);

}  // namespace snipora::service
