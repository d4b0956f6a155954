#pragma once
// The runtime's private heap. Every text and byte set handed to a caller is a
// block of this heap; a failed allocation ends the process.
#include <cstddef>

namespace snipora {

// Zero-filled block of `bytes` bytes; never returns null.
void* AllocateBlock(std::size_t bytes);

// Ends the process with the allocation-failure message for `bytes`.
[[noreturn]] void AllocationFailed(unsigned long long bytes);

// Releasing null does nothing.
void ReleaseBlock(void* block) noexcept;

}  // namespace snipora
