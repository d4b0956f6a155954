#include "runtime/byte_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace snipora;

namespace {

std::vector<uint8_t> Vec(BytesView b) { return {b.span().begin(), b.span().end()}; }

Bytes Of(std::initializer_list<uint8_t> bytes) { return Bytes::Copy(std::data(bytes), bytes.size()); }

TEST(ByteSetLayout, OneCountThenBytes) {
  const Bytes b = Of({7, 8, 9});
  const auto* raw = reinterpret_cast<const uint8_t*>(b.get());
  int32_t one, count;
  std::memcpy(&one, raw, 4);
  std::memcpy(&count, raw + 4, 4);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(raw[8], 7);
  EXPECT_EQ(raw[10], 9);
}

TEST(ByteSetLayout, EmptyValues) {
  EXPECT_EQ(Bytes::Copy("x", 0).get(), nullptr);
  EXPECT_EQ(BytesLength(nullptr), 0);
  EXPECT_EQ(BytesView(nullptr).get(), EmptyByteSet());
  EXPECT_EQ(EmptyByteSet()->one, 1);
  EXPECT_EQ(EmptyByteSet()->count, 0);
  EXPECT_EQ(BlankBytes(0).get(), nullptr);
  EXPECT_EQ(BlankBytes(-3).get(), nullptr);
  EXPECT_EQ(Vec(BlankBytes(3)), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(MidBytes, Clamping) {
  const Bytes b = Of({1, 2, 3, 4, 5});
  EXPECT_EQ(Vec(MidBytes(b, 0, 2)), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(Vec(MidBytes(b, -9, 1)), (std::vector<uint8_t>{1}));
  EXPECT_EQ(Vec(MidBytes(b, 4, 100)), (std::vector<uint8_t>{4, 5}));
  EXPECT_EQ(Vec(MidBytes(b, 2, INT32_MAX)), (std::vector<uint8_t>{2, 3, 4, 5}));
  EXPECT_EQ(MidBytes(b, 6, 1).get(), nullptr);
  EXPECT_EQ(MidBytes(b, INT32_MAX, 1).get(), nullptr);
  EXPECT_EQ(MidBytes(b, 2, -1).get(), nullptr);
  EXPECT_EQ(MidBytes(nullptr, 1, 1).get(), nullptr);
}

TEST(RightBytes, Clamping) {
  const Bytes b = Of({1, 2, 3});
  EXPECT_EQ(Vec(RightBytes(b, 2)), (std::vector<uint8_t>{2, 3}));
  EXPECT_EQ(Vec(RightBytes(b, 9)), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(RightBytes(b, 0).get(), nullptr);
  EXPECT_EQ(RightBytes(b, -1).get(), nullptr);
}

TEST(ToBytes, ValuesAndCopies) {
  EXPECT_EQ(Vec(ToBytes(int32_t{0x11223344})), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(Vec(ToBytes(int32_t{-1})), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Vec(ToBytes("缩")), (std::vector<uint8_t>{0xCB, 0xF5}));
  EXPECT_EQ(ToBytes("").get(), nullptr);
  const Bytes b = Of({9, 8});
  const Bytes copy = ToBytes(b);
  EXPECT_NE(copy.get(), b.get());
  EXPECT_EQ(Vec(copy), Vec(b));
  const int16_t shorts[] = {1, -2};
  EXPECT_EQ(Vec(ToBytes(std::span<const int16_t>(shorts))), (std::vector<uint8_t>{1, 0, 0xFE, 0xFF}));
}

TEST(ToText, OfByteSet) {
  EXPECT_STREQ(ToText(Of({'a', 'b', 0, 'c', 'd'})).c_str(), "ab");
  EXPECT_EQ(ToText(BytesView(nullptr)).get(), nullptr);
  EXPECT_EQ(ToText(Of({0, 'a'})).get(), nullptr);
}

TEST(ReadBytesValue, WalksInt32Values) {
  const Bytes b = Of({1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF});
  int32_t position = 1;
  EXPECT_EQ(std::get<int32_t>(ReadBytesValue(b, 3, &position)), 1);
  EXPECT_EQ(position, 5);
  EXPECT_EQ(std::get<int32_t>(ReadBytesValue(b, 3, &position)), -2);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(std::get<int32_t>(ReadBytesValue(b, 3)), 1);  // no position: from the start
}

TEST(ReadBytesValue, ShortReadsAreZeroExtended) {
  const Bytes b = Of({1, 2, 3, 4, 5, 6, 0x34, 0x12});
  int32_t position = 7;
  EXPECT_EQ(std::get<int32_t>(ReadBytesValue(b, 3, &position)), 0x1234);
  EXPECT_EQ(position, -1);
  position = 9;  // past the end: nothing available
  EXPECT_EQ(std::get<int32_t>(ReadBytesValue(b, 3, &position)), 0);
  EXPECT_EQ(position, -1);
  position = 0;  // before the start: nothing available, position still advances
  EXPECT_EQ(std::get<int64_t>(ReadBytesValue(b, 4, &position)), 0);
  EXPECT_EQ(position, 8);
  EXPECT_EQ(std::get<int32_t>(ReadBytesValue(nullptr, 3)), 0);
}

TEST(ReadBytesValue, EveryKind) {
  const double d = 2.5;
  const float f = -1.5f;
  std::vector<uint8_t> raw(8);
  std::memcpy(raw.data(), &d, 8);
  const Bytes dbl = Bytes::Copy(raw.data(), 8);
  const Bytes flt = Bytes::Copy(&f, 4);
  const Bytes b = Of({0x81, 0x82, 0, 0, 0, 0, 0, 0x80});
  EXPECT_EQ(std::get<uint8_t>(ReadBytesValue(b, 1)), 0x81);
  EXPECT_EQ(std::get<int16_t>(ReadBytesValue(b, 2)), int16_t(0x8281));
  EXPECT_EQ(std::get<int64_t>(ReadBytesValue(b, 4)), int64_t(0x8000000000008281ull));
  EXPECT_EQ(std::get<float>(ReadBytesValue(flt, 5)), -1.5f);
  EXPECT_EQ(std::get<double>(ReadBytesValue(dbl, 6)), 2.5);
  EXPECT_EQ(std::get<bool>(ReadBytesValue(b, 7)), true);
  EXPECT_EQ(std::get<bool>(ReadBytesValue(Of({0, 0, 0, 0}), 7)), false);
  EXPECT_EQ(std::get<DateTime>(ReadBytesValue(dbl, 8)), DateTime{2.5});
  EXPECT_EQ(std::get<ProcedureAddress>(ReadBytesValue(b, 9)), ProcedureAddress{0x8281});
}

TEST(ReadBytesValue, Texts) {
  const Bytes b = Of({'a', 'b', 0, 'c', 'd'});
  int32_t position = 1;
  EXPECT_STREQ(std::get<Text>(ReadBytesValue(b, 10, &position)).c_str(), "ab");
  EXPECT_EQ(position, 4);
  EXPECT_STREQ(std::get<Text>(ReadBytesValue(b, 10, &position)).c_str(), "cd");
  EXPECT_EQ(position, -1);
}

TEST(Memory, BytesFromPointerAndWriteToMemory) {
  const char source[] = "abcdef";
  EXPECT_EQ(Vec(BytesFromPointer(source, 3)), (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(BytesFromPointer(source, 0).get(), nullptr);

  char target[8];
  std::memset(target, 'x', sizeof target);
  WriteToMemory("hi", target);
  EXPECT_EQ(std::memcmp(target, "hi\0x", 4), 0);  // the terminating zero is written
  std::memset(target, 'x', sizeof target);
  WriteToMemory("hello", target, 2);
  EXPECT_EQ(std::memcmp(target, "hex", 3), 0);
  std::memset(target, 'x', sizeof target);
  WriteToMemory(Of({1, 2, 3}), target, 99);  // a limit above the size copies all
  EXPECT_EQ(std::memcmp(target, "\1\2\3x", 4), 0);
  std::memset(target, 'x', sizeof target);
  WriteToMemory(int32_t{0x41424344}, target, -1);
  EXPECT_EQ(std::memcmp(target, "DCBAx", 5), 0);
  std::memset(target, 'x', sizeof target);
  WriteToMemory(Of({1, 2}), target, 0);
  EXPECT_EQ(target[0], 'x');
}

TEST(ByteSetOwnership, MovesTransferTheBlock) {
  Bytes a = BlankBytes(4);
  ByteSet* block = a.get();
  Bytes b = std::move(a);
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), block);
  ByteSet* released = b.release();
  EXPECT_EQ(b.get(), nullptr);
  Bytes again = Bytes::Adopt(released);
  EXPECT_EQ(again.size(), 4);
}

}  // namespace
