#include "gdiplus/image_encoders.h"

#include <algorithm>
#include <cstring>

#include "gdiplus/flat_functions.h"
#include "gdiplus/last_status.h"
#include "gdiplus/marshalling.h"
#include "runtime/system_functions.h"

namespace snipora {
namespace {

// GDI+'s ImageCodecInfo, 76 bytes on 32-bit Windows.
struct CodecInfo {
  GUID classId;
  GUID formatId;
  const wchar_t* codecName;
  const wchar_t* dllName;
  const wchar_t* formatDescription;
  const wchar_t* filenameExtension;
  const wchar_t* mimeType;
  DWORD flags;
  DWORD version;
  DWORD signatureCount;
  DWORD signatureSize;
  const BYTE* signaturePattern;
  const BYTE* signatureMask;
};
#if defined(__i386__)
static_assert(sizeof(CodecInfo) == 76);
#endif

// A UTF-16 text in the OEM code page; the empty text for none.
Text OemText(const wchar_t* text) {
  if (!text) return Text();
  const int bytes = flat::WideCharToMultiByte(CP_OEMCP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return Text();
  std::vector<char> buffer(static_cast<std::size_t>(bytes), '\0');
  flat::WideCharToMultiByte(CP_OEMCP, 0, text, -1, buffer.data(), bytes, nullptr, nullptr);
  return TextFromBytes(buffer.data(), std::strlen(buffer.data()));
}

Bytes SignatureBytes(const BYTE* data, DWORD count, DWORD size) {
  if (!data) return Bytes();
  return Bytes::Copy(data, std::size_t(count) * size);
}

}  // namespace

int32_t GetImageEncoders(std::vector<EncoderRecord>& encoders) {
  UINT count = 0, size = 0;
  if (!Succeeded(flat::GdipGetImageEncodersSize(&count, &size))) return 0;
  // a record that would lie past the buffer is not read
  count = std::min<UINT>(count, size / sizeof(CodecInfo));
  std::vector<EncoderRecord> records(count);
  std::vector<std::byte> buffer(std::max<UINT>(size, 1));
  if (count > 0) Succeeded(flat::GdipGetImageEncoders(count, size, buffer.data()));
  for (UINT i = 0; i < count; ++i) {
    CodecInfo info;
    std::memcpy(&info, buffer.data() + i * sizeof(CodecInfo), sizeof info);
    EncoderRecord& record = records[i];
    record.classId = GuidToText(info.classId);
    record.formatId = GuidToText(info.formatId);
    record.codecName = OemText(info.codecName);
    record.libraryName = OemText(info.dllName);
    record.formatDescription = OemText(info.formatDescription);
    record.filenameExtensions = OemText(info.filenameExtension);
    record.mimeType = OemText(info.mimeType);
    record.flags = static_cast<int32_t>(info.flags);
    record.version = static_cast<int32_t>(info.version);
    record.signatureCount = static_cast<int32_t>(info.signatureCount);
    record.signatureSize = static_cast<int32_t>(info.signatureSize);
    record.signaturePatterns = SignatureBytes(info.signaturePattern, info.signatureCount, info.signatureSize);
    record.signatureMasks = SignatureBytes(info.signatureMask, info.signatureCount, info.signatureSize);
  }
  encoders = std::move(records);
  return static_cast<int32_t>(count);
}

Text FindEncoderClassId(TextView formatId) {
  std::vector<EncoderRecord> encoders;
  GetImageEncoders(encoders);
  for (const EncoderRecord& encoder : encoders)
    if (std::strcmp(encoder.formatId.c_str(), formatId.c_str()) == 0) return ToText(encoder.classId);
  return Text();
}

Text GuidToText(const GUID& guid) {
  wchar_t text[39] = {};  // 38 characters and the terminator: 78 bytes
  flat::StringFromGUID2(&guid, text, 39);
  return OemText(text);
}

Text GuidToText(BytesView guid) {
  GUID value{};
  std::memcpy(&value, guid.data(), std::min<std::size_t>(sizeof value, std::size_t(guid.size())));
  return GuidToText(value);
}

GUID GuidFromText(TextView text) {
  GUID guid{};
  const WideText wide(text);
  // a text that is not a GUID must read as the null GUID, whatever the
  // failed call left behind
  if (FAILED(sys::CLSIDFromString(wide.data(), &guid))) guid = GUID{};
  return guid;
}

Bytes TextToGuid(TextView text) {
  const GUID guid = GuidFromText(text);
  return Bytes::Copy(&guid, sizeof guid);
}

int32_t EncoderValueSize(int32_t type) {
  switch (type) {
    case 1:  // byte
    case 2:  // ASCII
    case 7:  // undefined
      return 1;
    case 3:  // short
      return 2;
    case 4:  // long
      return 4;
    case 5:  // rational
    case 6:  // long range
      return 8;
    case 8:  // rational range
      return 16;
    default:
      return 0;
  }
}

std::vector<std::byte> BuildEncoderParameters(const EncoderParameterList& list) {
  const std::size_t entries = std::clamp<std::size_t>(std::size_t(std::max(list.count, 0)), 0, list.parameters.size());
  std::vector<std::byte> block(kEncoderParametersHeader + entries * sizeof(EncoderParameterEntry));
  const UINT count = static_cast<UINT>(entries);
  std::memcpy(block.data(), &count, sizeof count);
  for (std::size_t i = 0; i < entries; ++i) {
    const EncoderParameter& parameter = list.parameters[i];
    EncoderParameterEntry entry{};
    entry.guid = GuidFromText(parameter.guid);
    entry.type = static_cast<ULONG>(parameter.type);
    int32_t values = std::max(parameter.numberOfValues, 0);
    if (const int32_t size = EncoderValueSize(parameter.type)) values = std::min(values, parameter.values.size() / size);
    entry.numberOfValues = static_cast<ULONG>(values);
    entry.values = parameter.values.data();
    std::memcpy(block.data() + kEncoderParametersHeader + i * sizeof entry, &entry, sizeof entry);
  }
  return block;
}

EncoderParameterList ReadEncoderParameters(const std::byte* block, std::size_t size) {
  EncoderParameterList list;
  if (!block || size < kEncoderParametersHeader) return list;
  UINT count = 0;
  std::memcpy(&count, block, sizeof count);
  count = std::min<UINT>(count, (size - kEncoderParametersHeader) / sizeof(EncoderParameterEntry));
  const std::byte* end = block + size;
  for (UINT i = 0; i < count; ++i) {
    EncoderParameterEntry entry;
    std::memcpy(&entry, block + kEncoderParametersHeader + i * sizeof entry, sizeof entry);
    EncoderParameter parameter;
    parameter.guid = GuidToText(entry.guid);
    parameter.numberOfValues = static_cast<int32_t>(entry.numberOfValues);
    parameter.type = static_cast<int32_t>(entry.type);
    std::size_t bytes = std::size_t(entry.numberOfValues) * std::size_t(EncoderValueSize(parameter.type));
    const auto* values = static_cast<const std::byte*>(entry.values);
    // values GDI+ keeps inside the block are read no further than its end
    if (values >= block && values < end) bytes = std::min<std::size_t>(bytes, std::size_t(end - values));
    if (values && bytes > 0) parameter.values = Bytes::Copy(values, bytes);
    list.parameters.push_back(std::move(parameter));
  }
  list.count = static_cast<int32_t>(list.parameters.size());
  return list;
}

}  // namespace snipora
