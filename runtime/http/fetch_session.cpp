#include "runtime/http/fetch_session.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/http/body_buffer.h"

namespace snipora {
namespace {

// Buffer sizes of the split address, in characters with the terminating zero.
constexpr DWORD kSchemeChars = 32;
constexpr DWORD kHostChars = 256;
constexpr DWORD kCredentialChars = 128;
constexpr DWORD kObjectChars = 2048;
// A Location longer than this could never be split into the buffers above.
constexpr DWORD kMostLocationChars = 16 * 1024;

// Always from the server, never into the cache; redirections are ours.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr char kSendHeaders[] = "Accept: */*\r\n\r\n";

// The address of one request, split.
struct Target {
  std::string url;  // canonical, without its fragment: the base of a relative Location
  INTERNET_PORT port = 0;
  DWORD flags = kRequestFlags;
  char host[kHostChars] = {};
  char user[kCredentialChars] = {};
  char password[kCredentialChars] = {};
  char object[kObjectChars] = {};  // path and query
};

// ICU_NO_ENCODE: the caller escapes what must be escaped, nothing else does.
std::optional<std::string> Canonicalize(const std::string& url) {
  std::string canonical(url.size() * 3 + 64, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(canonical.size());
    if (sys::InternetCanonicalizeUrlA(url.c_str(), canonical.data(), &size, ICU_NO_ENCODE)) {
      canonical.resize(std::min<std::size_t>(size, canonical.size()));
      canonical.resize(std::strlen(canonical.c_str()));
      return canonical;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= canonical.size()) break;
    canonical.assign(std::size_t{size} + 1, '\0');
  }
  return std::nullopt;
}

// Nothing when the address has no scheme that speaks HTTP or a part does not
// fit its buffer.
std::optional<Target> Prepare(std::string_view url) {
  if (url.empty()) return std::nullopt;
  std::optional<std::string> canonical = Canonicalize(std::string(url.substr(0, url.find('#'))));
  if (!canonical) return std::nullopt;
  Target target;
  char scheme[kSchemeChars] = {};
  URL_COMPONENTSA components{};
  components.dwStructSize = sizeof components;
  components.lpszScheme = scheme;
  components.dwSchemeLength = kSchemeChars;
  components.lpszHostName = target.host;
  components.dwHostNameLength = kHostChars;
  components.lpszUserName = target.user;
  components.dwUserNameLength = kCredentialChars;
  components.lpszPassword = target.password;
  components.dwPasswordLength = kCredentialChars;
  components.lpszUrlPath = target.object;  // with no extra-info buffer the query stays here
  components.dwUrlPathLength = kObjectChars;
  if (!sys::InternetCrackUrlA(canonical->c_str(), 0, 0, &components)) return std::nullopt;
  if (components.nScheme == INTERNET_SCHEME_HTTPS)
    target.flags |= INTERNET_FLAG_SECURE;
  else if (components.nScheme != INTERNET_SCHEME_HTTP)
    return std::nullopt;  // no other scheme could answer an HTTP request: do not even connect
  target.port = components.nPort;
  if (char* fragment = std::strchr(target.object, '#')) *fragment = '\0';
  target.url = std::move(*canonical);
  return target;
}

const char* OrNull(const char* text) { return *text ? text : nullptr; }

// One request sent and its answer's head received. The request is declared
// after the connection, so it closes first.
struct Exchange {
  UniqueInternet connection;
  UniqueInternet request;
};

std::optional<Exchange> Send(HINTERNET session, const Target& target, DWORD receiveTimeoutMs) {
  Exchange exchange;
  exchange.connection.reset(sys::InternetConnectA(session, target.host, target.port, OrNull(target.user),
                                                  OrNull(target.password), INTERNET_SERVICE_HTTP, 0, 0));
  if (!exchange.connection) return std::nullopt;
  char none[] = "";  // no proxy credentials of our own
  sys::InternetSetOptionA(exchange.connection.get(), INTERNET_OPTION_PROXY_USERNAME, none, sizeof none);
  sys::InternetSetOptionA(exchange.connection.get(), INTERNET_OPTION_PROXY_PASSWORD, none, sizeof none);

  LPCSTR acceptTypes[] = {"Accept: */* \r\n", nullptr};
  exchange.request.reset(sys::HttpOpenRequestA(exchange.connection.get(), "GET", target.object, "HTTP/1.0",
                                               nullptr, acceptTypes, target.flags, 0));
  if (!exchange.request) return std::nullopt;
  // On the request itself: Wine takes the timeouts of a session handle and
  // ignores them.
  DWORD timeout = receiveTimeoutMs;
  sys::InternetSetOptionA(exchange.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  if (!sys::HttpSendRequestA(exchange.request.get(), kSendHeaders, DWORD(sizeof kSendHeaders - 1), nullptr, 0))
    return std::nullopt;
  return exchange;
}

bool IsRedirection(DWORD status) {
  return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT || status == HTTP_STATUS_REDIRECT_METHOD ||
         status == HTTP_STATUS_REDIRECT_KEEP_VERB || status == 308;  // permanent, keeping the method
}

// Where a redirection points, as the server wrote it; nothing when the answer
// is not one (a 3xx without a Location is an answer like any other).
std::optional<std::string> RedirectLocation(HINTERNET request) {
  DWORD status = 0;
  DWORD statusSize = sizeof status;
  const DWORD numericStatus = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
  if (!sys::HttpQueryInfoA(request, numericStatus, &status, &statusSize, nullptr) || !IsRedirection(status))
    return std::nullopt;
  std::string location(256, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(location.size());
    if (sys::HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) {
      location.resize(std::min<std::size_t>(size, location.size()));
      return location;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= location.size() || size > kMostLocationChars) break;
    location.assign(std::size_t{size} + 1, '\0');
  }
  return std::nullopt;
}

// The Location resolved against the address that answered with it.
std::optional<std::string> Resolve(const std::string& base, const std::string& location) {
  std::string combined(base.size() + location.size() * 3 + 64, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(combined.size());
    if (sys::InternetCombineUrlA(base.c_str(), location.c_str(), combined.data(), &size, ICU_NO_ENCODE)) {
      combined.resize(std::strlen(combined.c_str()));
      return combined;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= combined.size()) break;
    combined.assign(std::size_t{size} + 1, '\0');
  }
  return std::nullopt;
}

void ReadBody(const InternetApi& api, HINTERNET request, BodyBuffer& body) {
  char length[32] = {};
  DWORD lengthSize = sizeof length;
  const bool hasLength =
      sys::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr) != FALSE;
  length[sizeof length - 1] = '\0';
  const char* stated = hasLength ? length : nullptr;
  const DWORD readSize = ReadSizeFor(stated);
  // A stated length sizes the block at once, so a truthful one is received
  // without a single move; a false one costs no more than the limit. Bytes a
  // server sends beyond what it stated are not the body: the platform stops
  // there too, but not always once a receive timeout is set (Wine), so the
  // fetch stops there itself.
  const uint64_t expected = StatedLength(stated);
  const std::size_t limit = std::size_t(expected ? std::min<uint64_t>(expected, kFetchLimit) : kFetchLimit);
  if (expected) body.Reserve(limit + readSize);

  while (body.size() < limit) {
    const DWORD wanted = std::min<DWORD>(readSize, DWORD(kFetchLimit - body.size()));
    if (!body.Reserve(wanted)) break;  // no memory: what came is the answer
    DWORD received = 0;
    const bool ok = api.read(request, body.tail(), wanted, &received) != FALSE;
    // A read that fails part way (the peer reset the connection) still tells
    // what it put into the buffer: those bytes were received too.
    body.Commit(std::min<std::size_t>({received, wanted, limit - body.size()}));
    if (!ok || received == 0) break;
  }
}

struct Connection {
  const InternetApi& api;
  UniqueInternet& session;
  DWORD receiveTimeoutMs;
};

void Download(const Connection& with, std::string_view url, BodyBuffer& body) {
  std::optional<Target> target = Prepare(url);
  if (!target) return;

  // PRECONFIG: the system's proxy configuration applies. Opening direct and
  // switching the session over afterwards is refused by some platforms.
  UniqueInternet& session = with.session;
  if (!session) session.reset(with.api.open(kFetchAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return;

  for (int redirections = 0;; ++redirections) {
    std::optional<Exchange> exchange = Send(session.get(), *target, with.receiveTimeoutMs);
    if (!exchange) return;
    const std::optional<std::string> location = RedirectLocation(exchange->request.get());
    if (!location) {
      ReadBody(with.api, exchange->request.get(), body);
      return;
    }
    if (redirections == kMostRedirects) return;  // a loop, or a chain too long to be one
    const std::optional<std::string> next = Resolve(target->url, *location);
    exchange.reset();  // the redirection's own body is not wanted
    if (!next || !(target = Prepare(*next))) return;
  }
}

HINTERNET WINAPI OpenSession(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass, DWORD flags) {
  return sys::InternetOpenA(agent, access, proxy, bypass, flags);
}

BOOL WINAPI ReadBodyPiece(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD received) {
  return sys::InternetReadFile(request, buffer, size, received);
}

}  // namespace

const InternetApi& SystemInternet() {
  static const InternetApi api{OpenSession, ReadBodyPiece};
  return api;
}

Bytes FetchSession::Fetch(TextView url) {
  BodyBuffer body;
  try {
    Download({api_, session_, receiveTimeoutMs_}, url.c_str(), body);
  } catch (const std::bad_alloc&) {
    // what arrived before the shortage is still the answer
  }
  return body.Take();
}

}  // namespace snipora
