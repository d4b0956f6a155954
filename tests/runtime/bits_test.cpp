#include "runtime/bits.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace snipora;

namespace {

TEST(Bits, LogicAndShifts) {
  EXPECT_EQ(BitNot(0), -1);
  EXPECT_EQ(BitNot(0x0F0F0F0F), int32_t(0xF0F0F0F0));
  EXPECT_EQ(BitAnd(0xFF, 0x0F), 0x0F);
  EXPECT_EQ(BitAnd(-1, 0x7F, 0x3C, 0x0C), 0x0C);
  EXPECT_EQ(BitOr(1, 2), 3);
  EXPECT_EQ(BitOr(1, 2, 4, int32_t(0x80000000)), int32_t(0x80000007));
  EXPECT_EQ(ShiftRight(-16, 2), -4);
  EXPECT_EQ(ShiftRight(int32_t(0x80000000), 31), -1);
  EXPECT_EQ(ShiftRight(0x12345678, 33), ShiftRight(0x12345678, 1));
  EXPECT_EQ(ShiftRight(-16, 32), -16);
  EXPECT_EQ(ShiftRight(256, -1), 0);  // -1 AND 31 is 31
}

TEST(Bits, MakeColorIsAWindowsColour) {
  EXPECT_EQ(MakeColor(0xE3, 0xED, 0xF6), 0xF6EDE3u);
  EXPECT_EQ(MakeColor(0x1FF, -1, 0x100), 0x00FFFFu);  // low 8 bits of each
  EXPECT_EQ(MakeColor(10, 20, 30), RGB(10, 20, 30));
}

int32_t __stdcall SomeProcedure(int32_t x) { return x; }

TEST(Bits, ToNumber) {
  EXPECT_EQ(ToNumber(-5), -5.0);
  const double address = ToNumber(&SomeProcedure);
  EXPECT_EQ(static_cast<uintptr_t>(address), reinterpret_cast<uintptr_t>(&SomeProcedure));
  EXPECT_GT(address, 0.0);
}

}  // namespace
