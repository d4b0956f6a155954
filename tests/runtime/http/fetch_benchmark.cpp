// Not a test: how long FetchUrl takes for a small page and a large body from
// the local service, per fetch, in this process (process start excluded).
// The cases take turns (A B C A B C ...) so that a change in how busy the
// machine is touches them alike; medians are printed.
//
//   fetch_benchmark.exe [rounds]     (default 25)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/http/fetch_url.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora;
using namespace snipora::test;

namespace {

struct Case {
  const char* name;
  Behaviour behaviour;
  int32_t expected;
  std::vector<double> ms;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  return double(to.QuadPart - from.QuadPart) * 1000.0 / frequency;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
  SetEnvironmentVariableA("http_proxy", nullptr);  // straight to the service
  LocalService service;
  if (!service.port()) {
    std::fprintf(stderr, "the local service could not listen\n");
    return 1;
  }
  std::string page = "<html><body>";
  while (page.size() < 2048 - 15) page += "<p>Snip.</p>";
  page.resize(2048 - 15, ' ');
  page += "</body></html>\n";

  const int32_t large = 5 * 1000 * 1000;
  std::vector<Case> cases = {
      {"2 KB page", {.body = page}, 2048, {}},
      {"5 MB body, Content-Length (reads of 102400)", {.largeBody = large}, large, {}},
      {"5 MB body, no Content-Length (reads of 10240)", {.largeBody = large, .omitContentLength = true}, large, {}},
  };
  const std::string address = service.Address("/bench");

  // the first fetch opens the session: not measured
  service.QueueBehaviour(cases[0].behaviour);
  FetchUrl(address.c_str());

  for (int round = 0; round < rounds; ++round) {
    for (Case& c : cases) {
      service.QueueBehaviour(c.behaviour);
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      const Bytes body = FetchUrl(address.c_str());
      QueryPerformanceCounter(&end);
      if (body.size() != c.expected) {
        std::fprintf(stderr, "%s: %d bytes instead of %d\n", c.name, body.size(), c.expected);
        return 1;
      }
      c.ms.push_back(Milliseconds(start, end));
    }
  }
  std::printf("FetchUrl from the local service on 127.0.0.1, %d rounds, ms per fetch\n", rounds);
  for (const Case& c : cases) {
    const auto [least, most] = std::minmax_element(c.ms.begin(), c.ms.end());
    std::printf("  %-48s median %8.2f   min %8.2f   max %8.2f\n", c.name, Median(c.ms), *least, *most);
  }
  return 0;
}
