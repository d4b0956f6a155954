#pragma once
// The stores every store-level test runs against: each kind makes a new,
// empty place for links and names it as --database would.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "service/tests/support/http_client.h"
#include "service/tests/support/postgres_server.h"

namespace snipora::service::test {

struct StoreKind {
  const char* name;
  std::function<std::string(const TempDir& dir)> place;
};

inline void PrintTo(const StoreKind& kind, std::ostream* out) { *out << kind.name; }

inline const StoreKind kStoreKinds[] = {
    {"sqlite", [](const TempDir& dir) { return dir.File("links.db"); }},
    {"postgres", [](const TempDir&) { return SharedPostgres::FreshDatabase(); }},
};

inline std::string KindName(const testing::TestParamInfo<StoreKind>& kind) { return kind.param.name; }

}  // namespace snipora::service::test
