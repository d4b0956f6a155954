#include "runtime/byte_set.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "runtime/fatal_error.h"
#include "runtime/heap.h"

namespace snipora {
namespace {

constexpr ByteSet kEmptyByteSet{1, 0};

// A new zero-filled block with room for `count` bytes; count 0 gives null.
Bytes NewBytes(std::size_t count) {
  if (count == 0) return Bytes();
  if (count > std::size_t(INT32_MAX) - sizeof(ByteSet))
    AllocationFailed(static_cast<unsigned long long>(count) + sizeof(ByteSet));
  auto* block = static_cast<ByteSet*>(AllocateBlock(sizeof(ByteSet) + count));
  block->one = 1;
  block->count = static_cast<int32_t>(count);
  return Bytes::Adopt(block);
}

// The slice of `bytes` that starts at 0-based `offset`, at most `count` long.
Bytes Slice(BytesView bytes, int64_t offset, int64_t count) {
  return Bytes::Copy(bytes.data() + offset, static_cast<std::size_t>(count));
}

}  // namespace

const ByteSet* EmptyByteSet() noexcept { return &kEmptyByteSet; }

Bytes Bytes::Copy(const void* bytes, std::size_t count) {
  Bytes result = NewBytes(count);
  if (count) std::memcpy(result.data(), bytes, count);
  return result;
}

Bytes& Bytes::operator=(Bytes&& other) noexcept {
  if (this != &other) {
    ReleaseBlock(block_);
    block_ = other.release();
  }
  return *this;
}

Bytes::~Bytes() { ReleaseBlock(block_); }

int32_t BytesLength(BytesView bytes) { return bytes.size(); }

Bytes BlankBytes(int32_t count) { return count <= 0 ? Bytes() : NewBytes(std::size_t(count)); }

Bytes MidBytes(BytesView bytes, int32_t start, int32_t count) {
  const int64_t length = bytes.size();
  const int64_t offset = std::clamp<int64_t>(int64_t{start} - 1, 0, length);
  int64_t take = std::max<int64_t>(count, 0);
  if (offset + take > length) take = length - offset;
  return Slice(bytes, offset, take);
}

Bytes RightBytes(BytesView bytes, int32_t count) {
  const int64_t length = bytes.size();
  const int64_t take = std::clamp<int64_t>(count, 0, length);
  return Slice(bytes, length - take, take);
}

Bytes ToBytes(int32_t value) {
  uint8_t little[4];
  for (int i = 0; i < 4; ++i) little[i] = static_cast<uint8_t>(uint32_t(value) >> (8 * i));
  return Bytes::Copy(little, sizeof little);
}

Bytes ToBytes(TextView text) { return Bytes::Copy(text.c_str(), std::strlen(text.c_str())); }

Bytes ToBytes(BytesView bytes) { return Bytes::Copy(bytes.data(), std::size_t(bytes.size())); }

Text ToText(BytesView bytes) { return ToText(bytes.span()); }

namespace {

std::size_t KindSize(ValueKind kind) {
  switch (kind) {
    case ValueKind::Byte: return 1;
    case ValueKind::Int16: return 2;
    case ValueKind::Int32:
    case ValueKind::Single:
    case ValueKind::Boolean:
    case ValueKind::Procedure: return 4;
    case ValueKind::Int64:
    case ValueKind::Double:
    case ValueKind::DateTime: return 8;
    case ValueKind::Text: return 0;
  }
  return 0;
}

template <class T>
T Load(const uint8_t* zeroExtended) {
  T value;
  std::memcpy(&value, zeroExtended, sizeof value);
  return value;
}

}  // namespace

BytesValue ReadBytesValue(BytesView bytes, int32_t kindNumber, int32_t* position) {
  if (kindNumber < 1 || kindNumber > 10) FatalRuntimeError("“欲取出数据的类型”参数值无效");
  const auto kind = static_cast<ValueKind>(kindNumber);

  const int64_t length = bytes.size();
  const int64_t offset = position ? int64_t{*position} - 1 : 0;
  const int64_t available = (offset < 0 || offset >= length) ? 0 : length - offset;
  const uint8_t* at = bytes.data() + (available ? offset : 0);

  BytesValue value;
  int64_t consumed;
  if (kind == ValueKind::Text) {
    const void* zero = available ? std::memchr(at, 0, std::size_t(available)) : nullptr;
    const int64_t textLength = zero ? static_cast<const uint8_t*>(zero) - at : available;
    value = TextFromBytes(at, std::size_t(textLength));
    consumed = zero ? textLength + 1 : textLength;
  } else {
    const std::size_t size = KindSize(kind);
    uint8_t buffer[8] = {};
    std::memcpy(buffer, at, std::min<std::size_t>(size, std::size_t(available)));
    switch (kind) {
      case ValueKind::Byte: value = buffer[0]; break;
      case ValueKind::Int16: value = Load<int16_t>(buffer); break;
      case ValueKind::Int32: value = Load<int32_t>(buffer); break;
      case ValueKind::Int64: value = Load<int64_t>(buffer); break;
      case ValueKind::Single: value = Load<float>(buffer); break;
      case ValueKind::Double: value = Load<double>(buffer); break;
      case ValueKind::Boolean: value = Load<int32_t>(buffer) != 0; break;
      case ValueKind::DateTime: value = DateTime{Load<double>(buffer)}; break;
      case ValueKind::Procedure: value = ProcedureAddress{Load<uint32_t>(buffer)}; break;
      case ValueKind::Text: break;
    }
    consumed = int64_t(size);
  }

  if (position) {
    const int64_t next = int64_t{*position} + consumed;
    *position = (next - 1 >= length || next > INT32_MAX) ? -1 : static_cast<int32_t>(next);
  }
  return value;
}

Bytes BytesFromPointer(const void* address, int32_t count) {
  return count <= 0 ? Bytes() : Bytes::Copy(address, std::size_t(count));
}

namespace {

void CopyLimited(const void* data, std::size_t size, void* address, std::optional<int32_t> limit) {
  if (limit && *limit >= 0 && std::size_t(*limit) <= size) size = std::size_t(*limit);
  if (size) std::memcpy(address, data, size);
}

}  // namespace

void WriteToMemory(BytesView data, void* address, std::optional<int32_t> limit) {
  CopyLimited(data.data(), std::size_t(data.size()), address, limit);
}

void WriteToMemory(TextView data, void* address, std::optional<int32_t> limit) {
  CopyLimited(data.c_str(), std::strlen(data.c_str()) + 1, address, limit);
}

void WriteToMemory(int32_t data, void* address, std::optional<int32_t> limit) {
  CopyLimited(&data, sizeof data, address, limit);
}

void WriteToMemory(double data, void* address, std::optional<int32_t> limit) {
  CopyLimited(&data, sizeof data, address, limit);
}

}  // namespace snipora
