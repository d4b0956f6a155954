#include "runtime/text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/heap.h"

namespace snipora {

Text& Text::operator=(Text&& other) noexcept {
  if (this != &other) {
    ReleaseBlock(block_);
    block_ = other.release();
  }
  return *this;
}

Text::~Text() { ReleaseBlock(block_); }

Text TextFromBytes(const void* bytes, std::size_t count) {
  if (count == 0) return Text();
  char* block = static_cast<char*>(AllocateBlock(count + 1));
  std::memcpy(block, bytes, count);
  return Text::Adopt(block);
}

int32_t TextLength(TextView text) { return static_cast<int32_t>(std::strlen(text.c_str())); }

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

bool MatchesAt(const unsigned char* at, const unsigned char* sought, std::size_t length,
               bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(at, sought, length) == 0;
  for (std::size_t i = 0; i < length; ++i)
    if (FoldAscii(at[i]) != FoldAscii(sought[i])) return false;
  return true;
}

}  // namespace

int32_t FindText(TextView text, TextView sought, std::optional<int32_t> start, bool ignoreCase) {
  const auto* t = reinterpret_cast<const unsigned char*>(text.c_str());
  const auto* s = reinterpret_cast<const unsigned char*>(sought.c_str());
  const int64_t n = TextLength(text);
  const int64_t m = TextLength(sought);

  int64_t offset = 0;
  int64_t remaining = n;
  if (start) {
    offset = std::max<int64_t>(int64_t{*start} - 1, 0);
    remaining = offset >= n ? 0 : n - offset;
  }
  if (m == 0) return remaining > 0 ? 1 : -1;

  while (remaining >= m) {
    if (MatchesAt(t + offset, s, static_cast<std::size_t>(m), ignoreCase))
      return static_cast<int32_t>(offset + 1);
    if (t[offset] >= 0x80) {
      // a lead byte right before the terminator is a broken character: stop
      if (t[offset + 1] == 0) return -1;
      offset += 2;
      remaining -= 2;
    } else {
      offset += 1;
      remaining -= 1;
    }
  }
  return -1;
}

Text MidText(TextView text, int32_t start, int32_t count) {
  const int64_t length = TextLength(text);
  const int64_t p = int64_t{start} - 1;
  if (p < 0 || p >= length || count <= 0) return Text();
  const int64_t take = std::min<int64_t>(count, length - p);
  return TextFromBytes(text.c_str() + p, static_cast<std::size_t>(take));
}

Text BlankText(int32_t count) {
  if (count < 1) return Text();
  char* block = static_cast<char*>(AllocateBlock(std::size_t(count) + 1));
  std::memset(block, ' ', std::size_t(count));
  return Text::Adopt(block);
}

Text JoinText(std::initializer_list<TextView> parts) {
  std::size_t total = 0;
  for (TextView part : parts) total += std::strlen(part.c_str());
  char* block = static_cast<char*>(AllocateBlock(total + 1));
  char* out = block;
  for (TextView part : parts) {
    const std::size_t length = std::strlen(part.c_str());
    std::memcpy(out, part.c_str(), length);
    out += length;
  }
  return Text::Adopt(block);
}

int32_t CompareText(TextView a, TextView b) {
  const int r = std::strcmp(a.c_str(), b.c_str());  // strcmp compares as unsigned char
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

Text ToText(TextView text) { return TextFromBytes(text.c_str(), std::strlen(text.c_str())); }

Text ToText(int32_t value) {
  const std::string digits = std::to_string(value);
  return TextFromBytes(digits.data(), digits.size());
}

Text ToText(int16_t value) { return ToText(int32_t{value}); }

Text ToText(uint8_t value) { return ToText(int32_t{value}); }

Text ToText(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return Text();
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const uint8_t*>(zero) - bytes.data()) : bytes.size();
  return TextFromBytes(bytes.data(), length);
}

}  // namespace snipora
