#pragma once
// Owners for the GDI, USER, global-memory and COM objects the runtime
// creates. Each closes its object when it goes and never changes GetLastError.
#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace snipora {

template <class Handle, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }
  [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, nullptr); }
  void reset(Handle handle = nullptr) noexcept {
    if (handle_) {
      const DWORD error = GetLastError();
      Close(handle_);
      SetLastError(error);
    }
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

using UniqueBitmap = UniqueHandle<HBITMAP, &DeleteObject>;
using UniqueDC = UniqueHandle<HDC, &DeleteDC>;
using UniqueIcon = UniqueHandle<HICON, &DestroyIcon>;
using UniqueGlobal = UniqueHandle<HGLOBAL, &GlobalFree>;
// A kernel object; a file that failed to open is INVALID_HANDLE_VALUE, not null.
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;

// Keeps one object selected into a device context for a scope, then puts the
// previous one back. `Select` selects: SelectObject, or a late-bound stand-in
// for it where every system call is late-bound (the skin).
template <auto Select>
class BasicScopedSelection {
 public:
  BasicScopedSelection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(Select(dc, object)) {}
  BasicScopedSelection(const BasicScopedSelection&) = delete;
  BasicScopedSelection& operator=(const BasicScopedSelection&) = delete;
  ~BasicScopedSelection() {
    if (ok()) Select(dc_, previous_);
  }
  bool ok() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
using ScopedSelection = BasicScopedSelection<&SelectObject>;

// One reference to a COM object.
template <class Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  Interface* get() const noexcept { return pointer_; }
  Interface* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }
  // For functions that hand out a new reference; drops the current one first.
  Interface** put() noexcept {
    reset();
    return &pointer_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  void reset() noexcept {
    if (pointer_) std::exchange(pointer_, nullptr)->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace snipora
