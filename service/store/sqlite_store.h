#pragma once
// The store in an SQLite file: WAL journal, synchronous=FULL (a committed
// transaction survives the process being killed and, with honest disks, a
// power loss), a schema version in PRAGMA user_version, migrated at open.
#include <memory>
#include <string>

#include "service/store/store.h"

namespace snipora::service {

// Opens (creating when absent) and migrates the database; throws StoreError
// when it cannot, or when the file's schema is newer than this program knows.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path, const StoreOptions& options = {});

// The schema version this program writes.
int SqliteSchemaVersion();

}  // namespace snipora::service
