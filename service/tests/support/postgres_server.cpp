#include "service/tests/support/postgres_server.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace snipora::service::test {
namespace {

void RunScript(const std::string& action, const std::string& state) {
  const std::string command = std::string("'") + PG_SERVER_SCRIPT + "' " + action + " '" + state + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string AddressIn(const std::string& state) {
  std::ifstream in(state);
  std::string address;
  if (!std::getline(in, address) || address.empty()) throw std::runtime_error("no PostgreSQL server in " + state);
  return address;
}

// The server this process started itself, stopped at exit.
struct ProcessServer {
  ProcessServer() : state(dir.File("postgres.state")) { RunScript("start", state); }
  ~ProcessServer() {
    try {
      RunScript("stop", state);
    } catch (const std::exception&) {
    }
  }
  TempDir dir;
  std::string state;
};

std::string SharedAddress() {
  static std::once_flag once;
  static std::string address;
  static std::unique_ptr<ProcessServer> own;
  std::call_once(once, [] {
    if (const char* state = std::getenv("SNIPORA_TEST_POSTGRES"); state && *state) {
      address = AddressIn(state);
    } else {
      own = std::make_unique<ProcessServer>();
      address = AddressIn(own->state);
    }
  });
  return address;
}

}  // namespace

std::string SharedPostgres::FreshDatabase() {
  static std::mutex mutex;
  static int made = 0;
  std::lock_guard lock(mutex);
  const std::string admin = SharedAddress();
  const std::string name = "t_" + std::to_string(getpid()) + "_" + std::to_string(++made);
  PGconn* connection = PQconnectdb(admin.c_str());
  const bool connected = PQstatus(connection) == CONNECTION_OK;
  std::string error = PQerrorMessage(connection);
  if (connected) {
    PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
    if (PQresultStatus(result) != PGRES_COMMAND_OK) error = PQresultErrorMessage(result);
    else error.clear();
    PQclear(result);
  }
  PQfinish(connection);
  if (!error.empty()) throw std::runtime_error("cannot make a test database: " + error);
  return admin.substr(0, admin.rfind('/') + 1) + name;
}

OwnPostgres::OwnPostgres() : state_(dir_.File("postgres.state")) {
  RunScript("start", state_);
  address_ = AddressIn(state_);
}

OwnPostgres::~OwnPostgres() {
  try {
    RunScript("stop", state_);
  } catch (const std::exception&) {
  }
}

void OwnPostgres::Halt() { RunScript("halt", state_); }
void OwnPostgres::Resume() { RunScript("resume", state_); }

}  // namespace snipora::service::test
