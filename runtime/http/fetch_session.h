#pragma once
// An internet session and the fetch over it. FetchUrl uses one for the whole
// process; tests make their own to watch the session being opened and the
// reads being made.
#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "runtime/byte_set.h"
#include "runtime/win_handles.h"
#include "runtime/text.h"

namespace snipora {

using UniqueInternet = UniqueHandle<HINTERNET, &InternetCloseHandle>;

// The body is read up to this many bytes; the rest is left unread, so a
// hostile server cannot exhaust a 32-bit process.
inline constexpr int32_t kFetchLimit = 16 * 1024 * 1024;

// Read sizes: the Content-Length + 1 up to kLargestRead, or kUnknownLengthRead
// when the length is missing or not positive.
inline constexpr DWORD kUnknownLengthRead = 10240;
inline constexpr DWORD kLargestRead = 102400;

inline constexpr char kFetchAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// The WinINet calls a test may stand in for (to count or to forward).
struct InternetApi {
  HINTERNET(WINAPI* open)(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass, DWORD flags);
  BOOL(WINAPI* read)(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD received);
};
const InternetApi& SystemInternet();

// The read size for a Content-Length header value (null when there is none).
DWORD ReadSizeFor(const char* contentLength);

class FetchSession {
 public:
  explicit FetchSession(const InternetApi& api = SystemInternet()) noexcept : api_(api) {}
  FetchSession(const FetchSession&) = delete;
  FetchSession& operator=(const FetchSession&) = delete;

  // As FetchUrl; opens the session at the first fetch that needs it (a failed
  // open is tried again by the next fetch).
  Bytes Fetch(TextView url);
  bool is_open() const noexcept { return static_cast<bool>(session_); }

 private:
  const InternetApi& api_;
  UniqueInternet session_;
};

}  // namespace snipora
