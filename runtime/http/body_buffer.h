#pragma once
// The growing output of one fetch: a byte-set block that the platform's reads
// write into directly, so each byte of a body is stored once and never copied
// from a read buffer. It grows geometrically; with a stated length it is made
// large enough at once.
#include <cstddef>
#include <cstdint>

#include "runtime/byte_set.h"

namespace snipora {

class BodyBuffer {
 public:
  BodyBuffer() noexcept = default;
  BodyBuffer(const BodyBuffer&) = delete;
  BodyBuffer& operator=(const BodyBuffer&) = delete;
  ~BodyBuffer();

  // Room for at least `more` bytes after those received; false when the
  // memory cannot be had (what was received stays).
  bool Reserve(std::size_t more) noexcept;
  // Where the next bytes go: Reserve() bytes of room.
  uint8_t* tail() noexcept { return block_->bytes() + size_; }
  // `count` bytes were written at tail().
  void Commit(std::size_t count) noexcept { size_ += count; }
  std::size_t size() const noexcept { return size_; }

  // The received bytes as a byte set (the empty one when there are none);
  // the buffer is empty afterwards.
  Bytes Take() noexcept;

 private:
  ByteSet* block_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace snipora
