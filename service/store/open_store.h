#pragma once
// The store a --database value names: a postgresql:// or postgres://
// address (any libpq connection address) opens PostgreSQL, anything else is
// the path of an SQLite file.
#include <memory>
#include <string>

#include "service/store/store.h"

namespace snipora::service {

struct Settings;

std::unique_ptr<Store> OpenStore(const std::string& database, const StoreOptions& options = {});

// How a run's settings open its stores (--code-quarantine-days).
StoreOptions StoreOptionsOf(const Settings& settings);

// The value as it may be printed: a password in it is replaced by ***.
std::string PrintableDatabase(const std::string& database);

}  // namespace snipora::service
