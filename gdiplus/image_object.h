#pragma once
// ImageObject: a GDI+ image (bitmap) handle, and the ImageStream that backs
// an image made from bytes. Its operations follow the base ones and
// StoreImage in the order of its flat-function list: GdipDisposeImage
// (dispose) first, then creating and saving, description, frames,
// properties and palette, bitmaps and their pixels.
//
// The object holds one image at a time: every factory disposes the image it
// held (and closes the stream behind it) before it makes the next.
#include <memory>
#include <optional>
#include <vector>

#include "gdiplus/gdiplus_object.h"
#include "gdiplus/image_encoders.h"
#include "gdiplus/image_stream.h"
#include "gdiplus/object_operations.h"
#include "runtime/byte_set.h"

#define SNIPORA_HAND_GdipDisposeImage                                                              \
  /* false, and nothing called, when there is no image; closes the stream after the image */      \
  virtual bool GdipDisposeImage();
#define SNIPORA_HAND_GdipCreateBitmapFromStream                                                    \
  /* the image decoded from a copy of `bytes` in the object's own stream, which lives until  */   \
  /* the image is disposed; with colour management, through GdipCreateBitmapFromStreamICM    */   \
  virtual bool GdipCreateBitmapFromStream(BytesView bytes, bool colourManagement = false);
#define SNIPORA_HAND_GdipCreateBitmapFromStreamICM virtual bool GdipCreateBitmapFromStreamICM(BytesView bytes);
#define SNIPORA_HAND_GdipCloneImage                                                                \
  /* the copy goes to `target` through its SetNative; what it held is not disposed */             \
  virtual bool GdipCloneImage(GdiplusObject& target);
#define SNIPORA_HAND_GdipSaveImageToFile                                                           \
  /* without a format, the image's own raw format */                                               \
  virtual bool SaveToFile(TextView fileName, std::optional<TextView> format = std::nullopt,       \
                          const EncoderParameterList* parameters = nullptr);
#define SNIPORA_HAND_GdipSaveImageToStream                                                         \
  /* the whole memory block GDI+ wrote, whatever the save answered */                              \
  virtual Bytes SaveToBytes(std::optional<TextView> format = std::nullopt,                        \
                            const EncoderParameterList* parameters = nullptr);
#define SNIPORA_HAND_GdipSaveAdd virtual bool SaveAdd(const EncoderParameterList& parameters);
#define SNIPORA_HAND_GdipSaveAddImage                                                              \
  virtual bool SaveAddImage(const GdiplusObject& image, const EncoderParameterList& parameters);
#define SNIPORA_HAND_GdipGetEncoderParameterListSize                                               \
  /* false, and `list` left as it was, when GDI+ cannot size the list */                           \
  virtual bool GetEncoderParameterList(TextView format, EncoderParameterList& list);
#define SNIPORA_HAND_GdipGetEncoderParameterList
#define SNIPORA_HAND_GdipGetImageRawFormat virtual Text GetRawFormat();
#define SNIPORA_HAND_GdipGetImageThumbnail                                                         \
  virtual bool GdipGetImageThumbnail(UINT width, UINT height, GdiplusObject& target);
#define SNIPORA_HAND_GetFrameDelays                                                                \
  /* the frame delays of property 0x5100; false when the image has none */                        \
  virtual bool GetFrameDelays(std::vector<int32_t>& delays);
#define SNIPORA_HAND_GdipCreateBitmapFromScan0                                                     \
  virtual bool GdipCreateBitmapFromScan0(INT width, INT height, INT stride, INT format, BYTE* scan0); \
  /* an empty bitmap of GDI+'s own memory */                                                       \
  virtual bool GdipCreateBitmapFromScan0(INT width, INT height, INT format = kPixelFormat32bppArgb);
#define SNIPORA_HAND_GdipCloneBitmapArea                                                           \
  virtual bool GdipCloneBitmapArea(float x, float y, float width, float height, INT format,       \
                                   GdiplusObject& target);
#define SNIPORA_HAND_GdipBitmapApplyEffect                                                         \
  /* over the whole bitmap without a region of interest; the auxiliary data GDI+ answers */       \
  /* goes to the effect object, which frees what it held before                          */       \
  virtual bool GdipBitmapApplyEffect(EffectObject& effect, const RECT* regionOfInterest = nullptr);

namespace snipora {

class ImageObject : public GdiplusObject {
 public:
  ImageObject();
  ~ImageObject() override;  // runs GdipDisposeImage, then destroys the stream
  // Duplicates the stream record too: both name the same stream.
  [[nodiscard]] std::unique_ptr<GdiplusObject> Clone() const override;
  void OnNativeChanged(void* handle) override;  // through StoreImage
  virtual void StoreImage(GpImage* image);
  SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(SNIPORA_OPERATION_DECLARATION)

  GpImage* image() const noexcept { return image_; }
  const ImageStream& loadStream() const noexcept { return *loadStream_; }

 protected:
  ImageObject(const ImageObject& other);  // for Clone

 private:
  void ReleaseHandle() { GdipDisposeImage(); }
  bool FromStream(BytesView bytes, bool colourManagement);
  // The class id of the encoder for `format`, or for the image's own format.
  GUID EncoderFor(std::optional<TextView> format);

  GpImage* image_ = nullptr;
  std::unique_ptr<ImageStream> loadStream_;
};

}  // namespace snipora
