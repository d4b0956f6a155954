#pragma once
// The runtime's private heap. Every text and byte set handed to a caller is a
// block of this heap; a failed allocation ends the process.
#include <cstddef>

namespace snipora {

// Zero-filled block of `bytes` bytes; never returns null.
void* AllocateBlock(std::size_t bytes);

// Ends the process with the allocation-failure message for `bytes`.
[[noreturn]] void AllocationFailed(unsigned long long bytes);

// For buffers that grow as data arrives, where a shortage is an outcome and
// not the end of the process: a block of `bytes` bytes (not zero-filled), or
// null when the memory cannot be had.
void* TryAllocateBlock(std::size_t bytes) noexcept;
// Grows or shrinks a block of this heap, keeping its bytes; null when the
// memory cannot be had, and then the block is left as it was. `inPlace`: only
// where the block lies (a shrink that must not copy).
void* TryResizeBlock(void* block, std::size_t bytes, bool inPlace = false) noexcept;

// Releasing null does nothing.
void ReleaseBlock(void* block) noexcept;

}  // namespace snipora
