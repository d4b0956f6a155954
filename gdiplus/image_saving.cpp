// The saving side of ImageObject: through the system's encoders, to a file
// or to a memory block, with or without encoder parameters.
#include "gdiplus/image_object.h"

namespace snipora {

GUID ImageObject::EncoderFor(std::optional<TextView> format) {
  const Text formatId = format ? ToText(*format) : GetRawFormat();
  return GuidFromText(FindEncoderClassId(formatId));
}

Text ImageObject::GetRawFormat() {
  GUID format{};
  Succeeded(flat::GdipGetImageRawFormat(image_, &format));
  return GuidToText(format);
}

bool ImageObject::SaveToFile(TextView fileName, std::optional<TextView> format,
                             const EncoderParameterList* parameters) {
  const GUID encoder = EncoderFor(format);
  const std::vector<std::byte> block = parameters ? BuildEncoderParameters(*parameters) : std::vector<std::byte>();
  const WideText name(fileName);
  return Succeeded(flat::GdipSaveImageToFile(image_, name.data(), &encoder, parameters ? block.data() : nullptr));
}

Bytes ImageObject::SaveToBytes(std::optional<TextView> format, const EncoderParameterList* parameters) {
  // an empty moveable block, which the stream grows as GDI+ writes
  auto target = std::make_unique<ImageStream>();
  target->Create(BytesView(nullptr));
  const GUID encoder = EncoderFor(format);
  const std::vector<std::byte> block = parameters ? BuildEncoderParameters(*parameters) : std::vector<std::byte>();
  // an encoder that failed part-way leaves a truncated image in the block:
  // what it wrote is no picture, so a failed save answers nothing
  if (!Succeeded(flat::GdipSaveImageToStream(image_, target->GetStream(), &encoder, parameters ? block.data() : nullptr)))
    return Bytes();
  return target->ToBytes();
}

bool ImageObject::SaveAdd(const EncoderParameterList& parameters) {
  const std::vector<std::byte> block = BuildEncoderParameters(parameters);
  return Succeeded(flat::GdipSaveAdd(image_, block.data()));
}

bool ImageObject::SaveAddImage(const GdiplusObject& image, const EncoderParameterList& parameters) {
  const std::vector<std::byte> block = BuildEncoderParameters(parameters);
  return Succeeded(flat::GdipSaveAddImage(image_, NativeOf<GpImage*>(image), block.data()));
}

bool ImageObject::GetEncoderParameterList(TextView format, EncoderParameterList& list) {
  const GUID encoder = EncoderFor(format);
  UINT size = 0;
  // Wine answers NotImplemented here, and its list function then ends the
  // process: never call it with a size GDI+ did not give
  if (!Succeeded(flat::GdipGetEncoderParameterListSize(image_, &encoder, &size))) return false;
  std::vector<std::byte> buffer(std::max<std::size_t>(size, kEncoderParametersHeader));
  if (!Succeeded(flat::GdipGetEncoderParameterList(image_, &encoder, size, buffer.data()))) return false;
  list = ReadEncoderParameters(buffer.data(), size);
  return true;
}

}  // namespace snipora
