#include "gdiplus/block_stream.h"

#include <cstring>

#include "gdiplus/image_stream.h"
#include "runtime/system_functions.h"

namespace snipora {

BlockStream::~BlockStream() { Free(); }

std::unique_ptr<BlockStream> BlockStream::Clone() const { return std::unique_ptr<BlockStream>(new BlockStream(*this)); }

void BlockStream::Free() {
  if (stream_) stream_->Release();
  if (memory_ && ownsMemory_) sys::GlobalFree(memory_);
  memory_ = nullptr;
  stream_ = nullptr;
  ownsMemory_ = false;
}

IStream* BlockStream::Open(BytesView bytes, bool fromBytes) {
  Free();
  if (fromBytes) {
    const int32_t length = bytes.size();
    memory_ = sys::GlobalAlloc(GMEM_FIXED, SIZE_T(length));
    if (!memory_) return nullptr;
    if (void* data = sys::GlobalLock(memory_); data && length > 0) std::memcpy(data, bytes.data(), std::size_t(length));
    sys::GlobalUnlock(memory_);
    ownsMemory_ = true;
  } else {
    memory_ = sys::GlobalAlloc(GMEM_MOVEABLE, 0);
    if (!memory_) return nullptr;
  }
  // an empty stream deletes its memory on release; a copied block is ours
  if (FAILED(sys::CreateStreamOnHGlobal(memory_, fromBytes ? FALSE : TRUE, &stream_))) {
    stream_ = nullptr;
    sys::GlobalFree(memory_);
    memory_ = nullptr;
    ownsMemory_ = false;
  }
  return stream_;
}

IStream* BlockStream::GetStream() const { return stream_; }

SIZE_T BlockStream::Size() const { return memory_ ? sys::GlobalSize(memory_) : 0; }

Bytes BlockStream::ToBytes() const { return GlobalMemoryBytes(memory_); }

void BlockStream::Abandon() noexcept {
  memory_ = nullptr;
  stream_ = nullptr;
  ownsMemory_ = false;
}

}  // namespace snipora
