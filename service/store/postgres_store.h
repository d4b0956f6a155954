#pragma once
// The store in a PostgreSQL database that several service instances share,
// through libpq. The schema is made and migrated at open under an advisory
// lock (two instances starting together migrate once). Addresses are kept as
// bytes (bytea, every byte as given) and are unique through an index on their
// SHA-256: a btree entry holds at most about 2.7 kB, an address up to 8 kB.
// Creations insert with ON CONFLICT DO NOTHING, so two instances never give
// one code to two addresses nor two codes to one address. Each thread that
// calls takes a connection from a small pool; a connection that failed is
// dropped and a new one made on a later call, at most one attempt per
// back-off interval while the database does not answer.
#include <memory>
#include <string>
#include <string_view>

#include "service/store/store.h"

namespace snipora::service {

// Whether --database names a PostgreSQL database (postgresql:// or
// postgres://) rather than an SQLite file.
bool IsPostgresAddress(std::string_view database);

// Connects and migrates; throws StoreError when it cannot, or when the
// database's schema is newer than this program knows.
std::unique_ptr<Store> OpenPostgresStore(const std::string& connection, const StoreOptions& options = {});

int PostgresSchemaVersion();

}  // namespace snipora::service
