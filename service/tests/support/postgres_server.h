#pragma once
// PostgreSQL servers for the tests, started by scripts/pg-test-server.sh
// (initdb and pg_ctl into a temporary folder, as an unprivileged user).
#include <string>

#include "service/tests/support/http_client.h"

namespace snipora::service::test {

// The run's shared server: the one CTest's fixture started (its state file
// named by SNIPORA_TEST_POSTGRES), else one started for this process on first
// use and stopped when it ends.
class SharedPostgres {
 public:
  // A new, empty database on it; its connection address.
  static std::string FreshDatabase();
};

// A server of a test's own, to stop and start under a running service.
class OwnPostgres {
 public:
  OwnPostgres();
  ~OwnPostgres();
  OwnPostgres(const OwnPostgres&) = delete;
  OwnPostgres& operator=(const OwnPostgres&) = delete;

  const std::string& address() const { return address_; }  // its database "postgres"
  void Halt();    // pg_ctl stop -m fast; the data stays
  void Resume();  // started again on the same port

 private:
  TempDir dir_;
  std::string state_;
  std::string address_;
};

}  // namespace snipora::service::test
