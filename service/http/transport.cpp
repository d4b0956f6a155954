#include "service/http/transport.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "service/base/log.h"
#include "service/core/framing.h"
#include "service/core/log_redaction.h"
#include "service/core/request.h"

namespace snipora::service {
namespace {

using Clock = std::chrono::steady_clock;

// How long a stopping server keeps an idle connection open, for a proxy that
// may still send a request on it (answered, with "Connection: close").
constexpr int64_t kDrainGraceMs = 2000;
// How often the watcher looks for late request heads: head-timeout is whole
// seconds, so a cut comes at most a quarter of a second late.
constexpr auto kWatchInterval = std::chrono::milliseconds(250);
// Connections the kernel holds for accept(): a burst of new ones (a proxy
// refilling its pool, many clients at once) waits there rather than being
// refused while the threads are busy; the kernel caps it at
// net.core.somaxconn.
constexpr unsigned kListenBacklog = 1024;

// One request, from its request line to its end (MHD_OPTION_URI_LOG_CALLBACK
// makes it, NOTIFY_COMPLETED ends it).
struct Exchange final : HttpRequest {
  MHD_Connection* connection = nullptr;
  Clock::time_point start = Clock::now();
  bool headSeen = false;
  int status = 0;
  std::size_t bytes = 0;
  // a reply put off; filled on whichever thread completes it
  bool deferred = false;
  std::mutex answerMutex;
  std::function<Reply()> answer;

  const char* Header(const char* name) const override {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  }
  std::function<void(std::function<Reply()>)> Defer() override {
    deferred = true;
    MHD_suspend_connection(connection);
    // `this` outlives the call: libmicrohttpd completes (and OnCompleted
    // deletes) an exchange only after its connection is resumed, and this
    // touches the exchange only before it resumes it; and it is called
    // once, since the writer answers every creation it is given, at once
    // after it has stopped, and stops before the transport does.
    return [this, suspended = connection](std::function<Reply()> make) {
      {
        std::lock_guard lock(answerMutex);
        answer = std::move(make);
      }
      MHD_resume_connection(suspended);
    };
  }
};

// A connection's deadlines (0: none pending), for its next request head and
// for the whole of the request under way, body included. The watcher shuts
// down the socket of one that is late: a client that dribbles its head, keeps
// a connection idle or trickles a body is cut off within head-timeout or
// request-timeout.
struct Watched {
  int fd = -1;
  std::atomic<int64_t> deadline{0};         // the head's; steady-clock milliseconds
  std::atomic<int64_t> requestDeadline{0};  // the request's, from its request line to its last body byte
  std::string client;                       // the peer, named when it is cut off
  std::string peer;                         // counted against --per-ip-connections; "" when not
};

// The deadlines' clock: whole seconds of timeout need no finer one than the
// kernel's tick, which is read without asking the clock source (four reads
// a request).
int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string AddressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "-";
  if (!address) return text;
  if (address->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  else if (address->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  return text;
}

std::string PeerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  return AddressText(info ? info->client_addr : nullptr);
}

// A request's header lines as libmicrohttpd parsed them, every one in order
// (the first few without an allocation: this is on every redirect's path).
// libmicrohttpd 0.9.75 joins a folded line onto the name of the line before
// ("Transfer-Encoding: chunked" + " gzip" gave the header
// "Transfer-Encodinggzip: chunked"), copying that name out of the request
// head: a name found outside the head's bytes was folded (measured with raw
// sockets; every unfolded name lay inside).
class HeadLines {
 public:
  HeadLines(MHD_Connection* connection, const char* method) : head_(method) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    size_ = info ? info->header_size : 0;
    MHD_get_connection_values_n(connection, MHD_HEADER_KIND, &HeadLines::Collect, this);
  }
  std::span<const HeaderField> fields() const {
    return more_.empty() ? std::span<const HeaderField>(first_.fields, count_) : std::span<const HeaderField>(more_);
  }
  // Every line of a header, joined with ", ".
  std::string Joined(std::string_view name) const {
    std::string joined;
    for (const HeaderField& field : fields())
      if (SameNoCase(field.name, name)) joined.append(joined.empty() ? "" : ", ").append(field.value);
    return joined;
  }

 private:
  static MHD_Result Collect(void* cls, MHD_ValueKind, const char* key, size_t keySize, const char* value,
                            size_t valueSize) {
    auto* lines = static_cast<HeadLines*>(cls);
    const auto at = reinterpret_cast<std::uintptr_t>(key), start = reinterpret_cast<std::uintptr_t>(lines->head_);
    const HeaderField field{std::string_view(key, keySize), value ? std::string_view(value, valueSize) : "",
                            at < start || at >= start + lines->size_};
    if (lines->more_.empty() && lines->count_ < kFirst) {
      new (&lines->first_.fields[lines->count_++]) HeaderField(field);
    } else {
      if (lines->more_.empty()) lines->more_.assign(lines->first_.fields, lines->first_.fields + kFirst);
      lines->more_.push_back(field);
    }
    return MHD_YES;
  }

  const char* head_;      // the request line's first byte: the method
  std::size_t size_ = 0;  // the head's bytes, up to its empty line
  // left unmade until a line is collected: zeroing them all was a memset on
  // every request
  static constexpr std::size_t kFirst = 24;
  static_assert(std::is_trivially_destructible_v<HeaderField>);
  union FirstFields {
    FirstFields() {}
    HeaderField fields[kFirst];
  } first_;
  std::size_t count_ = 0;
  std::vector<HeaderField> more_;  // all of them, once there are more
};

// A target as the error log may name it: no key.
std::string Logged(const std::string& target) { return RedactTarget(target).value_or(target); }

}  // namespace

struct HttpTransport::State {
  State(const Settings& givenSettings, const AddressRanges& proxies, Metrics& givenMetrics, AccessLog* givenLog,
        RequestHandler& givenHandler)
      : settings(givenSettings), trustedProxies(proxies), metrics(givenMetrics), log(givenLog), handler(givenHandler) {}

  const Settings& settings;
  const AddressRanges& trustedProxies;
  Metrics& metrics;
  AccessLog* log;
  RequestHandler& handler;
  MHD_Daemon* daemon = nullptr;
  std::atomic<int> inFlight{0};

  std::mutex watchedMutex;
  std::unordered_set<Watched*> watched;
  std::mutex watcherMutex;
  std::condition_variable watcherWake;
  bool watcherStop = false;
  std::thread watcher;

  // open connections per client address, for --per-ip-connections
  std::mutex peersMutex;
  std::unordered_map<std::string, uint32_t> peers;

  // set once Quiesce() has closed the listening socket
  std::atomic<bool> draining{false};
  std::atomic<int64_t> drainIdleCutMs{0};

  // ---- MHD callbacks ----

  static void* OnUri(void* cls, const char* uri, MHD_Connection* connection) {
    auto* state = static_cast<State*>(cls);
    auto* exchange = new Exchange;
    exchange->target = uri ? uri : "";
    // the connection's peer, read when it opened
    const Watched* connectionWatched = WatchedOf(connection);
    exchange->client = connectionWatched ? connectionWatched->client : PeerOf(connection);
    exchange->connection = connection;
    // libmicrohttpd 0.9.75 next splits the query into a record per parameter
    // in the connection's memory (some 60 bytes each); when they overflow it,
    // it says 431 on standard error but sends nothing and keeps the socket
    // open (measured: 480 parameters, 2.8 KB, under the default 32 KB, cut
    // only by the head-timeout watcher). The service reads the target copied
    // above, never those records: ending the query here for the library
    // leaves them unmade. A head over the memory is still answered 414 or
    // 431 at once, by the library.
    if (char* query = uri ? std::strchr(const_cast<char*>(uri), '?') : nullptr) query[1] = '\0';
    state->ArmRequestDeadline(connection, true);
    state->inFlight.fetch_add(1);
    return exchange;
  }

  static void OnCompleted(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
    auto* state = static_cast<State*>(cls);
    auto* exchange = static_cast<Exchange*>(*context);
    if (!exchange) return;
    *context = nullptr;
    const auto elapsed = Clock::now() - exchange->start;
    Metrics& metrics = state->metrics;
    switch (exchange->kind) {
      case RequestKind::kRedirect: metrics.redirectSeconds.Observe(elapsed); break;
      case RequestKind::kCreation: metrics.creationSeconds.Observe(elapsed); break;
      case RequestKind::kOther: metrics.otherSeconds.Observe(elapsed); break;
    }
    if (state->log)
      state->log->Write(exchange->client, exchange->method.empty() ? "-" : exchange->method, exchange->target,
                        exchange->version.empty() ? "-" : exchange->version, exchange->status, exchange->bytes);
    delete exchange;
    state->ArmRequestDeadline(connection, false);
    state->ArmHeadDeadline(connection);
    state->inFlight.fetch_sub(1);
  }

  // Whether a peer is held to --per-ip-connections: a trusted proxy carries
  // many clients' requests, so it is not.
  bool LimitsPeer(const std::string& peer) const {
    return settings.perIpConnections > 0 && !trustedProxies.Contains(peer);
  }

  // Counted when a connection starts and uncounted when it closes, so a
  // connection refused later on the way in (a full server) is never counted.
  // Accepts on several threads at once may pass the limit by a few.
  static MHD_Result OnAccept(void* cls, const sockaddr* address, socklen_t) {
    auto* state = static_cast<State*>(cls);
    const std::string peer = AddressText(address);
    if (!state->LimitsPeer(peer)) return MHD_YES;
    std::lock_guard lock(state->peersMutex);
    const auto found = state->peers.find(peer);
    return found == state->peers.end() || found->second < state->settings.perIpConnections ? MHD_YES : MHD_NO;
  }

  static void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code) {
    auto* state = static_cast<State*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      auto* watched = new Watched;
      const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
      watched->fd = info ? info->connect_fd : -1;
      watched->deadline = NowMs() + int64_t(state->settings.headTimeout) * 1000;
      watched->client = PeerOf(connection);
      if (std::string peer = watched->client; state->LimitsPeer(peer)) {
        std::lock_guard lock(state->peersMutex);
        ++state->peers[peer];
        watched->peer = std::move(peer);
      }
      *socketContext = watched;
      std::lock_guard lock(state->watchedMutex);
      state->watched.insert(watched);
    } else if (auto* watched = static_cast<Watched*>(*socketContext)) {
      {
        std::lock_guard lock(state->watchedMutex);
        state->watched.erase(watched);
      }
      if (!watched->peer.empty()) {
        std::lock_guard lock(state->peersMutex);
        if (const auto found = state->peers.find(watched->peer); found != state->peers.end() && --found->second == 0)
          state->peers.erase(found);
      }
      delete watched;
      *socketContext = nullptr;
    }
  }

  static Watched* WatchedOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Watched*>(info->socket_context) : nullptr;
  }
  void ArmHeadDeadline(MHD_Connection* connection, bool on = true) {
    if (Watched* connectionWatched = WatchedOf(connection))
      connectionWatched->deadline = on ? NowMs() + int64_t(settings.headTimeout) * 1000 : 0;
  }
  void ArmRequestDeadline(MHD_Connection* connection, bool on) {
    if (Watched* connectionWatched = WatchedOf(connection))
      connectionWatched->requestDeadline = on ? NowMs() + int64_t(settings.requestTimeout) * 1000 : 0;
  }

  void Watch() {
    std::unique_lock lock(watcherMutex);
    while (!watcherWake.wait_for(lock, kWatchInterval, [this] { return watcherStop; })) {
      const int64_t now = NowMs();
      // stopping: past the grace, a connection waiting for a request head is closed
      const bool cutIdle = draining.load() && now >= drainIdleCutMs.load();
      std::vector<std::string> slow;  // whose request was not whole in time, logged outside the lock
      {
        std::lock_guard watchedLock(watchedMutex);
        for (Watched* connection : watched) {
          const int64_t head = connection->deadline.load(), whole = connection->requestDeadline.load();
          const bool headLate = head != 0 && (head <= now || cutIdle);
          const bool wholeLate = whole != 0 && whole <= now;
          if ((!headLate && !wholeLate) || connection->fd < 0) continue;
          // the descriptor stays MHD's; it sees the end and closes it itself
          shutdown(connection->fd, SHUT_RDWR);
          connection->deadline = 0;
          connection->requestDeadline = 0;
          if (wholeLate) {
            Metrics::Add(metrics.requestTimeouts);
            slow.push_back(connection->client);
          } else if (!cutIdle) {
            Metrics::Add(metrics.headTimeouts);
          }
        }
      }
      // No answer is sent: the socket is libmicrohttpd's, and a 408 written
      // past it while the client still sends would be lost to the reset
      // that closing unread bytes makes.
      for (const std::string& client : slow)
        Log(LogLevel::kInfo, "closing the connection of " + client + ": its request was not whole within " +
                                 std::to_string(settings.requestTimeout) + " s (--request-timeout)");
    }
  }

  static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char*, const char* method,
                              const char* version, const char* upload, size_t* uploadSize, void** context) {
    auto* state = static_cast<State*>(cls);
    auto* exchange = static_cast<Exchange*>(*context);
    if (!exchange) return MHD_NO;  // cannot happen: OnUri made it
    exchange->connection = connection;
    if (!exchange->headSeen) {
      exchange->headSeen = true;
      exchange->method = method;
      exchange->version = version;
      state->ArmHeadDeadline(connection, false);
      // The head is whole here. Measured with raw sockets, libmicrohttpd
      // 0.9.75 itself takes the first of two Content-Lengths, a name with a
      // space before its colon as another header, Transfer-Encoding over
      // Content-Length, HTTP/1.1 without a Host or with two, and waits for
      // the connection's end as the body of any coding but chunked: all of
      // them come here, and are refused before any handler runs. (It refuses
      // a Content-Length that is not a number itself, with a 400 whose head
      // it sends twice, and closes the connection.)
      const HeadLines head(connection, method);
      if (const std::optional<FramingRefusal> refused = CheckFraming(exchange->version, head.fields()))
        return state->Send(connection, *exchange, Refusal(refused->status, refused->reason));
      exchange->viaTrustedProxy = !state->trustedProxies.empty() && state->trustedProxies.Contains(exchange->client);
      if (exchange->viaTrustedProxy)
        exchange->client = ForwardedClient(exchange->client, head.Joined("X-Forwarded-For"), head.Joined("Forwarded"),
                                           state->trustedProxies);
      const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
      // The answer comes with the next call: libmicrohttpd 0.9.75 closes the
      // connection after an answer queued from the first (keep-alive lost).
      // A body declared over --max-body is refused from this one, though:
      // its bytes are then never read, and the library sends no
      // "100 Continue" for it (measured) and closes the connection.
      if (!length || std::strtoull(length, nullptr, 10) <= state->settings.maxBodyBytes) return MHD_YES;
      exchange->bodyTooLarge = true;
    }
    if (*uploadSize > 0) {
      if (!exchange->bodyTooLarge && exchange->body.size() + *uploadSize <= state->settings.maxBodyBytes)
        exchange->body.append(upload, *uploadSize);
      else
        exchange->bodyTooLarge = true;
      *uploadSize = 0;
      return MHD_YES;
    }
    if (exchange->deferred) {
      std::function<Reply()> make;
      {
        std::lock_guard lock(exchange->answerMutex);
        make.swap(exchange->answer);
      }
      if (!make) return MHD_YES;  // woken before the answer: wait on
      return state->Send(connection, *exchange, Guarded(*exchange, make));
    }
    state->ArmRequestDeadline(connection, false);  // whole, or refused before its body
    std::optional<Reply> reply = Guarded(*exchange, [&] { return state->handler.Handle(*exchange); });
    if (!reply) return MHD_YES;  // suspended until the reply comes
    if (exchange->deferred) {
      // the handler put the reply off and then failed: nothing will answer
      // the suspended connection but this
      {
        std::lock_guard lock(exchange->answerMutex);
        if (!exchange->answer) exchange->answer = [] { return Failed(); };
      }
      MHD_resume_connection(connection);
      return MHD_YES;
    }
    return state->Send(connection, *exchange, *reply);
  }

  // A head refused for its framing: the connection is closed after it, since
  // where its body ends is in doubt.
  static Reply Refusal(int status, std::string_view reason) {
    return Reply{status, kText, std::string(reason) + "\n", {{"Connection", "close"}}};
  }

  // A handler's fault (bad input is the handler's to answer, never this):
  // logged and answered 500, so one request's bug ends neither the
  // connection's thread nor the service.
  static Reply Failed() {
    return Reply{500, kText, "The service failed to answer this request; it is logged.\n", {}};
  }
  // What `make` makes (a Reply, or an optional one), or Failed() when it throws.
  template <class Make>
  static auto Guarded(const Exchange& exchange, Make&& make) -> decltype(make()) {
    try {
      return make();
    } catch (const std::exception& error) {
      Log(LogLevel::kError, "answering " + exchange.method + " " + Logged(exchange.target) + " failed: " + error.what());
    } catch (...) {
      Log(LogLevel::kError, "answering " + exchange.method + " " + Logged(exchange.target) + " failed");
    }
    return Failed();
  }

  MHD_Result Send(MHD_Connection* connection, Exchange& exchange, const Reply& reply) {
    const bool fixed = !reply.fixedBody.empty();
    const std::string_view body = fixed ? reply.fixedBody : std::string_view(reply.body);
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), fixed ? MHD_RESPMEM_PERSISTENT : MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
    if (reply.lentName) MHD_add_response_header(response, reply.lentName, reply.lentValue->c_str());
    for (const auto& [name, value] : reply.headers) MHD_add_response_header(response, name, value.c_str());
    // stopping: the client is told to open its next connection elsewhere
    if (draining.load()) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    exchange.status = reply.status;
    exchange.bytes = exchange.method == "HEAD" ? 0 : body.size();
    Metrics::Add(metrics.requests);
    if (reply.status == 400) Metrics::Add(metrics.badRequests);
    return queued;
  }
};

HttpTransport::HttpTransport(const Settings& settings, const AddressRanges& trustedProxies, Metrics& metrics,
                             AccessLog* log, RequestHandler& handler)
    : state_(std::make_unique<State>(settings, trustedProxies, metrics, log, handler)) {
  const std::optional<ListenAddress> listen = ParseListen(settings.listen);
  if (!listen) throw std::runtime_error("cannot read the listen address " + settings.listen);
  sockaddr_storage address{};
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
  if (inet_pton(AF_INET, listen->host.c_str(), &reinterpret_cast<sockaddr_in*>(&address)->sin_addr) == 1) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(listen->port);
  } else if (inet_pton(AF_INET6, listen->host.c_str(), &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr) == 1) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(listen->port);
    flags |= MHD_USE_IPv6;
  } else {
    throw std::runtime_error("the listen host must be an IP address: " + listen->host);
  }
  State* state = state_.get();
  // the per-address limit is the server's own (OnAccept): trusted proxies are exempt
  state_->daemon = MHD_start_daemon(
      flags, listen->port, &State::OnAccept, state, &State::OnRequest, state,
      MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&address),
      MHD_OPTION_THREAD_POOL_SIZE, unsigned(settings.threads),
      MHD_OPTION_CONNECTION_LIMIT, unsigned(settings.maxConnections),
      MHD_OPTION_CONNECTION_TIMEOUT, unsigned(settings.idleTimeout),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(settings.connectionMemory),
      MHD_OPTION_LISTEN_BACKLOG_SIZE, kListenBacklog,
      MHD_OPTION_URI_LOG_CALLBACK, &State::OnUri, state,
      MHD_OPTION_NOTIFY_COMPLETED, &State::OnCompleted, state,
      MHD_OPTION_NOTIFY_CONNECTION, &State::OnConnection, state,
      MHD_OPTION_END);
  if (!state_->daemon) throw std::runtime_error("cannot listen on " + settings.listen);
  state_->watcher = std::thread([state] { state->Watch(); });
}

HttpTransport::~HttpTransport() { Stop(); }

uint16_t HttpTransport::port() const {
  if (!state_->daemon) return 0;
  const MHD_DaemonInfo* info = MHD_get_daemon_info(state_->daemon, MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : 0;
}

void HttpTransport::Quiesce() {
  if (!state_->daemon) return;
  const MHD_socket listening = MHD_quiesce_daemon(state_->daemon);
  if (listening != MHD_INVALID_SOCKET) close(listening);
  state_->drainIdleCutMs = NowMs() + std::min<int64_t>(kDrainGraceMs, int64_t(state_->settings.stopTimeout) * 1000);
  state_->draining = true;
}

bool HttpTransport::Busy() const {
  if (state_->inFlight.load() > 0) return true;
  if (!state_->draining.load()) return false;
  std::lock_guard lock(state_->watchedMutex);
  return !state_->watched.empty();
}

void HttpTransport::Stop() {
  if (state_->watcher.joinable()) {
    {
      std::lock_guard lock(state_->watcherMutex);
      state_->watcherStop = true;
    }
    state_->watcherWake.notify_all();
    state_->watcher.join();
  }
  if (state_->daemon) {
    MHD_stop_daemon(state_->daemon);
    state_->daemon = nullptr;
  }
}

}  // namespace snipora::service
