#pragma once
// A plain HTTP client over a loopback socket for the service's tests: sends
// exactly the bytes given and reads exactly what comes back, so malformed and
// slow requests can be staged. Also a temporary folder and a running service.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "service/program/service.h"

namespace snipora::service::test {

struct Response {
  int status = 0;  // 0: nothing readable came
  std::string head;
  std::string body;
  std::string Header(std::string_view name) const;  // "" when absent
};

// Parses one response at the start of `bytes` (a body by Content-Length, or
// to the end); nothing while it is incomplete.
std::optional<Response> ParseResponse(const std::string& bytes, std::size_t* used = nullptr, bool head = false);

class Client {
 public:
  // `from`: the loopback address to connect from (127.0.0.2, ...), else 127.0.0.1.
  explicit Client(uint16_t port, const char* from = nullptr);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  bool Send(std::string_view bytes);
  // The next response (keep-alive); nothing when the connection ended first
  // or `timeout` passed.
  std::optional<Response> Next(std::chrono::milliseconds timeout = std::chrono::seconds(5), bool head = false);
  // Whether the server has closed the connection within `timeout`.
  bool ClosedWithin(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
  std::string buffer_;
};

// One request on its own connection ("Connection: close" is up to the caller).
Response Exchange(uint16_t port, std::string_view request, bool head = false);
// GET of an origin-form target over HTTP/1.0, as the desktop program asks.
// The User-Agent line Get and Send send: a desktop browser's.
inline constexpr char kBrowserAgent[] =
    "User-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0\r\n";
Response Get(uint16_t port, std::string_view target);
Response Post(uint16_t port, std::string_view path, std::string_view type, std::string_view body);
// A request of the JSON API: `key` (when not empty) as a Bearer key, `body`
// (when not empty) as JSON.
Response Send(uint16_t port, const std::string& method, const std::string& path, const std::string& key,
              const std::string& body = "");

// %XX for every byte but unreserved ones, as the program escapes its value.
std::string Escape(std::string_view value);
// The program's request for an address, with an alias.
std::string CreateTarget(std::string_view address, std::string_view alias = "");

// What clients creating at the same time were given.
struct GivenCodes {
  int failures = 0;                                          // creations answered without a code
  std::map<std::string, std::set<std::string>> codesOf;      // address -> codes answered
  std::map<std::string, std::set<std::string>> addressesOf;  // code -> addresses
};
// `clients` threads ask `each` addresses each, at once: the odd ones are asked
// by every client, the even ones by that client alone. `create` asks for one
// and answers the code given ("" when none).
GivenCodes CreateAtOnce(int clients, int each,
                        const std::function<std::string(int client, int index, const std::string& address)>& create);
// Every creation answered, every address given one code, no code given twice.
void ExpectOneCodePerAddress(const GivenCodes& given, int clients, int each);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string File(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The API tests' keys written into a store: an admin's ("root") and two
// creators' ("alice", "bob").
void AddApiKeys(Store& store, const std::string& admin, const std::string& alice, const std::string& bob);

// Settings for a test service: a free port, its database in `dir`, no limit
// on creations unless a test sets one.
Settings TestSettings(const TempDir& dir);

}  // namespace snipora::service::test
