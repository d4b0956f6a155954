// The runtime's heap and fatal error for the native fuzz build: the parsing
// cores allocate through heap.h, and a fatal error there is a finding.
#include <cstdio>
#include <cstdlib>

#include "runtime/fatal_error.h"
#include "runtime/heap.h"

namespace snipora {

void* AllocateBlock(std::size_t bytes) {
  void* block = std::calloc(1, bytes ? bytes : 1);
  if (!block) AllocationFailed(bytes);
  return block;
}

void AllocationFailed(unsigned long long bytes) {
  std::fprintf(stderr, "allocation of %llu bytes failed\n", bytes);
  std::abort();
}

void* TryAllocateBlock(std::size_t bytes) noexcept { return std::malloc(bytes ? bytes : 1); }

void* TryResizeBlock(void* block, std::size_t bytes, bool inPlace) noexcept {
  return inPlace ? nullptr : std::realloc(block, bytes ? bytes : 1);
}

void ReleaseBlock(void* block) noexcept { std::free(block); }

void FatalRuntimeError(std::optional<int> code, const char* message) {
  std::fprintf(stderr, "fatal runtime error %d: %s\n", code.value_or(0), message);
  std::abort();
}

}  // namespace snipora
