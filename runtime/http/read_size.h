#pragma once
// How much each read of a body asks for, from the Content-Length the server
// stated. Platform-neutral: the header value comes from the network.
#include <cstdint>

namespace snipora {

// The Content-Length + 1 up to kLargestRead, or kUnknownLengthRead when the
// length is missing or not positive.
inline constexpr uint32_t kUnknownLengthRead = 10240;
inline constexpr uint32_t kLargestRead = 102400;

// The length a Content-Length header value states: its zero-terminated text,
// null when there is none. Leading blanks and a sign are allowed; reading
// stops at the first other character. 0 when the value is missing, not a
// number or not positive; values beyond kMostStatedLength read as it.
inline constexpr uint64_t kMostStatedLength = uint64_t{1} << 40;
uint64_t StatedLength(const char* contentLength);

uint32_t ReadSizeFor(const char* contentLength);

}  // namespace snipora
