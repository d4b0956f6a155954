#include "runtime/picture/ole_picture.h"

#include <ole2.h>
#include <olectl.h>

#include <cstring>

#include "runtime/picture/alpha_capture.h"
#include "runtime/picture/picture_limits.h"
#include "runtime/system_functions.h"
#include "runtime/win_handles.h"

namespace snipora {
namespace {

// The loader needs COM on this thread (some platforms decode GIFs through
// COM components). Joins whatever apartment the thread already has and
// leaves it as it found it.
class ComOnThisThread {
 public:
  ComOnThisThread() noexcept : result_(sys::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComOnThisThread(const ComOnThisThread&) = delete;
  ComOnThisThread& operator=(const ComOnThisThread&) = delete;
  ~ComOnThisThread() {
    if (SUCCEEDED(result_)) sys::CoUninitialize();
  }

 private:
  HRESULT result_;
};

// A moveable global block holding a copy of the file, as a memory stream wants.
UniqueGlobal CopyToGlobal(std::span<const uint8_t> file) {
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, file.size()));
  if (!block) return block;
  void* bytes = GlobalLock(block.get());
  if (!bytes) return UniqueGlobal();
  std::memcpy(bytes, file.data(), file.size());
  GlobalUnlock(block.get());
  return block;
}

}  // namespace

std::optional<Picture> LoadOlePicture(std::span<const uint8_t> file) {
  const ComOnThisThread com;
  // declared before the stream so that the stream lets go of it first
  const UniqueGlobal block = CopyToGlobal(file);
  if (!block) return std::nullopt;
  ComPtr<IStream> stream;
  if (FAILED(sys::CreateStreamOnHGlobal(block.get(), FALSE, stream.put()))) return std::nullopt;
  ComPtr<IPicture> picture;
  if (FAILED(sys::OleLoadPicture(stream.get(), static_cast<LONG>(file.size()), FALSE, &IID_IPicture,
                            picture.put_void())))
    return std::nullopt;

  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle)))
    return std::nullopt;
  // the picture keeps ownership of its bitmap
  BITMAP info{};
  if (!GetObject(reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(static_cast<INT>(handle))), sizeof info,
                 &info))
    return std::nullopt;
  OLE_XSIZE_HIMETRIC extentX = 0;
  OLE_YSIZE_HIMETRIC extentY = 0;
  if (FAILED(picture->get_Width(&extentX)) || FAILED(picture->get_Height(&extentY))) return std::nullopt;
  if (!PictureSizeAllowed(info.bmWidth, info.bmHeight)) return std::nullopt;

  const int32_t width = info.bmWidth;
  const int32_t height = info.bmHeight;
  return CaptureWithAlpha(width, height, [&](HDC dc) {
    // the source rectangle is in HIMETRIC units, counted from the bottom
    return SUCCEEDED(picture->Render(dc, 0, 0, width, height, 0, extentY, extentX, -extentY, nullptr));
  });
}

}  // namespace snipora
