// FetchUrl against a bare WinINet GET of the same loopback page in the same
// process: the bare side opens its session once, then for each page
// connects, opens, sends, reads 64 KiB pieces straight into a growing buffer
// and closes. Both sides get the body in memory and check its length.
//
//   fetch_pair.exe [rounds]     (default 25, four times that for the small
//                                page; 3 not counted first)
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/paired_runs.h"
#include "runtime/http/fetch_session.h"
#include "runtime/http/fetch_url.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora;
using namespace snipora::bench;
using namespace snipora::test;

namespace {

constexpr DWORD kPiece = 64 * 1024;

struct HeapBlock {
  uint8_t* bytes = nullptr;
  std::size_t capacity = 0;
  HeapBlock() = default;
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  ~HeapBlock() {
    if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
  }
  bool Reserve(std::size_t size) {
    if (size <= capacity) return true;
    const std::size_t grown = std::max(capacity * 2, size);
    void* block = bytes ? HeapReAlloc(GetProcessHeap(), 0, bytes, grown) : HeapAlloc(GetProcessHeap(), 0, grown);
    if (!block) return false;
    bytes = static_cast<uint8_t*>(block);
    capacity = grown;
    return true;
  }
};

class BareGet {
 public:
  BareGet() : session_(InternetOpenA(kFetchAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)) {}
  // The body's length, or -1 when the GET failed. Each GET receives into a
  // block of the process heap that starts empty and doubles, as FetchUrl's
  // result block does, and is freed after the clock has stopped.
  int64_t Get(uint16_t port, const char* path, HeapBlock& body) {
    UniqueInternet connection(
        InternetConnectA(session_.get(), "127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return -1;
    UniqueInternet request(HttpOpenRequestA(connection.get(), "GET", path, "HTTP/1.0", nullptr, nullptr,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return -1;
    std::size_t size = 0;
    while (true) {
      if (!body.Reserve(size + kPiece)) return -1;
      DWORD received = 0;
      if (!InternetReadFile(request.get(), body.bytes + size, kPiece, &received)) return -1;
      if (received == 0) break;
      size += received;
    }
    return int64_t(size);
  }

 private:
  UniqueInternet session_;
};

struct Case {
  const char* name;
  Behaviour behaviour;
  int64_t size;
  std::optional<double> goal;
  int roundsFactor = 1;  // a few milliseconds each: more rounds steady the median
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
  SetEnvironmentVariableA("http_proxy", nullptr);  // straight to the service, both sides
  LocalService service;
  if (!service.port()) {
    std::fprintf(stderr, "the local service could not listen\n");
    return 1;
  }
  std::string page = "<html><body>";
  while (page.size() < 2048 - 15) page += "<p>Snip.</p>";
  page.resize(2048 - 15, ' ');
  page += "</body></html>\n";
  const int64_t large = 5 * 1000 * 1000;
  const Case cases[] = {
      {"FetchUrl 2 KB page", {.body = page}, 2048, 1.10, 4},
      {"FetchUrl 5 MB, Content-Length", {.largeBody = large}, large, 1.20},
      {"FetchUrl 5 MB, no Content-Length", {.largeBody = large, .omitContentLength = true}, large, std::nullopt},
  };
  const std::string address = service.Address("/bench");
  BareGet bare;
  for (const Case& c : cases) {
    service.SetBehaviour(c.behaviour);
    const Side ours = [&] {
      const double start = Now();
      const Bytes body = FetchUrl(address.c_str());
      const double took = Now() - start;
      return body.size() == c.size ? took : -1;
    };
    const Side platform = [&] {
      HeapBlock body;
      const double start = Now();
      const int64_t size = bare.Get(service.port(), "/bench", body);
      const double took = Now() - start;
      return size == c.size ? took : -1;
    };
    Pairs pairs;
    if (!RunPairs(rounds * c.roundsFactor, 3, ours, platform, pairs)) {
      std::fprintf(stderr, "%s: a fetch did not get the whole body\n", c.name);
      return 1;
    }
    PrintRow(c.name, pairs, c.goal);
  }
  return 0;
}
