// Streams over global memory and images decoded from byte blocks.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>

#include "gdiplus/block_stream.h"
#include "gdiplus/image_from_bytes.h"
#include "gdiplus/image_stream.h"
#include "runtime/system_functions.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/runtime/picture/sample_pictures.h"
#include "tests/support/process_memory.h"

using namespace snipora;
using snipora::test::AsBytes;
using snipora::test::Pixels;

namespace {

Bytes Sample(int n) {
  std::vector<uint8_t> bytes(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) bytes[std::size_t(i)] = uint8_t(i * 7 + 1);
  return Bytes::Copy(bytes.data(), bytes.size());
}

std::vector<uint8_t> Vector(const Bytes& bytes) { return {bytes.span().begin(), bytes.span().end()}; }

// A freed global handle no longer has a size.
bool Freed(HGLOBAL memory) { return GlobalSize(memory) == 0 && GetLastError() == ERROR_INVALID_HANDLE; }

// A freed block's handle may come straight back from the next allocation.
bool FreedOrReused(HGLOBAL old, HGLOBAL current) { return old == current || Freed(old); }

bool Moveable(HGLOBAL memory) {
  void* data = GlobalLock(memory);
  GlobalUnlock(memory);
  return data != memory;  // fixed memory's handle is its address
}

TEST(ImageStream, CloseWithoutStreamDoesNothing) {
  ImageStream stream;
  stream.Close();
  EXPECT_EQ(stream.GetStream(), nullptr);
  EXPECT_EQ(stream.GetMemory(), nullptr);
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_TRUE(stream.ToBytes().empty());
}

TEST(ImageStream, CreateCopiesIntoMoveableMemoryAndReadsFromTheStart) {
  const Bytes bytes = Sample(300);
  ImageStream stream;
  IStream* s = stream.Create(bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s, stream.GetStream());
  EXPECT_TRUE(Moveable(stream.GetMemory()));
  EXPECT_EQ(stream.Size(), 300u);
  EXPECT_EQ(Vector(stream.ToBytes()), Vector(bytes));

  std::vector<uint8_t> read(400, 0xEE);
  ULONG got = 0;
  ASSERT_EQ(s->Read(read.data(), 400, &got), S_OK);
  ASSERT_EQ(got, 300u);
  read.resize(got);
  EXPECT_EQ(read, Vector(bytes));
}

TEST(ImageStream, LengthCopiesAPrefixAndNeverMoreThanTheBlock) {
  const Bytes bytes = Sample(100);
  ImageStream stream;
  ASSERT_NE(stream.Create(bytes, 40), nullptr);
  EXPECT_EQ(stream.Size(), 40u);
  EXPECT_EQ(Vector(stream.ToBytes()), Vector(MidBytes(bytes, 1, 40)));
  ASSERT_NE(stream.Create(bytes, 5000), nullptr);
  EXPECT_EQ(stream.Size(), 100u);
  EXPECT_EQ(Vector(stream.ToBytes()), Vector(bytes));
}

TEST(ImageStream, SecondCreateReleasesTheFirstStreamAndFreesItsMemory) {
  ImageStream stream;
  IStream* first = stream.Create(Sample(64));
  ASSERT_NE(first, nullptr);
  HGLOBAL firstMemory = stream.GetMemory();
  first->AddRef();  // ours, to see what the object's release left
  ASSERT_NE(stream.Create(Sample(32)), nullptr);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_TRUE(FreedOrReused(firstMemory, stream.GetMemory()));
  EXPECT_EQ(stream.Size(), 32u);
}

TEST(ImageStream, AttachTakesTheStreamAndItsMemory) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 16);
  IStream* raw = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(memory, FALSE, &raw), S_OK);
  {
    ImageStream stream;
    EXPECT_TRUE(stream.Attach(raw));
    EXPECT_EQ(stream.GetStream(), raw);
    EXPECT_EQ(stream.GetMemory(), memory);
    EXPECT_EQ(stream.Size(), 16u);
  }
  EXPECT_TRUE(Freed(memory));  // destroyed: stream released, memory freed
  ImageStream none;
  EXPECT_FALSE(none.Attach(nullptr));
}

TEST(BlockStream, FromBytesIsFixedMemoryHoldingTheBlock) {
  const Bytes bytes = Sample(77);
  BlockStream block;
  ASSERT_NE(block.Open(bytes, true), nullptr);
  EXPECT_EQ(block.Size(), 77u);
  EXPECT_EQ(Vector(block.ToBytes()), Vector(bytes));
  HGLOBAL memory = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(block.GetStream(), &memory), S_OK);
  EXPECT_FALSE(Moveable(memory));
}

TEST(BlockStream, EmptyStreamGrowsWithWritesAndFreesItsMemoryWhenReleased) {
  BlockStream block;
  IStream* s = block.Open(nullptr, false);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(block.Size(), 0u);
  const Bytes bytes = Sample(5000);
  ULONG written = 0;
  ASSERT_EQ(s->Write(bytes.data(), 5000, &written), S_OK);
  EXPECT_GE(block.Size(), 5000u);
  EXPECT_EQ(Vector(MidBytes(block.ToBytes(), 1, 5000)), Vector(bytes));

  HGLOBAL memory = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(s, &memory), S_OK);
  s->AddRef();
  block.Free();                   // the object's reference goes; ours keeps the stream
  EXPECT_GE(GlobalSize(memory), 5000u);
  EXPECT_EQ(s->Release(), 0u);  // the last reference takes the memory with it
  EXPECT_TRUE(Freed(memory));
}

TEST(BlockStream, OpeningAgainFreesTheCopiedBlock) {
  BlockStream block;
  IStream* first = block.Open(Sample(10), true);
  ASSERT_NE(first, nullptr);
  HGLOBAL firstMemory = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(first, &firstMemory), S_OK);
  IStream* second = block.Open(Sample(20), true);
  ASSERT_NE(second, nullptr);
  HGLOBAL secondMemory = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(second, &secondMemory), S_OK);
  EXPECT_TRUE(FreedOrReused(firstMemory, secondMemory));
  EXPECT_EQ(block.Size(), 20u);
}

class ImageFromBytes : public ::testing::Test {
 protected:
  test::GdiplusSession gdiplus;
};

TEST_F(ImageFromBytes, DecodesAPngThatStaysDrawable) {
  Pixels pixels{3, 2, {0xFFFF0000, 0x8000FF00, 0x00000000, 0xFF0000FF, 0xFFFFFFFF, 0xFF102030}};
  const Bytes png = AsBytes(test::PngFile(pixels));
  GpImage* image = LoadImageFromBytes(png, &test::kFrameDimensionTime);
  ASSERT_NE(image, nullptr);
  float width = 0, height = 0;
  ASSERT_EQ(sys::GdipGetImageDimension(image, &width, &height), kGdiplusOk);
  EXPECT_EQ(width, 3.0f);
  EXPECT_EQ(height, 2.0f);
  // the stream GDI+ reads from outlives the call: drawing later still works
  for (int i = 0; i < 50; ++i) (void)Sample(4096);
  const auto drawn = test::DrawImage(image, 3, 2, 0xFF000000);
  EXPECT_EQ(drawn[0], 0xFF0000u);
  EXPECT_EQ(drawn[2], 0x000000u);  // transparent: the black beneath
  EXPECT_EQ(drawn[3], 0x0000FFu);
  EXPECT_EQ(drawn[5], 0x102030u);
  EXPECT_NEAR(int(drawn[1] >> 8 & 0xFF), 0x80, 1);  // half green over black
  sys::GdipDisposeImage(image);
}

TEST_F(ImageFromBytes, WhatIsNoImageGivesNone) {
  EXPECT_EQ(LoadImageFromBytes(nullptr, &test::kFrameDimensionTime), nullptr);
  EXPECT_EQ(LoadImageFromBytes(Sample(500), &test::kFrameDimensionTime), nullptr);
  const test::ByteVector png = test::PngFile(Pixels{8, 8, std::vector<uint32_t>(64, 0xFF00FF00)});
  for (std::size_t cut : {std::size_t(8), std::size_t(33), png.size() / 2, png.size() - 13}) {
    const Bytes truncated = Bytes::Copy(png.data(), cut);
    GpImage* image = LoadImageFromBytes(truncated, &test::kFrameDimensionTime);
    EXPECT_EQ(image, nullptr) << "cut at " << cut;
    if (image) sys::GdipDisposeImage(image);
  }
}

TEST_F(ImageFromBytes, TheSameBlockTwiceGivesTwoImages) {
  const Bytes png = AsBytes(test::PngFile(Pixels{1, 1, {0xFF123456}}));
  GpImage* a = LoadImageFromBytes(png, &test::kFrameDimensionTime);
  GpImage* b = LoadImageFromBytes(png, &test::kFrameDimensionTime);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  sys::GdipDisposeImage(a);
  EXPECT_EQ(test::DrawImage(b, 1, 1, 0)[0], 0x123456u);
  sys::GdipDisposeImage(b);
}

}  // namespace

namespace {

Pixels Solid(int width, int height) {
  return Pixels{width, height, std::vector<uint32_t>(std::size_t(width) * height, 0xFF336699)};
}

// A PNG whose header claims width x height over a tiny image's data.
snipora::Bytes ClaimingPng(uint32_t width, uint32_t height) {
  test::ByteVector png = test::PngFile(Pixels{1, 1, {0xFF00FF00}});
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = uint8_t(width >> (24 - 8 * i));
    png[20 + i] = uint8_t(height >> (24 - 8 * i));
  }
  // the header's check sum over its type and data, as a real file would have it
  uint32_t crc = 0xFFFFFFFF;
  for (int i = 12; i < 29; ++i) {
    crc ^= png[std::size_t(i)];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ crc >> 1 : crc >> 1;
  }
  crc = ~crc;
  for (int i = 0; i < 4; ++i) png[29 + std::size_t(i)] = uint8_t(crc >> (24 - 8 * i));
  return AsBytes(png);
}

TEST_F(ImageFromBytes, AHugeClaimedSizeGivesNoImageAndTakesNoMemory) {
  const PROCESS_MEMORY_COUNTERS before = test::MemoryCounters();
  for (const auto& [w, h] : {std::pair{30000u, 30000u}, std::pair{16385u, 1u}, std::pair{5000u, 5000u},
                             std::pair{0x7FFFFFFFu, 0x7FFFFFFFu}}) {
    GpImage* image = LoadImageFromBytes(ClaimingPng(w, h), &test::kFrameDimensionTime);
    EXPECT_EQ(image, nullptr) << w << "x" << h;
  }
  const PROCESS_MEMORY_COUNTERS after = test::MemoryCounters();
  EXPECT_LT(after.PeakWorkingSetSize - before.PeakWorkingSetSize, SIZE_T(32) << 20);

  // whole images: one a side too wide is refused, the widest allowed decodes
  GpImage* widest = LoadImageFromBytes(AsBytes(test::PngFile(Solid(16384, 1))), &test::kFrameDimensionTime);
  EXPECT_NE(widest, nullptr);
  if (widest) sys::GdipDisposeImage(widest);
  EXPECT_EQ(LoadImageFromBytes(AsBytes(test::PngFile(Solid(16385, 1))), &test::kFrameDimensionTime), nullptr);
}

}  // namespace
