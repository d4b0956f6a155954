// Telling the accepted formats apart by their first bytes.
#include "runtime/picture/picture_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace snipora;

namespace {

struct Case {
  const char* name;
  std::vector<uint8_t> bytes;
  PictureFormat expected;
};

PictureFormat Recognize(const std::vector<uint8_t>& bytes) {
  return RecognizePicture(Bytes::Copy(bytes.data(), bytes.size()));
}

std::vector<uint8_t> Text(const char* text, std::size_t pad = 0) {
  std::vector<uint8_t> bytes(text, text + std::char_traits<char>::length(text));
  bytes.resize(bytes.size() + pad, 0);
  return bytes;
}

TEST(RecognizePicture, SignatureTable) {
  const std::vector<Case> cases = {
      {"bitmap", Text("BM", 4), PictureFormat::Bitmap},
      {"jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, PictureFormat::Jpeg},
      {"icon", {0, 0, 1, 0, 1, 0}, PictureFormat::Icon},
      {"cursor", {0, 0, 2, 0, 1, 0}, PictureFormat::Cursor},
      {"gif87a", Text("GIF87a"), PictureFormat::Gif},
      {"gif89a", Text("GIF89a", 7), PictureFormat::Gif},
      {"pcx 5.1.8", {0x0A, 5, 1, 8, 0, 0}, PictureFormat::Pcx},
      {"pcx 3.1.1", {0x0A, 3, 1, 1, 0, 0}, PictureFormat::Pcx},
      {"pcx raw", {0x0A, 0, 0, 4, 0, 0}, PictureFormat::Pcx},
      {"pcx version 6", {0x0A, 6, 1, 8, 0, 0}, PictureFormat::None},
      {"pcx encoding 2", {0x0A, 5, 2, 8, 0, 0}, PictureFormat::None},
      {"pcx 9 bits", {0x0A, 5, 1, 9, 0, 0}, PictureFormat::None},
      {"gif88a", Text("GIF88a"), PictureFormat::None},
      {"lower-case gif", Text("gif89a"), PictureFormat::None},
      {"icon type 3", {0, 0, 3, 0, 1, 0}, PictureFormat::None},
      {"icon reserved 1", {1, 0, 1, 0, 1, 0}, PictureFormat::None},
      {"jpeg second byte", {0xFF, 0xD9, 0, 0, 0, 0}, PictureFormat::None},
      {"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D}, PictureFormat::None},
      {"text", Text("<html><body>"), PictureFormat::None},
  };
  for (const Case& c : cases) EXPECT_EQ(Recognize(c.bytes), c.expected) << c.name;
}

TEST(RecognizePicture, FewerThanSixBytesAreNoPicture) {
  EXPECT_EQ(RecognizePicture(nullptr), PictureFormat::None);
  EXPECT_EQ(Recognize({}), PictureFormat::None);
  EXPECT_EQ(Recognize(Text("BM", 3)), PictureFormat::None);
  EXPECT_EQ(Recognize(Text("GIF89")), PictureFormat::None);
  EXPECT_EQ(Recognize({0xFF, 0xD8, 0xFF, 0xE0, 0}), PictureFormat::None);
  EXPECT_EQ(Recognize({0x0A, 5, 1, 8, 0}), PictureFormat::None);
  EXPECT_EQ(Recognize({0, 0, 1, 0, 1}), PictureFormat::None);
  // the same bytes one longer are pictures
  EXPECT_EQ(Recognize(Text("BM", 4)), PictureFormat::Bitmap);
  EXPECT_EQ(Recognize({0x0A, 5, 1, 8, 0, 0}), PictureFormat::Pcx);
}

TEST(RecognizePicture, RandomBytesWithoutASignatureAreNoPicture) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> bytes(6 + i % 40);
    for (uint8_t& b : bytes) b = uint8_t(byte(random));
    if (bytes[0] == 'B' || bytes[0] == 0xFF || bytes[0] == 0 || bytes[0] == 'G' || bytes[0] == 0x0A)
      bytes[0] = 'C';
    EXPECT_EQ(Recognize(bytes), PictureFormat::None) << "case " << i;
  }
}

}  // namespace
