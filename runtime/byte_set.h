#pragma once
// Byte sets: one heap block holding a 32-bit 1, a 32-bit count n, then the n
// bytes. Null is the empty byte set. The layout is fixed: callers copy whole
// blocks (count + 8 bytes) and read the count and bytes directly.
#include <cstdint>
#include <span>
#include <type_traits>
#include <variant>

#include "runtime/text.h"

namespace snipora {

struct ByteSet {
  int32_t one;  // always 1
  int32_t count;
  uint8_t* bytes() noexcept { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* bytes() const noexcept { return reinterpret_cast<const uint8_t*>(this + 1); }
};
static_assert(sizeof(ByteSet) == 8 && alignof(ByteSet) == 4);

// The shared byte set of count 0 that stands for a null argument.
const ByteSet* EmptyByteSet() noexcept;

class Bytes;

// A byte-set argument: never null.
class BytesView {
 public:
  BytesView(const ByteSet* set) noexcept : set_(set ? set : EmptyByteSet()) {}  // NOLINT
  BytesView(const Bytes& bytes) noexcept;                                       // NOLINT
  const ByteSet* get() const noexcept { return set_; }
  int32_t size() const noexcept { return set_->count; }
  const uint8_t* data() const noexcept { return set_->bytes(); }
  std::span<const uint8_t> span() const noexcept { return {data(), std::size_t(size())}; }

 private:
  const ByteSet* set_;
};

// Owner of one byte-set block; releases it when it goes.
class Bytes {
 public:
  Bytes() noexcept = default;
  static Bytes Adopt(ByteSet* block) noexcept { return Bytes(block); }
  // A new block holding a copy of these bytes (empty when count is 0).
  static Bytes Copy(const void* bytes, std::size_t count);
  Bytes(Bytes&& other) noexcept : block_(other.release()) {}
  Bytes& operator=(Bytes&& other) noexcept;
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  ~Bytes();

  ByteSet* get() const noexcept { return block_; }  // null for the empty byte set
  int32_t size() const noexcept { return block_ ? block_->count : 0; }
  bool empty() const noexcept { return size() == 0; }
  uint8_t* data() const noexcept { return block_ ? block_->bytes() : nullptr; }
  std::span<const uint8_t> span() const noexcept { return {data(), std::size_t(size())}; }
  [[nodiscard]] ByteSet* release() noexcept {
    ByteSet* b = block_;
    block_ = nullptr;
    return b;
  }

 private:
  explicit Bytes(ByteSet* block) noexcept : block_(block) {}
  ByteSet* block_ = nullptr;
};

inline BytesView::BytesView(const Bytes& bytes) noexcept : BytesView(bytes.get()) {}

int32_t BytesLength(BytesView bytes);
Bytes BlankBytes(int32_t count);
Bytes MidBytes(BytesView bytes, int32_t start, int32_t count);
Bytes RightBytes(BytesView bytes, int32_t count);

Bytes ToBytes(int32_t value);
Bytes ToBytes(TextView text);  // without the terminating zero
Bytes ToBytes(BytesView bytes);
template <class T>
  requires std::is_arithmetic_v<T>
Bytes ToBytes(std::span<const T> values) {
  return Bytes::Copy(values.data(), values.size_bytes());
}

Text ToText(BytesView bytes);  // the bytes before the first zero byte

// The value kinds of ReadBytesValue, by their numbers.
enum class ValueKind : int32_t {
  Byte = 1, Int16, Int32, Int64, Single, Double, Boolean, DateTime, Procedure, Text
};
struct DateTime {
  double days;
  bool operator==(const DateTime&) const = default;
};
struct ProcedureAddress {
  uint32_t address;
  bool operator==(const ProcedureAddress&) const = default;
};
using BytesValue = std::variant<uint8_t, int16_t, int32_t, int64_t, float, double, bool, DateTime,
                                ProcedureAddress, Text>;

// Reads one little-endian value of `kind` (1 to 10; anything else is fatal)
// from 1-based *position, or from the first byte without one. A short read is
// zero-extended. The position advances past what was read, or becomes -1 when
// nothing is left after it.
BytesValue ReadBytesValue(BytesView bytes, int32_t kind, int32_t* position = nullptr);

// The caller guarantees the memory is readable / writable.
Bytes BytesFromPointer(const void* address, int32_t count);
// A limit in 0..size copies only that many bytes; a text includes its zero.
void WriteToMemory(BytesView data, void* address, std::optional<int32_t> limit = std::nullopt);
void WriteToMemory(TextView data, void* address, std::optional<int32_t> limit = std::nullopt);
void WriteToMemory(int32_t data, void* address, std::optional<int32_t> limit = std::nullopt);
void WriteToMemory(double data, void* address, std::optional<int32_t> limit = std::nullopt);

}  // namespace snipora
