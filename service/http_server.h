#pragma once
// The service's HTTP side on libmicrohttpd: an epoll thread pool, its limits
// and timeouts, the routes, and creations suspended while the writer commits
// them (so that the pool's few threads never wait for a disk).
//
//   GET|HEAD /CODE                      301 to the address; 404
//   GET|HEAD /create.php?url=U&alias=A  the desktop program's form: a page with
//   POST /create.php (form body)        the short address between its markers
//   GET|HEAD /                          the browser's form
//   POST /api/v1/links {"url","alias"}  201 {"code","short","url"}
//   GET /api/v1/links/CODE              {"code","url","created","clicks"}
//   GET /healthz, GET /metrics
//   GET|HEAD /download/NAME             the Windows program set up for this service
// Targets are accepted in origin form and in absolute form (through a proxy).
#include <cstdint>
#include <functional>
#include <memory>

#include "service/access_log.h"
#include "service/client_package.h"
#include "service/core/address_check.h"
#include "service/core/forwarded.h"
#include "service/link_cache.h"
#include "service/link_writer.h"
#include "service/metrics.h"
#include "service/rate_limit.h"
#include "service/settings.h"
#include "service/store.h"

namespace snipora::service {

// What the server answers from; owned by the Service around it.
struct ServerParts {
  const Settings& settings;
  Store& store;
  LinkCache& cache;
  LinkWriter& writer;
  Metrics& metrics;
  RateLimit& rateLimit;
  AccessLog* log;  // null: no access log
  const ClientPackage* clientPackage;  // null: no download offered
  const AddressRanges& trustedProxies;
  std::function<std::shared_ptr<const DenyList>()> denyList;
};

class HttpServer {
 public:
  // Listens at once; throws std::runtime_error when it cannot.
  explicit HttpServer(ServerParts parts);
  ~HttpServer();  // Stop(0)
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  uint16_t port() const;
  // Stops accepting connections. Requests in flight go on, and so do those
  // that still arrive on open connections, each answered with
  // "Connection: close"; connections left idle are closed after a short grace,
  // so a proxy that reuses them is answered rather than cut off.
  void Quiesce();
  // Whether requests are being worked on (suspended creations included) or,
  // once quiesced, connections are still open.
  bool Busy() const;
  // Closes every connection and ends the threads.
  void Stop();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace snipora::service
