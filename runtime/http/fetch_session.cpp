#include "runtime/http/fetch_session.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora {
namespace {

// Buffer sizes of the split address, in characters with the terminating zero.
constexpr DWORD kSchemeChars = 32;
constexpr DWORD kHostChars = 256;
constexpr DWORD kCredentialChars = 128;
constexpr DWORD kObjectChars = 2048;

// Always from the server, never into the cache.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr char kSendHeaders[] = "Accept: */*\r\n\r\n";

struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  INTERNET_PORT port = 0;
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
    if (InternetCanonicalizeUrlA(url.c_str(), canonical.data(), &size, ICU_NO_ENCODE)) {
      canonical.resize(std::min<std::size_t>(size, canonical.size()));
      canonical.resize(std::strlen(canonical.c_str()));
      return canonical;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= canonical.size()) break;
    canonical.assign(std::size_t{size} + 1, '\0');
  }
  return std::nullopt;
}

// False when the address has no recognised scheme or a part does not fit.
bool Split(const std::string& url, UrlParts& parts) {
  char scheme[kSchemeChars] = {};
  URL_COMPONENTSA components{};
  components.dwStructSize = sizeof components;
  components.lpszScheme = scheme;
  components.dwSchemeLength = kSchemeChars;
  components.lpszHostName = parts.host;
  components.dwHostNameLength = kHostChars;
  components.lpszUserName = parts.user;
  components.dwUserNameLength = kCredentialChars;
  components.lpszPassword = parts.password;
  components.dwPasswordLength = kCredentialChars;
  components.lpszUrlPath = parts.object;  // with no extra-info buffer the query stays here
  components.dwUrlPathLength = kObjectChars;
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &components)) return false;
  parts.scheme = components.nScheme;
  parts.port = components.nPort;
  return true;
}

const char* OrNull(const char* text) { return *text ? text : nullptr; }

void Download(const InternetApi& api, UniqueInternet& session, std::string_view url,
              std::vector<uint8_t>& body) {
  if (url.empty()) return;
  const auto canonical = Canonicalize(std::string(url.substr(0, url.find('#'))));
  if (!canonical) return;
  UrlParts parts;
  if (!Split(*canonical, parts)) return;
  DWORD flags = kRequestFlags;
  if (parts.scheme == INTERNET_SCHEME_HTTPS) {
    flags |= INTERNET_FLAG_SECURE;
  } else if (parts.scheme != INTERNET_SCHEME_HTTP) {
    return;  // no other scheme could answer an HTTP request: do not even connect
  }

  // PRECONFIG: the system's proxy configuration applies. Opening direct and
  // switching the session over afterwards is refused by some platforms.
  if (!session) session.reset(api.open(kFetchAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return;

  UniqueInternet connection(InternetConnectA(session.get(), parts.host, parts.port, OrNull(parts.user),
                                             OrNull(parts.password), INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return;
  char none[] = "";  // no proxy credentials of our own
  InternetSetOptionA(connection.get(), INTERNET_OPTION_PROXY_USERNAME, none, sizeof none);
  InternetSetOptionA(connection.get(), INTERNET_OPTION_PROXY_PASSWORD, none, sizeof none);

  if (char* fragment = std::strchr(parts.object, '#')) *fragment = '\0';
  LPCSTR acceptTypes[] = {"Accept: */* \r\n", nullptr};
  // declared after the connection, so it closes first
  UniqueInternet request(
      HttpOpenRequestA(connection.get(), "GET", parts.object, "HTTP/1.0", nullptr, acceptTypes, flags, 0));
  if (!request) return;
  if (!HttpSendRequestA(request.get(), kSendHeaders, DWORD(sizeof kSendHeaders - 1), nullptr, 0)) return;

  char length[32] = {};
  DWORD lengthSize = sizeof length;
  const bool hasLength =
      HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr) != FALSE;
  length[sizeof length - 1] = '\0';
  const DWORD readSize = ReadSizeFor(hasLength ? length : nullptr);

  std::vector<uint8_t> buffer(readSize);
  while (body.size() < std::size_t{kFetchLimit}) {
    const DWORD wanted = std::min<DWORD>(readSize, DWORD(kFetchLimit - body.size()));
    DWORD received = 0;
    const bool ok = api.read(request.get(), buffer.data(), wanted, &received) != FALSE;
    // A read that fails part way (the peer reset the connection) still tells
    // what it put into the buffer: those bytes were received too.
    body.insert(body.end(), buffer.data(), buffer.data() + std::min(received, wanted));
    if (!ok || received == 0) break;
  }
}

}  // namespace

const InternetApi& SystemInternet() {
  static const InternetApi api{InternetOpenA, InternetReadFile};
  return api;
}

DWORD ReadSizeFor(const char* contentLength) {
  if (!contentLength) return kUnknownLengthRead;
  const char* p = contentLength;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min<uint64_t>(value * 10 + uint64_t(*p - '0'), kLargestRead);
  if (negative || value == 0) return kUnknownLengthRead;
  return static_cast<DWORD>(std::min<uint64_t>(value + 1, kLargestRead));
}

Bytes FetchSession::Fetch(TextView url) {
  std::vector<uint8_t> body;
  try {
    Download(api_, session_, url.c_str(), body);
  } catch (const std::bad_alloc&) {
    // what arrived before the shortage is still the answer
  }
  return Bytes::Copy(body.data(), body.size());
}

}  // namespace snipora
