#pragma once
// The system's image encoders and the records that describe saving. GUIDs
// cross this interface as text in the braced form StringFromGUID2 writes
// ({6AEDBD6D-3FB5-418A-83A6-7F45229DC872}); an image format is named by its
// format GUID.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/byte_set.h"
#include "runtime/text.h"

namespace snipora {

// One installed encoder.
struct EncoderRecord {
  Text classId;
  Text formatId;
  Text codecName;
  Text libraryName;
  Text formatDescription;
  Text filenameExtensions;
  Text mimeType;
  int32_t flags = 0;
  int32_t version = 0;
  int32_t signatureCount = 0;
  int32_t signatureSize = 0;
  Bytes signaturePatterns;  // signature count x size bytes
  Bytes signatureMasks;
};

// Replaces `encoders` by one record per installed encoder and answers their
// count; 0, with `encoders` left as it was, when GDI+ cannot list them.
int32_t GetImageEncoders(std::vector<EncoderRecord>& encoders);

// The class id of the first encoder whose format id is exactly `formatId`
// (so upper case); the empty text when none is.
Text FindEncoderClassId(TextView formatId);

// The first 16 bytes of `guid` (zeros where it is shorter) as text.
Text GuidToText(BytesView guid);
Text GuidToText(const GUID& guid);
// Always a 16-byte block: the null GUID for a text that names none.
Bytes TextToGuid(TextView text);
GUID GuidFromText(TextView text);

// Saving parameters: a parameter's GUID, its number of values, its value
// type (GDI+'s EncoderParameterValueType) and the values' bytes.
struct EncoderParameter {
  Text guid;
  int32_t numberOfValues = 0;
  int32_t type = 0;
  Bytes values;
};
struct EncoderParameterList {
  int32_t count = 0;  // callers keep it equal to parameters.size()
  std::vector<EncoderParameter> parameters;
};

// Bytes per value of a parameter type; 0 for a type GDI+ does not list.
int32_t EncoderValueSize(int32_t type);

// GDI+'s layout of an encoder parameter (28 bytes on 32-bit Windows) and of
// the block of them that saving takes.
struct EncoderParameterEntry {
  GUID guid;
  ULONG numberOfValues;
  ULONG type;
  void* values;
};
struct EncoderParametersBlock {
  UINT count;
  EncoderParameterEntry parameters[1];
};
inline constexpr std::size_t kEncoderParametersHeader = offsetof(EncoderParametersBlock, parameters);
#if defined(__i386__)
static_assert(sizeof(EncoderParameterEntry) == 28 && kEncoderParametersHeader == 4);
#endif

// The block built from a list, pointing into the list's value bytes, which
// must stay unchanged until the save has returned. A count that exceeds the
// entries, or a number of values that exceeds a parameter's bytes, is cut
// down to what is there: GDI+ would read past the block.
std::vector<std::byte> BuildEncoderParameters(const EncoderParameterList& list);

// The list read back from a block GDI+ filled, `size` bytes long.
EncoderParameterList ReadEncoderParameters(const std::byte* block, std::size_t size);

}  // namespace snipora
