#include "gdiplus/image_object.h"

#include <cstring>

namespace snipora {
namespace {

constexpr PROPID kFrameDelayProperty = 0x5100;

}  // namespace

ImageObject::ImageObject() : loadStream_(std::make_unique<ImageStream>()) {}

ImageObject::ImageObject(const ImageObject& other)
    : GdiplusObject(other), image_(other.image_), loadStream_(other.loadStream_->Clone()) {}

ImageObject::~ImageObject() { GdipDisposeImage(); }

std::unique_ptr<GdiplusObject> ImageObject::Clone() const {
  return std::unique_ptr<GdiplusObject>(new ImageObject(*this));
}

void ImageObject::OnNativeChanged(void* handle) { StoreImage(static_cast<GpImage*>(handle)); }

void ImageObject::StoreImage(GpImage* image) { image_ = image; }

bool ImageObject::GdipDisposeImage() {
  if (!image_) return false;
  const GpStatus status = flat::GdipDisposeImage(image_);
  SetNative(nullptr);
  // only now: GDI+ reads from the stream for as long as the image exists
  loadStream_->Close();
  return Succeeded(status);
}

bool ImageObject::FromStream(BytesView bytes, bool colourManagement) {
  ReleaseHandle();
  IStream* stream = loadStream_->Create(bytes);
  const auto& create = colourManagement ? flat::GdipCreateBitmapFromStreamICM : flat::GdipCreateBitmapFromStream;
  const bool ok = Succeeded(create(stream, &image_));
  SetNative(image_);
  return ok;
}

bool ImageObject::GdipCreateBitmapFromStream(BytesView bytes, bool colourManagement) {
  return FromStream(bytes, colourManagement);
}

bool ImageObject::GdipCreateBitmapFromStreamICM(BytesView bytes) { return FromStream(bytes, true); }

bool ImageObject::GdipCloneImage(GdiplusObject& target) {
  GpImage* copy = nullptr;
  if (!Succeeded(flat::GdipCloneImage(image_, &copy))) return false;
  target.SetNative(copy);
  return true;
}

bool ImageObject::GdipGetImageThumbnail(UINT width, UINT height, GdiplusObject& target) {
  GpImage* thumbnail = nullptr;
  if (!Succeeded(flat::GdipGetImageThumbnail(image_, width, height, &thumbnail, nullptr, nullptr))) return false;
  target.SetNative(thumbnail);
  return true;
}

bool ImageObject::GetFrameDelays(std::vector<int32_t>& delays) {
  UINT size = 0;
  if (!Succeeded(flat::GdipGetPropertyItemSize(image_, kFrameDelayProperty, &size)) || size < sizeof(PropertyItem))
    return false;
  std::vector<std::byte> record(size);
  if (!Succeeded(flat::GdipGetPropertyItem(image_, kFrameDelayProperty, size,
                                           reinterpret_cast<PropertyItem*>(record.data()))))
    return false;
  PropertyItem item;
  std::memcpy(&item, record.data(), sizeof item);
  std::size_t count = item.value ? item.length / 4 : 0;
  // GDI+ keeps the value inside the record: read no further than its end
  const auto* value = static_cast<const std::byte*>(item.value);
  const std::byte* end = record.data() + record.size();
  if (value >= record.data() && value < end) count = std::min<std::size_t>(count, std::size_t(end - value) / 4);
  delays.assign(count, 0);
  if (count > 0) flat::MoveMemoryBlock(delays.data(), item.value, count * 4);
  return true;
}

bool ImageObject::GdipCreateBitmapFromScan0(INT width, INT height, INT stride, INT format, BYTE* scan0) {
  ReleaseHandle();
  const bool ok = Succeeded(flat::GdipCreateBitmapFromScan0(width, height, stride, format, scan0, &image_));
  SetNative(image_);
  return ok;
}

bool ImageObject::GdipCreateBitmapFromScan0(INT width, INT height, INT format) {
  return GdipCreateBitmapFromScan0(width, height, 0, format, nullptr);
}

bool ImageObject::GdipCloneBitmapArea(float x, float y, float width, float height, INT format,
                                      GdiplusObject& target) {
  GpBitmap* copy = nullptr;
  if (!Succeeded(flat::GdipCloneBitmapArea(x, y, width, height, format, image_, &copy))) return false;
  target.SetNative(copy);
  return true;
}

bool ImageObject::GdipBitmapApplyEffect(EffectObject& effect, const RECT* regionOfInterest) {
  auto* handle = NativeOf<CGpEffect*>(effect);
  effect.FreeAuxData();
  RECT area = regionOfInterest ? *regionOfInterest : RECT{};
  void* auxData = nullptr;
  INT auxDataSize = 0;
  const bool ok = Succeeded(flat::GdipBitmapApplyEffect(image_, handle, regionOfInterest ? &area : nullptr, TRUE,
                                                        &auxData, &auxDataSize));
  effect.TakeAuxData(auxData, auxDataSize);
  return ok;
}

#define SNIPORA_IMAGE_OPERATION(...) SNIPORA_OPERATION_DEFINITION(ImageObject, image_, __VA_ARGS__)
SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(SNIPORA_IMAGE_OPERATION)

}  // namespace snipora
