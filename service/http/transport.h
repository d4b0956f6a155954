#pragma once
// The service's HTTP transport on libmicrohttpd: an epoll thread pool, the
// connection limits (--max-connections, --per-ip-connections), the timeouts
// (the watcher of --head-timeout and --request-timeout), each head's framing
// checked before any handler (core/framing.h), bodies up to --max-body (one
// declared larger refused from its head), replies put off while
// the writer commits (suspend and resume, so that the pool's few threads
// never wait for a disk), the access log and the drain on stop. What a
// request means is the RequestHandler's business (app/application.h); this
// layer knows no route.
#include <cstdint>
#include <memory>

#include "service/base/metrics.h"
#include "service/base/settings.h"
#include "service/core/forwarded.h"
#include "service/http/access_log.h"
#include "service/http/exchange.h"

namespace snipora::service {

class HttpTransport {
 public:
  // Listens at once; throws std::runtime_error when it cannot. `log` null: no
  // access log.
  HttpTransport(const Settings& settings, const AddressRanges& trustedProxies, Metrics& metrics, AccessLog* log,
                RequestHandler& handler);
  ~HttpTransport();  // Stop()
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

  uint16_t port() const;
  // Stops accepting connections. Requests in flight go on, and so do those
  // that still arrive on open connections, each answered with
  // "Connection: close"; connections left idle are closed after a short grace,
  // so a proxy that reuses them is answered rather than cut off.
  void Quiesce();
  // Whether requests are being worked on (put-off replies included) or, once
  // quiesced, connections are still open.
  bool Busy() const;
  // Closes every connection and ends the threads.
  void Stop();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace snipora::service
