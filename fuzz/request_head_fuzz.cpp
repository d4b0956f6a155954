// The local service's request-head parser on whatever a client sends.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "tests/support/local_service/request_head.h"

using namespace snipora::test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string received(reinterpret_cast<const char*>(data), size);
  const std::size_t end = FindHeadEnd(received);
  FUZZ_CHECK(end == std::string::npos || end <= received.size());
  CannotBeHttp(received);
  const std::optional<RequestHead> head = ParseRequestHead(received.substr(0, std::min(end, received.size())));
  if (!head) return 0;
  FUZZ_CHECK(!head->method.empty() && !head->path.empty() && head->path[0] == '/');
  FUZZ_CHECK(head->target.find(' ') == std::string::npos);
  for (std::string_view key : {"url", "source", ""}) {
    if (const std::optional<std::string> value = QueryValue(head->query, key))
      FUZZ_CHECK(value->size() <= head->query.size());
  }
  FUZZ_CHECK(PercentDecode(head->target, true).size() <= head->target.size());
  return 0;
}
