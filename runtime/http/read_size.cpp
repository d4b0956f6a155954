#include "runtime/http/read_size.h"

#include <algorithm>

namespace snipora {

uint64_t StatedLength(const char* contentLength) {
  if (!contentLength) return 0;
  const char* p = contentLength;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // saturates: more digits cannot overflow
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min<uint64_t>(value * 10 + uint64_t(*p - '0'), kMostStatedLength);
  return negative ? 0 : value;
}

uint32_t ReadSizeFor(const char* contentLength) {
  const uint64_t stated = StatedLength(contentLength);
  if (stated == 0) return kUnknownLengthRead;
  return static_cast<uint32_t>(std::min<uint64_t>(stated + 1, kLargestRead));
}

}  // namespace snipora
