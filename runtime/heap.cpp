#include "runtime/heap.h"

#include <windows.h>

#include <cstdio>

#include "runtime/fatal_error.h"

namespace snipora {
namespace {

HANDLE RuntimeHeap() {
  // Created on first use and kept for the life of the process: blocks may be
  // released by anyone at any time, so the heap must outlive them all.
  static const HANDLE heap = [] {
    HANDLE h = HeapCreate(0, 0, 0);
    return h ? h : GetProcessHeap();
  }();
  return heap;
}

}  // namespace

void* AllocateBlock(std::size_t bytes) {
  void* block = HeapAlloc(RuntimeHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
  if (!block) AllocationFailed(bytes);
  return block;
}

void AllocationFailed(unsigned long long bytes) {
  char message[64];
  std::snprintf(message, sizeof message, "分配 %llu 字节内存失败!", bytes);
  FatalRuntimeError(message);
}

void* TryAllocateBlock(std::size_t bytes) noexcept { return HeapAlloc(RuntimeHeap(), 0, bytes ? bytes : 1); }

void* TryResizeBlock(void* block, std::size_t bytes, bool inPlace) noexcept {
  if (!block) return inPlace ? nullptr : TryAllocateBlock(bytes);
  return HeapReAlloc(RuntimeHeap(), inPlace ? HEAP_REALLOC_IN_PLACE_ONLY : 0, block, bytes ? bytes : 1);
}

void ReleaseBlock(void* block) noexcept {
  if (block) HeapFree(RuntimeHeap(), 0, block);
}

}  // namespace snipora
