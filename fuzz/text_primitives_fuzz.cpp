// The text and byte-set primitives on arbitrary bytes and arguments: each
// result must be what the primitive promises, whatever the positions and
// counts, and nothing may be read outside the blocks.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <variant>

#include "fuzz/support/fuzz_check.h"
#include "runtime/byte_set.h"
#include "runtime/text.h"

using namespace snipora;

namespace {

// The arguments come first, then the bytes that become the operands.
struct Arguments {
  uint8_t flags = 0;
  int32_t start = 0;
  int32_t count = 0;
  uint8_t split = 0;
};

int32_t Read32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

bool FoldedEqual(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

void CheckFind(const std::string& text, const std::string& sought, const Arguments& a) {
  const bool withStart = a.flags & 1;
  const bool ignoreCase = a.flags & 2;
  const int32_t found = withStart ? FindText(text.c_str(), sought.c_str(), a.start, ignoreCase)
                                  : FindText(text.c_str(), sought.c_str(), std::nullopt, ignoreCase);
  const int64_t n = int64_t(std::strlen(text.c_str()));
  const int64_t m = int64_t(std::strlen(sought.c_str()));
  const int64_t from = withStart ? std::max<int64_t>(int64_t{a.start} - 1, 0) : 0;
  if (found == -1) return;
  FUZZ_CHECK(found >= 1);
  if (m == 0) {
    FUZZ_CHECK(found == 1 && from < n);
    return;
  }
  FUZZ_CHECK(found - 1 >= from && found - 1 + m <= n);
  const char* at = text.c_str() + found - 1;
  FUZZ_CHECK(ignoreCase ? FoldedEqual(at, sought.c_str(), std::size_t(m))
                        : std::memcmp(at, sought.c_str(), std::size_t(m)) == 0);
}

void CheckMid(const std::string& text, const Arguments& a) {
  const Text cut = MidText(text.c_str(), a.start, a.count);
  const int64_t n = int64_t(std::strlen(text.c_str()));
  const int64_t p = int64_t{a.start} - 1;
  if (p < 0 || p >= n || a.count <= 0) {
    FUZZ_CHECK(cut.empty());
    return;
  }
  const std::size_t expected = std::size_t(std::min<int64_t>(a.count, n - p));
  FUZZ_CHECK(std::strlen(cut.c_str()) == expected && std::memcmp(cut.c_str(), text.c_str() + p, expected) == 0);
}

void CheckJoinAndCompare(const std::string& a, const std::string& b) {
  const Text joined = JoinText(a.c_str(), b.c_str(), a.c_str());
  FUZZ_CHECK(joined.get() != nullptr);
  FUZZ_CHECK(std::strlen(joined.c_str()) == 2 * std::strlen(a.c_str()) + std::strlen(b.c_str()));
  const int32_t ab = CompareText(a.c_str(), b.c_str());
  FUZZ_CHECK(ab == -CompareText(b.c_str(), a.c_str()));
  FUZZ_CHECK((ab == 0) == (std::strcmp(a.c_str(), b.c_str()) == 0));
}

void CheckBytes(const uint8_t* data, std::size_t size, const Arguments& a) {
  const Bytes bytes = Bytes::Copy(data, size);
  const int64_t length = bytes.size();
  const Bytes mid = MidBytes(bytes, a.start, a.count);
  const int64_t offset = std::clamp<int64_t>(int64_t{a.start} - 1, 0, length);
  const int64_t take = std::min<int64_t>(std::max(a.count, 0), length - offset);
  FUZZ_CHECK(mid.size() == take);
  FUZZ_CHECK(take == 0 || std::memcmp(mid.data(), data + offset, std::size_t(take)) == 0);
  const Bytes right = RightBytes(bytes, a.count);
  const int64_t last = std::clamp<int64_t>(a.count, 0, length);
  FUZZ_CHECK(right.size() == last);
  FUZZ_CHECK(last == 0 || std::memcmp(right.data(), data + length - last, std::size_t(last)) == 0);

  const Text text = ToText(bytes);
  const void* zero = std::memchr(data, 0, size);
  FUZZ_CHECK(std::strlen(text.c_str()) == (zero ? std::size_t(static_cast<const uint8_t*>(zero) - data) : size));

  // a walk through the set as a sequence of values of one kind, from a
  // position inside it or just past it, moves forward and ends at -1
  const int32_t kind = 1 + a.flags % 10;
  int32_t position = 1 + int32_t(uint32_t(a.start) % (size + 2));
  for (std::size_t steps = 0; position != -1; ++steps) {
    const int32_t before = position;
    const BytesValue value = ReadBytesValue(bytes, kind, &position);
    FUZZ_CHECK(position == -1 || position > before);
    if (const Text* read = std::get_if<Text>(&value)) FUZZ_CHECK(std::strlen(read->c_str()) <= size);
    FUZZ_CHECK(steps <= size + 2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  const Arguments a{data[0], Read32(data + 1), Read32(data + 5), data[9]};
  data += 10;
  size -= 10;
  const std::size_t cut = size * a.split / 256;
  const std::string text(reinterpret_cast<const char*>(data), cut);
  const std::string sought(reinterpret_cast<const char*>(data) + cut, size - cut);
  CheckFind(text, sought, a);
  CheckMid(text, a);
  CheckJoinAndCompare(text, sought);
  CheckBytes(data, size, a);
  return 0;
}
