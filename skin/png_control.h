#pragma once
// PngControl: the object through which callers address a PNG control, a
// child window the skin has taken over so that it is painted from PNG images
// over a copy of what its parent painted beneath it. The object holds only
// the window handle; the window's state is in its properties, so copies and
// any number of objects address the same control, and destroying an object
// leaves the window as it is.
//
// Its table of virtual operations is in this order: destroy, copy, Attach,
// GetHandle, SetProp, GetProp, SendMsg, SetToolTip, Move, GetHandle (again),
// IsAlive, Redraw, SendMsg (again), CreatePictureBox, AttachPictureBox,
// SetBackImage, LoadImageBytes, SetBackType.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "runtime/byte_set.h"
#include "runtime/gdiplus_handles.h"
#include "runtime/text.h"

namespace snipora {

struct MoveArguments {
  std::optional<int32_t> left, top, width, height;
  bool noRedraw = false;
};

class PngControl {
 public:
  PngControl() noexcept = default;
  PngControl& operator=(const PngControl&) = delete;

  virtual ~PngControl() = default;  // nothing of the window's to release
  [[nodiscard]] virtual std::unique_ptr<PngControl> Clone() const;
  // Takes over `window`'s styles and its parent (subclassed once, unless the
  // parent is a PNG control itself); false, changing nothing, for a handle
  // that is no window. The kind-specific attach subclasses the control.
  virtual bool Attach(HWND window);
  virtual HWND GetHandle() const;
  virtual BOOL SetProp(TextView name, intptr_t value) const;
  virtual intptr_t GetProp(TextView name) const;  // 0 when absent
  virtual LRESULT SendMsg(UINT message, WPARAM wParam, LPARAM lParam) const;
  // One shared tooltip window; the first call registers the control, later
  // ones replace the text. `atCursor` false centres the tip under the control.
  virtual void SetToolTip(TextView text, std::optional<int32_t> atCursor = std::nullopt) const;
  // Omitted values keep the current position or size (parent coordinates).
  virtual void Move(const MoveArguments& to) const;
  virtual HWND GetHandle2() const;  // the table's second GetHandle entry, the same operation
  virtual bool IsAlive() const;
  virtual void Redraw() const;
  virtual LRESULT SendMsg2(UINT message, WPARAM wParam, LPARAM lParam) const;  // the second SendMsg entry
  // A new "Static" child made a picture box; 0 when it cannot be made.
  virtual HWND CreatePictureBox(HWND parent, int32_t left, int32_t top, int32_t width, int32_t height);
  // Makes `window` a picture box; false for a handle that is no window.
  virtual bool AttachPictureBox(HWND window, GpImage* image = nullptr);
  // The image stays the caller's; the picture box repaints over a fresh
  // background.
  virtual void SetBackImage(GpImage* image) const;
  // Decodes an image file (PNG) and makes it the picture; a block that does
  // not decode leaves the background alone showing. The image lives until
  // the process ends.
  virtual void LoadImageBytes(BytesView bytes) const;
  // 0 natural size, 1 stretched, 2 shrunk to fit and centred; shows at the
  // next paint.
  virtual void SetBackType(int32_t type) const;

 protected:
  PngControl(const PngControl&) = default;  // for Clone

 private:
  HWND handle_ = nullptr;
};

}  // namespace snipora
