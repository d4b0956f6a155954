// The system's encoders and saving: the encoder list as Wine reports it,
// GUIDs as text, saving to bytes and files and decoding back, and the
// encoder-parameter blocks in both directions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gdiplus/image_encoders.h"
#include "gdiplus/image_object.h"
#include "gdiplus/last_status.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/gdiplus/gdiplus_test_objects.h"
#include "tests/runtime/picture/sample_pictures.h"

namespace snipora {
namespace {

using flat::FlatFunction;
using test::ScopedStandIn;

constexpr char kPngFormat[] = "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}";
constexpr char kPngEncoder[] = "{557CF406-1A04-11D3-9A73-0000F81EF32E}";
constexpr char kQuality[] = "{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}";

class Encoders : public ::testing::Test {
 protected:
  test::GdiplusSession gdiplus_;
};

std::string Str(const Text& text) { return text.c_str(); }

TEST_F(Encoders, WineReportsFiveWithTheirFormatAndClassIds) {
  std::vector<EncoderRecord> encoders;
  ASSERT_EQ(GetImageEncoders(encoders), 5);
  ASSERT_EQ(encoders.size(), 5u);
  std::set<std::tuple<std::string, std::string, std::string>> seen;
  for (const EncoderRecord& e : encoders) {
    seen.insert({Str(e.mimeType), Str(e.formatId), Str(e.classId)});
    EXPECT_EQ(e.flags, 0x10007) << Str(e.mimeType);
    EXPECT_TRUE(e.libraryName.empty());  // Wine has no DLL name for them
    EXPECT_GT(e.signatureCount, 0);
    EXPECT_EQ(e.signaturePatterns.size(), e.signatureCount * e.signatureSize);
    EXPECT_EQ(e.signatureMasks.size(), e.signatureCount * e.signatureSize);
    if (Str(e.mimeType) == "image/png") {
      ASSERT_GE(e.signaturePatterns.size(), 4);
      EXPECT_EQ(std::memcmp(e.signaturePatterns.data(), "\x89PNG", 4), 0);
      EXPECT_EQ(Str(e.filenameExtensions), "*.PNG");
    }
  }
  const std::set<std::tuple<std::string, std::string, std::string>> expected = {
      {"image/bmp", "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}", "{557CF400-1A04-11D3-9A73-0000F81EF32E}"},
      {"image/jpeg", "{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}", "{557CF401-1A04-11D3-9A73-0000F81EF32E}"},
      {"image/gif", "{B96B3CB0-0728-11D3-9D7B-0000F81EF32E}", "{557CF402-1A04-11D3-9A73-0000F81EF32E}"},
      {"image/tiff", "{B96B3CB1-0728-11D3-9D7B-0000F81EF32E}", "{557CF405-1A04-11D3-9A73-0000F81EF32E}"},
      {"image/png", kPngFormat, kPngEncoder},
  };
  EXPECT_EQ(seen, expected);
  // the same array again: replaced, not appended to
  EXPECT_EQ(GetImageEncoders(encoders), 5);
  EXPECT_EQ(encoders.size(), 5u);
}

TEST_F(Encoders, GuidsAsTextBothWays) {
  const Bytes guid = TextToGuid(kPngFormat);
  ASSERT_EQ(guid.size(), 16);
  EXPECT_EQ(Str(GuidToText(guid)), kPngFormat);
  EXPECT_EQ(Str(FindEncoderClassId(kPngFormat)), kPngEncoder);
  const Bytes none = TextToGuid("PNG");
  ASSERT_EQ(none.size(), 16);
  EXPECT_EQ(Str(GuidToText(none)), "{00000000-0000-0000-0000-000000000000}");
}

test::Pixels Sample() {
  test::Pixels pixels{4, 3, {}};
  for (int i = 0; i < 12; ++i) pixels.argb.push_back(0xFF000000u | uint32_t(i * 0x151A23));
  pixels.argb[5] = 0x80FF8000;  // a translucent one survives too
  return pixels;
}

TEST_F(Encoders, APngSavedToBytesDecodesBackPixelEqual) {
  ImageObject image;
  ASSERT_TRUE(image.GdipCreateBitmapFromStream(test::AsBytes(test::PngFile(Sample()))));
  EXPECT_EQ(Str(image.GetRawFormat()), kPngFormat);
  const Bytes saved = image.SaveToBytes(kPngFormat);
  EXPECT_EQ(LastStatus(), kGdiplusOk);
  ASSERT_GT(saved.size(), 8);
  EXPECT_EQ(std::memcmp(saved.data(), "\x89PNG\r\n\x1A\n", 8), 0);

  ImageObject back;
  ASSERT_TRUE(back.GdipCreateBitmapFromStream(saved));
  EXPECT_EQ(Str(back.GetRawFormat()), kPngFormat);
  EXPECT_EQ(test::LockedPixels(back), test::LockedPixels(image));
}

std::string TempFile(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

TEST_F(Encoders, SavingToAFileWithoutAFormatKeepsTheImagesOwn) {
  ImageObject image;
  ASSERT_TRUE(image.GdipCreateBitmapFromStream(test::AsBytes(test::PngFile(Sample()))));
  const std::string file = TempFile("复制图片.png");  // the name reaches GDI+ as UTF-16
  DeleteFileA(file.c_str());
  ASSERT_TRUE(image.SaveToFile(file.c_str()));
  {
    ImageObject back;
    ASSERT_TRUE(back.GdipCreateBitmapFromFile(file.c_str()));
    EXPECT_EQ(Str(back.GetRawFormat()), kPngFormat);
    EXPECT_EQ(test::LockedPixels(back), test::LockedPixels(image));
  }
  EXPECT_TRUE(DeleteFileA(file.c_str()));
}

TEST_F(Encoders, ALowerCaseFormatFindsNoEncoderAndTheSaveFails) {
  std::string lower = kPngFormat;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(FindEncoderClassId(lower.c_str()).empty());
  ImageObject image;
  ASSERT_TRUE(image.GdipCreateBitmapFromScan0(2, 2));
  const std::string file = TempFile("snipora-lower.png");
  DeleteFileA(file.c_str());
  EXPECT_FALSE(image.SaveToFile(file.c_str(), lower.c_str()));
  EXPECT_NE(LastStatus(), kGdiplusOk);
  DeleteFileA(file.c_str());  // Wine opens the file before it looks for the encoder
  EXPECT_TRUE(image.SaveToBytes(lower.c_str()).empty());
}

EncoderParameterEntry EntryAt(const std::vector<std::byte>& block, std::size_t i) {
  EncoderParameterEntry entry;
  std::memcpy(&entry, block.data() + kEncoderParametersHeader + i * sizeof entry, sizeof entry);
  return entry;
}
UINT CountOf(const void* block) {
  UINT count;
  std::memcpy(&count, block, sizeof count);
  return count;
}

TEST(EncoderParameters, ABlockHoldsItsCountAndOneEntryPerParameter) {
  const std::vector<std::byte> empty = BuildEncoderParameters(EncoderParameterList{});
#if defined(__i386__)
  EXPECT_EQ(empty.size(), 4u);
#endif
  ASSERT_EQ(empty.size(), kEncoderParametersHeader);
  EXPECT_EQ(CountOf(empty.data()), 0u);

  EncoderParameterList list;
  list.count = 2;
  const int32_t quality = 75;
  list.parameters.push_back({ToText(kQuality), 1, 4, Bytes::Copy(&quality, 4)});
  list.parameters.push_back({ToText(kPngFormat), 3, 1, Bytes::Copy("abc", 3)});
  const std::vector<std::byte> block = BuildEncoderParameters(list);
  ASSERT_EQ(block.size(), kEncoderParametersHeader + 2 * sizeof(EncoderParameterEntry));
  EXPECT_EQ(CountOf(block.data()), 2u);
  const EncoderParameterEntry first = EntryAt(block, 0), second = EntryAt(block, 1);
  EXPECT_EQ(Str(GuidToText(first.guid)), kQuality);
  EXPECT_EQ(first.numberOfValues, 1u);
  EXPECT_EQ(first.type, 4u);
  EXPECT_EQ(first.values, list.parameters[0].values.data());  // the caller's bytes, not a copy
  EXPECT_EQ(Str(GuidToText(second.guid)), kPngFormat);
  EXPECT_EQ(second.numberOfValues, 3u);
}

TEST(EncoderParameters, ACountOrNumberBeyondWhatIsThereIsCutToIt) {
  EncoderParameterList list;
  list.count = 5;  // but one parameter
  const int32_t one = 1;
  list.parameters.push_back({ToText(kQuality), 10, 4, Bytes::Copy(&one, 4)});  // ten longs in four bytes
  const std::vector<std::byte> block = BuildEncoderParameters(list);
  ASSERT_EQ(block.size(), kEncoderParametersHeader + sizeof(EncoderParameterEntry));
  EXPECT_EQ(CountOf(block.data()), 1u);
  EXPECT_EQ(EntryAt(block, 0).numberOfValues, 1u);
}

struct SeenSave {
  UINT count = 99;
  std::vector<EncoderParameterEntry> entries;
  GUID encoder{};
} seenSave;
GpStatus WINAPI SeeSave(GpImage*, IStream* stream, const CLSID* encoder, const void* block) {
  seenSave = {};
  seenSave.encoder = *encoder;
  if (block) {
    seenSave.count = CountOf(block);
    for (UINT i = 0; i < seenSave.count; ++i) {
      EncoderParameterEntry entry;
      std::memcpy(&entry, static_cast<const std::byte*>(block) + kEncoderParametersHeader + i * sizeof entry,
                  sizeof entry);
      seenSave.entries.push_back(entry);
    }
  }
  ULONG written = 0;
  return stream->Write("saved", 5, &written) == S_OK ? kGdiplusOk : 7;
}

TEST_F(Encoders, SavingToBytesPassesTheParametersAndAnswersWhatWasWritten) {
  ScopedStandIn save(FlatFunction::GdipSaveImageToStream, &SeeSave);
  ImageObject image;
  EncoderParameterList list;
  list.count = 1;
  const int32_t quality = 30;
  list.parameters.push_back({ToText(kQuality), 1, 4, Bytes::Copy(&quality, 4)});
  const Bytes saved = image.SaveToBytes("{557CF401-1A04-11D3-9A73-0000F81EF32E}", &list);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data()), std::size_t(saved.size())), "saved");
  ASSERT_EQ(seenSave.count, 1u);
  EXPECT_EQ(Str(GuidToText(seenSave.entries[0].guid)), kQuality);
  int32_t value = 0;
  std::memcpy(&value, seenSave.entries[0].values, 4);
  EXPECT_EQ(value, 30);
  // that is a class id, not a format id: no encoder has it
  EXPECT_EQ(seenSave.encoder, GUID{});

  image.SaveToBytes(kPngFormat);
  EXPECT_EQ(seenSave.count, 99u);  // no list, no block
  EXPECT_EQ(Str(GuidToText(seenSave.encoder)), kPngEncoder);
}

GpStatus WINAPI FailPartWay(GpImage*, IStream* stream, const CLSID*, const void*) {
  ULONG written = 0;
  stream->Write("\x89PNG", 4, &written);
  return 7;  // the disk, the memory or the encoder gave out after the first bytes
}

TEST_F(Encoders, ASaveThatFailsPartWayAnswersNoBytesAndItsStatus) {
  ScopedStandIn save(FlatFunction::GdipSaveImageToStream, &FailPartWay);
  ImageObject image;
  EXPECT_TRUE(image.SaveToBytes(kPngFormat).empty());
  EXPECT_EQ(LastStatus(), 7);
}

int listCalls = 0;
UINT listSizeGiven = 0;
GpStatus WINAPI CountListCall(GpImage*, const CLSID*, UINT size, void*) {
  ++listCalls;
  listSizeGiven = size;
  return 7;
}

TEST_F(Encoders, WineCannotSizeTheParameterListSoTheListIsNeverAskedFor) {
  listCalls = 0;
  // the real size function, which Wine leaves unimplemented; the list
  // function would end the process, so a counting stand-in takes its place
  ScopedStandIn list(FlatFunction::GdipGetEncoderParameterList, &CountListCall);
  ImageObject image;
  ASSERT_TRUE(image.GdipCreateBitmapFromScan0(2, 2));
  EncoderParameterList parameters;
  parameters.count = 1;
  parameters.parameters.resize(1);
  EXPECT_FALSE(image.GetEncoderParameterList(kPngFormat, parameters));
  EXPECT_EQ(LastStatus(), 6);  // NotImplemented
  EXPECT_EQ(listCalls, 0);
  EXPECT_EQ(parameters.parameters.size(), 1u);  // left as it was
}

// A list of two parameters as GDI+ lays it out, values after the entries.
struct KnownList {
  UINT count;
  EncoderParameterEntry entries[2];
  int32_t quality;
  int32_t range[4];
};
constexpr UINT kKnownSize = sizeof(KnownList);

GpStatus WINAPI SizeKnownList(GpImage*, const CLSID*, UINT* size) {
  *size = kKnownSize;
  return kGdiplusOk;
}
GpStatus WINAPI FillKnownList(GpImage*, const CLSID*, UINT size, void* buffer) {
  ++listCalls;
  listSizeGiven = size;
  auto* list = static_cast<KnownList*>(buffer);
  list->count = 2;
  list->quality = 90;
  list->entries[0] = {GuidFromText(kQuality), 1, 4, &list->quality};
  const int32_t range[4] = {1, 2, 3, 4};
  std::memcpy(list->range, range, sizeof range);
  list->entries[1] = {GuidFromText(kPngFormat), 2, 6, list->range};
  return kGdiplusOk;
}

TEST_F(Encoders, AParameterListIsReadBackEntryByEntryWithItsValues) {
  listCalls = 0;
  ScopedStandIn size(FlatFunction::GdipGetEncoderParameterListSize, &SizeKnownList);
  ScopedStandIn fill(FlatFunction::GdipGetEncoderParameterList, &FillKnownList);
  ImageObject image;
  EncoderParameterList list;
  ASSERT_TRUE(image.GetEncoderParameterList(kPngFormat, list));
  EXPECT_EQ(listCalls, 1);
  EXPECT_EQ(listSizeGiven, kKnownSize);
  EXPECT_EQ(list.count, 2);
  ASSERT_EQ(list.parameters.size(), 2u);
  EXPECT_EQ(Str(list.parameters[0].guid), kQuality);
  EXPECT_EQ(list.parameters[0].numberOfValues, 1);
  EXPECT_EQ(list.parameters[0].type, 4);
  ASSERT_EQ(list.parameters[0].values.size(), 4);
  int32_t quality = 0;
  std::memcpy(&quality, list.parameters[0].values.data(), 4);
  EXPECT_EQ(quality, 90);
  EXPECT_EQ(list.parameters[1].type, 6);
  EXPECT_EQ(list.parameters[1].values.size(), 16);  // two long ranges of eight bytes
}

}  // namespace
}  // namespace snipora
