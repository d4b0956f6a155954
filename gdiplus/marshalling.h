#pragma once
// How the object layer's operations hand their arguments to GDI+: record
// arrays through one contiguous buffer that is copied back after the call,
// texts as UTF-16, and what a getter answers.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "gdiplus/gdiplus_records.h"
#include "gdiplus/last_status.h"
#include "runtime/text.h"

namespace snipora {

template <class R>
using CoordinateOf = decltype(R::x);

// The caller's point or rectangle records, copied into one contiguous buffer
// (none at all for no records: GDI+ then gets null and a count of 0), and
// copied back into the caller's records when the buffer goes, whatever
// GDI+ did with them.
template <class R>
class RecordBuffer {
  static_assert(kIsGeometryRecord<R>, "points and rectangles only");

 public:
  explicit RecordBuffer(std::span<R> records) : records_(records), buffer_(records.begin(), records.end()) {}
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;
  ~RecordBuffer() { std::copy(buffer_.begin(), buffer_.end(), records_.begin()); }

  R* data() noexcept { return buffer_.empty() ? nullptr : buffer_.data(); }
  INT count() const noexcept { return static_cast<INT>(buffer_.size()); }

 private:
  std::span<R> records_;
  std::vector<R> buffer_;
};

// A GBK text converted for GDI+: always zero-terminated, with its length in
// UTF-16 units (lstrlenW of the buffer; 0 for the empty text).
class WideText {
 public:
  explicit WideText(TextView text);
  const wchar_t* data() const noexcept { return units_.data(); }
  INT length() const noexcept { return length_; }

 private:
  std::vector<wchar_t> units_;
  INT length_ = 0;
};

// A getter's answer: its status goes to LastStatus; a rectangle or size is
// zero-filled when the call failed, a value is whatever GDI+ left.
template <class T>
T GetterResult(GpStatus status, const T& value) {
  if (!Succeeded(status) && kIsGeometryRecord<T>) return T{};
  return value;
}

// Toward zero, as every float passed on as an integer is converted; outside
// the 32-bit range it saturates and NaN reads as 0, where a plain cast would
// be undefined.
int32_t TruncateToInt(float value) noexcept;

}  // namespace snipora
