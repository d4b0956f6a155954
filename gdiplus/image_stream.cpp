#include "gdiplus/image_stream.h"

#include <algorithm>
#include <cstring>

#include "runtime/system_functions.h"

namespace snipora {

ImageStream::~ImageStream() { Close(); }

std::unique_ptr<ImageStream> ImageStream::Clone() const { return std::unique_ptr<ImageStream>(new ImageStream(*this)); }

IStream* ImageStream::Create(BytesView bytes, std::optional<int32_t> length) {
  Close();
  const int32_t count = std::clamp(length.value_or(bytes.size()), 0, bytes.size());
  memory_ = sys::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, SIZE_T(count));
  // without memory there is no stream: given none, the system would make a
  // block of its own that nobody frees
  if (!memory_) return nullptr;
  if (FAILED(sys::CreateStreamOnHGlobal(memory_, FALSE, &stream_))) stream_ = nullptr;
  data_ = sys::GlobalLock(memory_);
  if (data_ && count > 0) std::memcpy(data_, bytes.data(), std::size_t(count));
  sys::GlobalUnlock(memory_);
  if (!stream_) {
    sys::GlobalFree(memory_);
    memory_ = nullptr;
    data_ = nullptr;
  }
  return stream_;
}

void ImageStream::Close() {
  if (!stream_) return;
  stream_->Release();
  sys::GlobalFree(memory_);
  memory_ = nullptr;
  stream_ = nullptr;
}

SIZE_T ImageStream::Size() const { return memory_ ? sys::GlobalSize(memory_) : 0; }

IStream* ImageStream::GetStream() const { return stream_; }

HGLOBAL ImageStream::GetMemory() const { return memory_; }

bool ImageStream::Attach(IStream* stream) {
  Close();
  if (!stream) return false;
  stream_ = stream;
  HGLOBAL memory = nullptr;
  if (FAILED(sys::GetHGlobalFromStream(stream, &memory))) memory = nullptr;
  memory_ = memory;
  return memory_ != nullptr;
}

Bytes ImageStream::ToBytes() const { return GlobalMemoryBytes(memory_); }

Bytes GlobalMemoryBytes(HGLOBAL memory) {
  if (!memory) return Bytes();
  const void* data = sys::GlobalLock(memory);
  if (!data) return Bytes();
  Bytes bytes = Bytes::Copy(data, sys::GlobalSize(memory));
  sys::GlobalUnlock(memory);
  return bytes;
}

}  // namespace snipora
