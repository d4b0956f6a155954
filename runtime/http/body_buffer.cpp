#include "runtime/http/body_buffer.h"

#include <algorithm>
#include <cstdint>

#include "runtime/heap.h"

namespace snipora {
namespace {

// A byte set counts in 32 bits.
constexpr std::size_t kMostBytes = std::size_t(INT32_MAX) - sizeof(ByteSet);

}  // namespace

BodyBuffer::~BodyBuffer() { ReleaseBlock(block_); }

bool BodyBuffer::Reserve(std::size_t more) noexcept {
  if (more > kMostBytes - size_) return false;
  if (block_ && capacity_ - size_ >= more) return true;
  const std::size_t needed = size_ + more;
  const std::size_t grown = capacity_ > kMostBytes / 2 ? kMostBytes : std::max(needed, capacity_ * 2);
  void* block = TryResizeBlock(block_, sizeof(ByteSet) + grown);
  if (!block) return false;
  block_ = static_cast<ByteSet*>(block);
  capacity_ = grown;
  return true;
}

Bytes BodyBuffer::Take() noexcept {
  if (size_ == 0) {
    ReleaseBlock(block_);
    block_ = nullptr;
    capacity_ = 0;
    return Bytes();
  }
  // give back the room that was not needed, where it lies (a move would copy
  // every byte again); if the heap cannot, the block stays larger than its count
  if (capacity_ > size_)
    if (void* fitted = TryResizeBlock(block_, sizeof(ByteSet) + size_, true)) block_ = static_cast<ByteSet*>(fitted);
  block_->one = 1;
  block_->count = static_cast<int32_t>(size_);
  ByteSet* block = block_;
  block_ = nullptr;
  size_ = capacity_ = 0;
  return Bytes::Adopt(block);
}

}  // namespace snipora
