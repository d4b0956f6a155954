#pragma once
// ImageStream: a byte block copied into moveable global memory with an OLE
// stream over it, from which GDI+ decodes an image. The object owns the
// memory and one reference to the stream; the stream does not delete the
// memory on release, so Close frees it.
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "runtime/byte_set.h"

namespace snipora {

class ImageStream {
 public:
  ImageStream() noexcept = default;
  ImageStream& operator=(const ImageStream&) = delete;

  virtual ~ImageStream();  // runs Close
  // A copy of the record: both then name the same stream and memory, so at
  // most one of the two may be closed or destroyed.
  [[nodiscard]] virtual std::unique_ptr<ImageStream> Clone() const;
  // Closes first, then copies `length` bytes (the whole block when absent;
  // never more than it holds) into new memory. Null when that failed.
  virtual IStream* Create(BytesView bytes, std::optional<int32_t> length = std::nullopt);
  virtual void Close();
  virtual SIZE_T Size() const;
  virtual IStream* GetStream() const;  // not add-referenced
  virtual HGLOBAL GetMemory() const;
  // Closes first, then takes over the caller's reference to `stream` and the
  // memory under it; true when the stream gave its memory. The stream must
  // not delete its memory on release: Close frees it.
  virtual bool Attach(IStream* stream);
  // The whole memory block, as a new byte set.
  virtual Bytes ToBytes() const;

 protected:
  ImageStream(const ImageStream&) = default;  // for Clone

 private:
  HGLOBAL memory_ = nullptr;
  void* data_ = nullptr;  // the address the last lock gave
  IStream* stream_ = nullptr;
};

// The whole of a global memory block, as a new byte set; empty when it
// cannot be locked.
Bytes GlobalMemoryBytes(HGLOBAL memory);

}  // namespace snipora
