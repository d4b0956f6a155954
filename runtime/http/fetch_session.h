#pragma once
// An internet session and the fetch over it. FetchUrl uses one for the whole
// process; tests make their own to watch the session being opened and the
// reads being made.
#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "runtime/byte_set.h"
#include "runtime/http/read_size.h"
#include "runtime/system_functions.h"
#include "runtime/text.h"
#include "runtime/win_handles.h"

namespace snipora {

// WinINet is bound late (runtime/system_functions.h): the program starts
// without loading it and its dependencies.
inline BOOL CloseInternetHandle(HINTERNET handle) { return sys::InternetCloseHandle(handle); }
using UniqueInternet = UniqueHandle<HINTERNET, &CloseInternetHandle>;

// The body is read up to this many bytes; the rest is left unread, so a
// hostile server cannot exhaust a 32-bit process.
inline constexpr int32_t kFetchLimit = 16 * 1024 * 1024;

// Redirections are followed by the fetch itself, this many in a row at most:
// the platform's own following knows no bound, and a service that redirects
// to itself would hold the caller for ever. Past it the fetch has failed.
inline constexpr int kMostRedirects = 10;

// A service that goes silent in the middle of an answer is given up on after
// this long without a byte (the platform's default waits far longer); what
// came before is kept.
inline constexpr DWORD kReceiveTimeoutMs = 30000;

inline constexpr char kFetchAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// The WinINet calls a test may stand in for (to count or to forward).
struct InternetApi {
  HINTERNET(WINAPI* open)(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass, DWORD flags);
  BOOL(WINAPI* read)(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD received);
};
const InternetApi& SystemInternet();

class FetchSession {
 public:
  explicit FetchSession(const InternetApi& api = SystemInternet(), DWORD receiveTimeoutMs = kReceiveTimeoutMs) noexcept
      : api_(api), receiveTimeoutMs_(receiveTimeoutMs) {}
  FetchSession(const FetchSession&) = delete;
  FetchSession& operator=(const FetchSession&) = delete;

  // As FetchUrl; opens the session at the first fetch that needs it (a failed
  // open is tried again by the next fetch).
  Bytes Fetch(TextView url);
  bool is_open() const noexcept { return static_cast<bool>(session_); }

 private:
  const InternetApi& api_;
  DWORD receiveTimeoutMs_;
  UniqueInternet session_;
};

}  // namespace snipora
