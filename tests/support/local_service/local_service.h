#pragma once
// A local shortening service on 127.0.0.1, for tests (in the test's own
// process) and for running the program without a network (local_service.exe).
//
// It answers, in origin form ("GET /create.php?... HTTP/1.0") and in the
// absolute form a proxy receives ("GET http://snip.invalid/create.php?..."),
// so the program's fixed hosts reach it through the http_proxy setting:
//   GET /create.php?...&url=<form-encoded address>&...  200, a page with the
//       short address ("snip.invalid/<code>") between the two markers of
//       service_answers.h; 400 without the markers when url is missing or empty
//   GET /<code>         301 to the long address; 404 for an unknown code
//   GET /online.gif     200, the instant-messaging status picture (any host,
//                       any query, e.g. http://status.snipora.invalid/online.gif?id=10001)
//   GET /pa             the same picture, as the IM gateway answers the
//                       program's status address (/pa?p=2:<number>:44 &r=...)
//   GET /               200, a short page about the service
// With a relay port, the shortening requests go to the real service instead.
//   other paths 404; other methods 405; a malformed request 400
// Every answer is HTTP/1.0 with "Connection: close".
//
// Tests can read every request head as it arrived and make the service
// misbehave (Behaviour), for the next requests or for all.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::test {

inline constexpr char kServiceHost[] = "snip.invalid";
inline constexpr char kStatusHost[] = "status.snipora.invalid";
inline constexpr char kStatusImagePath[] = "/online.gif";
inline constexpr char kGatewayStatusPath[] = "/pa";

// How to answer one request; the default is to answer properly. Fields
// combine: e.g. a 500 with a large body and no Content-Length.
struct Behaviour {
  bool refuse = false;                // read the request, then close without a word
  uint32_t stallMs = 0;               // hold the connection this long before answering (or refusing)
  int status = 0;                     // answer this status instead of the proper one
  std::optional<std::string> body;    // answer this body instead of the proper one
  int64_t largeBody = -1;             // >= 0: a body of this many PatternByte bytes
  bool nulBytes = false;              // three NUL bytes into the page, ahead of its markers
  bool omitContentLength = false;
  int64_t statedContentLength = -1;   // >= 0: claim this Content-Length whatever the body is
  int64_t resetAfter = -1;            // >= 0: send this many body bytes, then reset the connection
  std::string redirectTo;             // non-empty: 302 to this location (a path or an address)
  uint32_t silenceMs = 0;             // send the head and `silenceAfter` body bytes, then nothing this long
  int64_t silenceAfter = 0;
  std::optional<std::string> notHttp; // answer with these bytes alone: no status line, no head
};

// The bytes of a large body: byte i is PatternByte(i), so that a lost, doubled
// or misplaced piece shows.
uint8_t PatternByte(uint64_t index);
std::string PatternBytes(uint64_t count);

struct LocalServiceOptions {
  uint16_t port = 0;                     // 0: the system chooses
  // Non-zero: every request but the status picture's is passed on to the
  // shortening service (snipora-service) on 127.0.0.1:relayPort, and its
  // answer comes back as it is; the behaviours above still apply first.
  uint16_t relayPort = 0;
  std::string shortHost = kServiceHost;  // the host of the short addresses it hands out
  uint32_t headTimeoutMs = 5000;         // a request head must be complete within this
  // Called on the worker thread with each request line (for a log).
  std::function<void(const std::string&)> onRequest;
};

class LocalService {
 public:
  explicit LocalService(LocalServiceOptions options = {});
  ~LocalService();  // stops accepting, ends every connection, joins its threads
  LocalService(const LocalService&) = delete;
  LocalService& operator=(const LocalService&) = delete;

  // 0 when the service could not listen.
  uint16_t port() const;
  // "http://127.0.0.1:<port>": the proxy setting that routes any host here,
  // and, with a path, a direct address of the service.
  std::string origin() const;
  std::string Address(std::string_view path) const { return origin() + std::string(path); }

  // Every request head received so far, byte for byte up to and including the
  // blank line (or, for one that never completed or was not HTTP, what came).
  // The most recent kMaxRecorded are kept.
  static constexpr std::size_t kMaxRecorded = 4096;
  std::vector<std::string> requests() const;
  void ClearRequests();

  // For every request from now on (until set again; Behaviour{} is proper).
  void SetBehaviour(const Behaviour& behaviour);
  // For the next request only; queued ones are used in order before the one
  // that SetBehaviour gave.
  void QueueBehaviour(const Behaviour& behaviour);

  std::optional<std::string> AddressOf(const std::string& code) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snipora::test
