#include "service/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <strings.h>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "service/core/address_form.h"
#include "service/core/page_texts.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/static_files.h"
#include "service/qr_code.h"

namespace snipora::service {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kCreatePath = "/create.php";
constexpr std::string_view kApiLinks = "/api/v1/links";
constexpr char kHtml[] = "text/html; charset=utf-8";
constexpr char kJson[] = "application/json";
constexpr std::string_view kDownloadPath = "/download/";
constexpr std::string_view kStaticPath = "/static/";
// On every answer but a redirect: pages load script, style and pictures from
// this service alone, none inline, and are never framed.
constexpr std::pair<const char*, const char*> kPageHeaders[] = {
    {"Content-Security-Policy", "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                                "form-action 'self'; base-uri 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
};
constexpr std::string_view kQrCodeSuffix = "/qr-code";
// How long a stopping server keeps an idle connection open, for a proxy that
// may still send a request on it (answered, with "Connection: close").
constexpr int64_t kDrainGraceMs = 2000;
// Seconds a client is asked to wait while the store does not answer.
constexpr char kRetryAfter[] = "5";

enum class Kind { kRedirect, kCreation, kOther };

// One request, from its request line to its end (MHD_OPTION_URI_LOG_CALLBACK
// makes it, NOTIFY_COMPLETED ends it).
struct Request {
  std::string target;  // raw, as it came
  Clock::time_point start = Clock::now();
  std::string method, version, client;
  bool headSeen = false;
  std::string body;
  bool bodyTooLarge = false;
  Kind kind = Kind::kOther;
  int status = 0;
  std::size_t bytes = 0;
  // a creation handed to the writer; its answer, filled on the writer's thread
  bool submitted = false;
  std::mutex answerMutex;
  std::optional<Created> answer;
  bool api = false;
  std::string address;
  // of the pages answered: ?lang=, else Accept-Language; a form's lang field
  // overrides both
  Language language = Language::kZhCn;
};

// A connection's deadline for its next request head (0: none pending). The
// watcher shuts down the socket of one that is late: a client that dribbles
// its head, or keeps a connection idle, is cut off within head-timeout.
struct Watched {
  int fd = -1;
  std::atomic<int64_t> deadline{0};  // steady-clock milliseconds
  std::string peer;                  // counted against --per-ip-connections; "" when not
};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
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

// Every line of the proxy headers, each header's joined with ", ".
struct ProxyHeaders {
  std::string forwardedFor, forwarded;
  static MHD_Result Collect(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* headers = static_cast<ProxyHeaders*>(cls);
    std::string* into = strcasecmp(key, "X-Forwarded-For") == 0 ? &headers->forwardedFor
                        : strcasecmp(key, "Forwarded") == 0     ? &headers->forwarded
                                                                : nullptr;
    if (into && value) {
      if (!into->empty()) *into += ", ";
      *into += value;
    }
    return MHD_YES;
  }
};

struct Reply {
  int status = 200;
  const char* type = kHtml;
  std::string body;
  std::vector<std::pair<const char*, std::string>> headers;
  std::string_view fixedBody = {};  // sent without a copy: bytes that outlive the server
};

Reply Page(Language language, int status, std::string_view title, std::string_view text) {
  return {status, kHtml, MessagePage(language, title, text), {}};
}
// A page of the language's own texts, e.g. (&PageTexts::notFoundTitle, &PageTexts::notFound).
Reply Page(Language language, int status, std::string_view PageTexts::*title, std::string_view PageTexts::*text) {
  const PageTexts& texts = TextsFor(language);
  return Page(language, status, texts.*title, texts.*text);
}
// A page in English, for an answer with no texts in other languages.
Reply Page(int status, std::string_view title, std::string_view text) {
  return Page(Language::kEn, status, title, text);
}

// The ?lang= of a request target; "" when it has none.
std::string AskedLanguage(std::string_view rawTarget) {
  const std::optional<Target> target = SplitTarget(rawTarget);
  if (!target || target->query.find("lang=") == std::string_view::npos) return "";
  const std::optional<std::vector<Field>> fields = ParseForm(target->query);
  const std::string* lang = fields ? FindField(*fields, "lang") : nullptr;
  return lang ? *lang : "";
}
Reply JsonError(int status, std::string_view text) {
  return {status, kJson, "{\"error\":" + JsonString(text) + "}\n", {}};
}

}  // namespace

struct HttpServer::State {
  explicit State(ServerParts givenParts) : parts(std::move(givenParts)), ownHost(HostOf(parts.settings.publicHost)) {}

  ServerParts parts;
  const std::string ownHost;
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
    auto* request = new Request;
    request->target = uri ? uri : "";
    request->client = PeerOf(connection);
    state->inFlight.fetch_add(1);
    return request;
  }

  static void OnCompleted(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
    auto* state = static_cast<State*>(cls);
    auto* request = static_cast<Request*>(*context);
    if (!request) return;
    *context = nullptr;
    const auto elapsed = Clock::now() - request->start;
    Metrics& metrics = state->parts.metrics;
    switch (request->kind) {
      case Kind::kRedirect: metrics.redirectSeconds.Observe(elapsed); break;
      case Kind::kCreation: metrics.creationSeconds.Observe(elapsed); break;
      case Kind::kOther: metrics.otherSeconds.Observe(elapsed); break;
    }
    if (state->parts.log)
      state->parts.log->Write(request->client, request->method.empty() ? "-" : request->method, request->target,
                              request->version.empty() ? "-" : request->version, request->status, request->bytes);
    delete request;
    state->ArmHeadDeadline(connection);
    state->inFlight.fetch_sub(1);
  }

  // Whether a peer is held to --per-ip-connections: a trusted proxy carries
  // many clients' requests, so it is not.
  bool LimitsPeer(const std::string& peer) const {
    return parts.settings.perIpConnections > 0 && !parts.trustedProxies.Contains(peer);
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
    return found == state->peers.end() || found->second < state->parts.settings.perIpConnections ? MHD_YES : MHD_NO;
  }

  static void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code) {
    auto* state = static_cast<State*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      auto* watched = new Watched;
      const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
      watched->fd = info ? info->connect_fd : -1;
      watched->deadline = NowMs() + int64_t(state->parts.settings.headTimeout) * 1000;
      if (std::string peer = PeerOf(connection); state->LimitsPeer(peer)) {
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

  void ArmHeadDeadline(MHD_Connection* connection, bool on = true) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (!info || !info->socket_context) return;
    static_cast<Watched*>(info->socket_context)->deadline =
        on ? NowMs() + int64_t(parts.settings.headTimeout) * 1000 : 0;
  }

  void Watch() {
    std::unique_lock lock(watcherMutex);
    while (!watcherWake.wait_for(lock, std::chrono::milliseconds(250), [this] { return watcherStop; })) {
      const int64_t now = NowMs();
      // stopping: past the grace, a connection waiting for a request head is closed
      const bool cutIdle = draining.load() && now >= drainIdleCutMs.load();
      std::lock_guard watchedLock(watchedMutex);
      for (Watched* connection : watched) {
        const int64_t deadline = connection->deadline.load();
        if (deadline == 0 || (deadline > now && !cutIdle) || connection->fd < 0) continue;
        // the descriptor stays MHD's; it sees the end and closes it itself
        shutdown(connection->fd, SHUT_RDWR);
        connection->deadline = 0;
        if (!cutIdle) Metrics::Add(parts.metrics.headTimeouts);
      }
    }
  }

  static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char*, const char* method,
                              const char* version, const char* upload, size_t* uploadSize, void** context) {
    auto* state = static_cast<State*>(cls);
    auto* request = static_cast<Request*>(*context);
    if (!request) return MHD_NO;  // cannot happen: OnUri made it
    if (!request->headSeen) {
      request->headSeen = true;
      request->method = method;
      request->version = version;
      const char* accept = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_LANGUAGE);
      request->language = ChooseLanguage(accept ? accept : "", AskedLanguage(request->target));
      state->ArmHeadDeadline(connection, false);
      if (!state->parts.trustedProxies.empty() && state->parts.trustedProxies.Contains(request->client)) {
        ProxyHeaders headers;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &ProxyHeaders::Collect, &headers);
        request->client =
            ForwardedClient(request->client, headers.forwardedFor, headers.forwarded, state->parts.trustedProxies);
      }
      if (request->method == "POST") {
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
        if (length && std::strtoull(length, nullptr, 10) > state->parts.settings.maxBodyBytes)
          request->bodyTooLarge = true;
      }
      // The answer comes with the next call: libmicrohttpd 0.9.75 closes the
      // connection after an answer queued from the first (keep-alive lost).
      return MHD_YES;
    }
    if (*uploadSize > 0) {
      if (!request->bodyTooLarge && request->body.size() + *uploadSize <= state->parts.settings.maxBodyBytes)
        request->body.append(upload, *uploadSize);
      else
        request->bodyTooLarge = true;
      *uploadSize = 0;
      return MHD_YES;
    }
    if (request->submitted) {
      std::optional<Created> answer;
      {
        std::lock_guard lock(request->answerMutex);
        answer = request->answer;
      }
      if (!answer) return MHD_YES;  // woken before the answer: wait on
      return state->Send(connection, *request, state->CreationReply(*request, *answer));
    }
    std::optional<Reply> reply = state->Route(connection, *request);
    if (!reply) return MHD_YES;  // suspended until the writer answers
    return state->Send(connection, *request, *reply);
  }

  // ---- answering ----

  MHD_Result Send(MHD_Connection* connection, Request& request, const Reply& reply) {
    const bool fixed = !reply.fixedBody.empty();
    const std::string_view body = fixed ? reply.fixedBody : std::string_view(reply.body);
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), fixed ? MHD_RESPMEM_PERSISTENT : MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
    for (const auto& [name, value] : reply.headers) MHD_add_response_header(response, name, value.c_str());
    if (reply.status / 100 != 3)
      for (const auto& [name, value] : kPageHeaders) MHD_add_response_header(response, name, value);
    // stopping: the client is told to open its next connection elsewhere
    if (draining.load()) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    request.status = reply.status;
    request.bytes = request.method == "HEAD" ? 0 : body.size();
    Metrics::Add(parts.metrics.requests);
    if (reply.status == 400) Metrics::Add(parts.metrics.badRequests);
    return queued;
  }

  std::optional<Reply> Route(MHD_Connection* connection, Request& request) {
    const std::optional<Target> target = SplitTarget(request.target);
    if (!target) return Page(request.language, 400, &PageTexts::badTitle, &PageTexts::badTarget);
    const std::string_view path = target->path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";

    if (path == kCreatePath && (get || post)) {
      request.kind = Kind::kCreation;
      if (request.bodyTooLarge) return Page(request.language, 413, &PageTexts::tooLargeTitle, &PageTexts::tooLarge);
      const std::optional<std::vector<Field>> fields = ParseForm(post ? std::string_view(request.body) : target->query);
      if (!fields) return Page(request.language, 400, &PageTexts::badTitle, &PageTexts::badEscape);
      if (const std::string* lang = FindField(*fields, "lang"))
        request.language = LanguageNamed(*lang).value_or(request.language);
      const std::string* url = FindField(*fields, "url");
      const std::string* alias = FindField(*fields, "alias");
      return Create(connection, request, url ? *url : "", alias ? *alias : "");
    }
    if (path == kApiLinks && post) {
      request.kind = Kind::kCreation;
      request.api = true;
      if (request.bodyTooLarge) return JsonError(413, "The body is larger than this service accepts.");
      const std::optional<std::vector<Field>> fields = ParseJsonObject(request.body);
      if (!fields) return JsonError(400, "The body is not a JSON object of strings.");
      const std::string* url = FindField(*fields, "url");
      const std::string* alias = FindField(*fields, "alias");
      return Create(connection, request, url ? *url : "", alias ? *alias : "");
    }
    if (!get) {
      Reply reply = Page(request.language, 405, &PageTexts::methodTitle, &PageTexts::method);
      reply.headers.push_back({MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST"});
      return reply;
    }
    if (path == "/")
      return Reply{200, kHtml,
                   HomePage(request.language, parts.settings.publicHost,
                            parts.clientPackage ? parts.clientPackage->name : ""),
                   {}};
    if (path.starts_with(kDownloadPath))
      return Download(connection, path.substr(kDownloadPath.size()), request.language);
    if (path.starts_with(kStaticPath)) return Static(connection, path.substr(kStaticPath.size()), request.language);
    if (path == "/healthz") {
      if (parts.store.Healthy()) return Reply{200, "text/plain; charset=utf-8", "ok\n", {}};
      return RetryLater(Reply{503, "text/plain; charset=utf-8",
                              "the store does not answer: creations and links not in the cache fail until it is back\n",
                              {}});
    }
    if (path == "/metrics") {
      Metrics& metrics = parts.metrics;
      metrics.cacheEntries = parts.cache.size();
      metrics.cacheCapacity = parts.cache.capacity();
      metrics.cacheHits = parts.cache.hits();
      metrics.cacheMisses = parts.cache.misses();
      return Reply{200, "text/plain; version=0.0.4", metrics.Text(), {}};
    }
    if (path.size() > kApiLinks.size() + 1 && path.substr(0, kApiLinks.size() + 1) == std::string(kApiLinks) + "/")
      return LinkInfo(path.substr(kApiLinks.size() + 1));
    if (path.size() > kQrCodeSuffix.size() + 1 && path.ends_with(kQrCodeSuffix))
      return QrCode(connection, path.substr(1, path.size() - 1 - kQrCodeSuffix.size()), target->query);
    return Redirect(request, path.substr(1));
  }

  Reply Bad(std::string_view text) { return Page(400, "Bad request", text); }

  // The client is asked to come back after `seconds` (a 503, or a 429).
  static Reply RetryLater(Reply reply, const char* seconds = kRetryAfter) {
    reply.headers.push_back({MHD_HTTP_HEADER_RETRY_AFTER, seconds});
    return reply;
  }

  Reply Redirect(Request& request, std::string_view code) {
    std::optional<std::string> address;
    if (IsValidCode(code)) {
      request.kind = Kind::kRedirect;
      // HEAD is how link checkers and previews look: not a click
      const bool click = request.method == "GET";
      address = parts.cache.Find(code, click);
      if (!address) {
        std::optional<Link> link;
        try {
          link = parts.store.FindCode(code);
        } catch (const StoreError&) {
          Metrics::Add(parts.metrics.storeErrors);
          return RetryLater(Page(request.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
        }
        if (link) {
          parts.cache.Insert(code, link->address, click);
          address = std::move(link->address);
        }
      }
    }
    if (!address) {
      Metrics::Add(parts.metrics.notFound);
      return Page(request.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
    }
    Metrics::Add(parts.metrics.redirects);
    return Reply{301, kHtml, {}, {{MHD_HTTP_HEADER_LOCATION, LocationValue(*address)}}};
  }

  // A short address's QR code. The code is looked up as a redirect does, with
  // no click counted; the image is drawn afresh, and the ETag lets browsers
  // and proxies keep it (a code's short address never changes).
  Reply QrCode(MHD_Connection* connection, std::string_view code, std::string_view query) {
    const std::optional<std::vector<Field>> fields = ParseForm(query);
    if (!fields) return Bad("The query has a malformed %-escape.");
    std::string why;
    const std::optional<QrOptions> options = ReadQrOptions(*fields, &why);
    if (!options) return Bad("This QR code cannot be drawn: " + why);
    bool known = false;
    if (IsValidCode(code)) {
      known = parts.cache.Find(code, false).has_value();
      if (!known) {
        std::optional<Link> link;
        try {
          link = parts.store.FindCode(code);
        } catch (const StoreError&) {
          Metrics::Add(parts.metrics.storeErrors);
          return RetryLater(
              Page(503, "Unavailable", "The store of short addresses does not answer; try again in a moment."));
        }
        if (link) {
          parts.cache.Insert(code, link->address);
          known = true;
        }
      }
    }
    if (!known) {
      Metrics::Add(parts.metrics.notFound);
      return Page(404, "Not found", "There is no short address here.");
    }
    const std::string text = "http://" + parts.settings.publicHost + "/" + std::string(code);
    Reply reply{200, QrContentType(options->format), {}, {{MHD_HTTP_HEADER_ETAG, QrEtag(code, text, *options)},
                                                          {MHD_HTTP_HEADER_CACHE_CONTROL, "public, max-age=86400"}}};
    const char* match = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
    if (match && EtagMatches(match, reply.headers.front().second)) {
      reply.status = 304;
      return reply;
    }
    std::optional<QrImage> image = DrawQrCode(text, *options);
    if (!image) return Page(500, "Not drawn", "The QR code of this short address could not be drawn.");
    reply.body = std::move(image->bytes);
    return reply;
  }

  // The pages' files, from memory: a day in caches, then the ETag.
  Reply Static(MHD_Connection* connection, std::string_view name, Language language) {
    const StaticFile* file = FindStaticFile(name);
    if (!file) return Page(language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
    // the type is a string literal: its data() ends in a NUL
    Reply reply{200, file->type.data(), {}, {{MHD_HTTP_HEADER_ETAG, std::string(file->etag)},
                                             {MHD_HTTP_HEADER_CACHE_CONTROL, "public, max-age=86400"}}};
    const char* match = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
    if (match && (std::string_view(match).find(file->etag) != std::string_view::npos || std::string_view(match) == "*"))
      reply.status = 304;
    else
      reply.fixedBody = {reinterpret_cast<const char*>(file->bytes.data()), file->bytes.size()};
    return reply;
  }

  Reply Download(MHD_Connection* connection, std::string_view name, Language language) {
    const ClientPackage* package = parts.clientPackage;
    if (!package || name != package->name)
      return Page(language, 404, &PageTexts::notFoundTitle, &PageTexts::nothingToDownload);
    Reply reply{200, "application/zip", {}, {{MHD_HTTP_HEADER_ETAG, package->etag},
                                             {MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache"},
                                             {MHD_HTTP_HEADER_CONTENT_DISPOSITION,
                                              "attachment; filename=\"" + package->name + "\""}}};
    const char* match = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
    if (match && (std::string_view(match).find(package->etag) != std::string_view::npos || std::string_view(match) == "*"))
      reply.status = 304;
    else
      reply.fixedBody = package->bytes;
    return reply;
  }

  Reply LinkInfo(std::string_view code) {
    if (!IsValidCode(code)) return JsonError(404, "No such code.");
    std::optional<Link> link;
    try {
      link = parts.store.FindCode(code);
    } catch (const StoreError&) {
      Metrics::Add(parts.metrics.storeErrors);
      return RetryLater(JsonError(503, "The store does not answer."));
    }
    if (!link) return JsonError(404, "No such code.");
    const int64_t clicks = link->clicks + parts.cache.PendingClicks(code);
    return Reply{200, kJson,
                 "{\"code\":" + JsonString(link->code) + ",\"url\":" + JsonString(link->address) +
                     ",\"created\":" + JsonString(IsoUtc(link->created)) + ",\"clicks\":" + std::to_string(clicks) +
                     "}\n",
                 {}};
  }

  // A refused creation: the API's English text, or a page in the request's
  // language.
  Reply Refused(const Request& request, int status, std::string_view apiText, std::string_view pageText) {
    Metrics::Add(parts.metrics.refused);
    if (request.api) return JsonError(status, apiText);
    return Page(request.language, status, TextsFor(request.language).notShortened, pageText);
  }
  Reply Refused(const Request& request, int status, Refusal refusal) {
    return Refused(request, status, RefusalText(refusal), RefusalPageText(request.language, refusal));
  }
  // a refusal with no page text of its own shows the API's
  Reply Refused(const Request& request, int status, std::string_view text) {
    return Refused(request, status, text, text);
  }

  std::optional<Reply> Create(MHD_Connection* connection, Request& request, const std::string& url,
                              const std::string& alias) {
    if (!parts.rateLimit.Allow(request.client)) {
      Metrics::Add(parts.metrics.rateLimited);
      return RetryLater(Refused(request, 429, "Too many creations from your address; try again in a minute.",
                                TextsFor(request.language).tooMany),
                        "60");
    }
    const std::shared_ptr<const DenyList> denied = parts.denyList();
    // equivalent spellings of an address are stored, found and answered as one
    const StoredForm check = AcceptAddress(url, ownHost, denied ? *denied : DenyList());
    switch (check.refusal) {
      case Refusal::kAccepted: break;
      case Refusal::kTooLong: return Refused(request, 414, check.refusal);
      case Refusal::kDeniedHost: return Refused(request, 403, check.refusal);
      default: return Refused(request, 400, check.refusal);
    }
    if (!alias.empty() && (!IsValidCode(alias) || IsReservedCode(alias)))
      return Refused(request, 400,
                     "A short code of your choice is 1 to 32 letters, digits, - or _, and not a name this service "
                     "uses itself.",
                     TextsFor(request.language).aliasInvalid);
    request.address = check.address;
    // an address stored before is answered from its committed row at once
    try {
      if (std::optional<std::string> code = parts.store.FindAddress(request.address)) {
        return CreationReply(request, {alias.empty() || alias == *code ? Created::kKnown : Created::kAddressHasCode,
                                       *code});
      }
    } catch (const StoreError&) {
      return CreationReply(request, Created{});
    }
    request.submitted = true;
    MHD_suspend_connection(connection);
    parts.writer.Submit({request.address, alias}, [&request, connection](const Created& created) {
      {
        std::lock_guard lock(request.answerMutex);
        request.answer = created;
      }
      MHD_resume_connection(connection);
    });
    return std::nullopt;
  }

  Reply CreationReply(const Request& request, const Created& created) {
    switch (created.outcome) {
      case Created::kCreated:
      case Created::kKnown: {
        Metrics::Add(created.outcome == Created::kCreated ? parts.metrics.creations : parts.metrics.known);
        const std::string shortAddress = parts.settings.publicHost + "/" + created.code;
        const int status = created.outcome == Created::kCreated && request.api ? 201 : 200;
        if (request.api)
          return Reply{status, kJson,
                       "{\"code\":" + JsonString(created.code) + ",\"short\":" + JsonString("http://" + shortAddress) +
                           ",\"url\":" + JsonString(request.address) + "}\n",
                       {}};
        return Reply{status, kHtml, CreatedPage(request.language, shortAddress, request.address), {}};
      }
      case Created::kAliasTaken:
        return Refused(request, 409, "That short code belongs to another address.",
                       TextsFor(request.language).aliasTaken);
      case Created::kAddressHasCode:
        return Refused(request, 409, "This address has the short code " + created.code + " already.",
                       std::string(TextsFor(request.language).hasCodeBefore) + created.code +
                           std::string(TextsFor(request.language).hasCodeAfter));
      case Created::kFailed:
        break;
    }
    Metrics::Add(parts.metrics.storeErrors);
    return RetryLater(request.api ? JsonError(503, "The address could not be stored; nothing was lost, try again.")
                                  : Page(request.language, 503, &PageTexts::notShortened, &PageTexts::notStored));
  }
};

HttpServer::HttpServer(ServerParts parts) : state_(std::make_unique<State>(std::move(parts))) {
  const Settings& settings = state_->parts.settings;
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
      MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024u,
      MHD_OPTION_URI_LOG_CALLBACK, &State::OnUri, state,
      MHD_OPTION_NOTIFY_COMPLETED, &State::OnCompleted, state,
      MHD_OPTION_NOTIFY_CONNECTION, &State::OnConnection, state,
      MHD_OPTION_END);
  if (!state_->daemon) throw std::runtime_error("cannot listen on " + settings.listen);
  state_->watcher = std::thread([state] { state->Watch(); });
}

HttpServer::~HttpServer() { Stop(); }

uint16_t HttpServer::port() const {
  if (!state_->daemon) return 0;
  const MHD_DaemonInfo* info = MHD_get_daemon_info(state_->daemon, MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : 0;
}

void HttpServer::Quiesce() {
  if (!state_->daemon) return;
  const MHD_socket listening = MHD_quiesce_daemon(state_->daemon);
  if (listening != MHD_INVALID_SOCKET) close(listening);
  state_->drainIdleCutMs =
      NowMs() + std::min<int64_t>(kDrainGraceMs, int64_t(state_->parts.settings.stopTimeout) * 1000);
  state_->draining = true;
}

bool HttpServer::Busy() const {
  if (state_->inFlight.load() > 0) return true;
  if (!state_->draining.load()) return false;
  std::lock_guard lock(state_->watchedMutex);
  return !state_->watched.empty();
}

void HttpServer::Stop() {
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
