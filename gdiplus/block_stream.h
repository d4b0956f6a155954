#pragma once
// BlockStream: an OLE stream over global memory, either over a copy of a
// byte block (fixed memory the object owns) or empty and growing with each
// write (the stream owns its memory and frees it when released).
#include <windows.h>
#include <objidl.h>

#include <memory>

#include "runtime/byte_set.h"

namespace snipora {

class BlockStream {
 public:
  BlockStream() noexcept = default;
  BlockStream& operator=(const BlockStream&) = delete;

  virtual ~BlockStream();  // runs Free
  // A copy of the record, naming the same stream and memory: at most one of
  // the two may be freed or destroyed.
  [[nodiscard]] virtual std::unique_ptr<BlockStream> Clone() const;
  // Drops this object's reference to the stream and frees the memory it
  // owns. The memory of an empty stream belongs to the stream: it goes when
  // the stream's last reference does.
  virtual void Free();
  // fromBytes: a stream over a copy of `bytes`; otherwise an empty one.
  // Null when the memory or the stream could not be made.
  virtual IStream* Open(BytesView bytes, bool fromBytes);
  virtual IStream* GetStream() const;  // not add-referenced
  virtual SIZE_T Size() const;
  virtual Bytes ToBytes() const;  // the whole memory block

  // Hands the stream and its memory over to whoever keeps the stream alive
  // (an image GDI+ reads from): this object then forgets both.
  void Abandon() noexcept;

 protected:
  BlockStream(const BlockStream&) = default;  // for Clone

 private:
  HGLOBAL memory_ = nullptr;
  IStream* stream_ = nullptr;
  bool ownsMemory_ = false;
};

}  // namespace snipora
