#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace snipora;

namespace {

std::string Str(const Text& t) { return t.c_str(); }

TEST(TextEncoding, NarrowLiteralsAreGbk) {
  // the build's execution charset: everything else stands on it
  const char shorten[] = "缩短";
  ASSERT_EQ(sizeof shorten, 5u);
  EXPECT_EQ(std::memcmp(shorten, "\xCB\xF5\xB6\xCC", 4), 0);
}

TEST(TextLength, CountsBytesNotCharacters) {
  EXPECT_EQ(TextLength(nullptr), 0);
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("hello"), 5);
  EXPECT_EQ(TextLength("缩短a"), 5);
}

TEST(FindText, PositionsAreOneBasedFromTheFirstByte) {
  EXPECT_EQ(FindText("hello", "l"), 3);
  EXPECT_EQ(FindText("hello", "l", 4), 4);
  EXPECT_EQ(FindText("hello", "lo", 4), 4);
  EXPECT_EQ(FindText("hello", "he", 2), -1);
  EXPECT_EQ(FindText("hello", "hello!"), -1);
  EXPECT_EQ(FindText("hello", "x"), -1);
}

TEST(FindText, StartIsClamped) {
  EXPECT_EQ(FindText("abcabc", "a", 0), 1);
  EXPECT_EQ(FindText("abcabc", "a", -7), 1);
  EXPECT_EQ(FindText("abcabc", "a", INT32_MIN), 1);
  EXPECT_EQ(FindText("abc", "c", 3), 3);
  EXPECT_EQ(FindText("abc", "c", 4), -1);
  EXPECT_EQ(FindText("abc", "a", 5), -1);
  EXPECT_EQ(FindText("abc", "", 5), -1);
  EXPECT_EQ(FindText("abc", "a", INT32_MAX), -1);
}

TEST(FindText, EmptySoughtText) {
  EXPECT_EQ(FindText("abc", ""), 1);
  EXPECT_EQ(FindText("abc", nullptr), 1);
  EXPECT_EQ(FindText("abc", "", 3), 1);  // 1 even from a later start
  EXPECT_EQ(FindText("", ""), -1);
  EXPECT_EQ(FindText(nullptr, ""), -1);
  EXPECT_EQ(FindText(nullptr, "a"), -1);
}

TEST(FindText, IgnoreCaseFoldsAsciiLettersOnly) {
  EXPECT_EQ(FindText("xxabcx", "ABC", std::nullopt, true), 3);
  EXPECT_EQ(FindText("xxabcx", "ABC"), -1);
  EXPECT_EQ(FindText("xxabcx", "ABC", std::nullopt, false), -1);
  EXPECT_EQ(FindText("xxabcx", "ABC", 4, true), -1);
  EXPECT_EQ(FindText("a[b", "A{B", std::nullopt, true), -1);  // [ and { are not letters
  EXPECT_EQ(FindText("HTTP://X", "http://", std::nullopt, true), 1);
}

TEST(FindText, SteppingOverTwoByteCharacters) {
  // "缩" is CB F5; "\xF5" alone must not match inside it
  EXPECT_EQ(FindText("缩短", "\xF5\xB6"), -1);
  EXPECT_EQ(FindText("缩短", "短"), 3);
  EXPECT_EQ(FindText("a缩b", "b"), 4);
  // second byte in the ASCII range ("@" = 0x40, a valid GBK trail byte)
  EXPECT_EQ(FindText("\x81@x@", "@"), 4);
  // stepping counts from where the scan began: start in the trail byte
  EXPECT_EQ(FindText("缩短", "\xF5\xB6", 2), 2);
  // and ignore case folds a trail byte in a letter range too
  EXPECT_EQ(FindText("\x81" "A", "\x81" "a", std::nullopt, true), 1);
}

TEST(FindText, MalformedLeadByteBeforeTerminatorStops) {
  EXPECT_EQ(FindText("ab\xCB", "\xCB"), 3);  // the match itself is still found first
  EXPECT_EQ(FindText("ab\xCB", "x"), -1);
  // a lone lead byte never lets the scan run past the terminator
  char buffer[4] = {'\xCB', 0, 'x', 0};
  EXPECT_EQ(FindText(buffer, "x"), -1);
}

TEST(MidText, ClampingRules) {
  EXPECT_EQ(MidText("hello", 0, 3).get(), nullptr);
  EXPECT_EQ(MidText("hello", 6, 1).get(), nullptr);
  EXPECT_EQ(MidText("hello", -3, 2).get(), nullptr);
  EXPECT_EQ(Str(MidText("hello", 4, 10)), "lo");
  EXPECT_EQ(Str(MidText("hello", 1, 5)), "hello");
  EXPECT_EQ(Str(MidText("hello", 2, 1)), "e");
  EXPECT_EQ(MidText("hello", 2, 0).get(), nullptr);
  EXPECT_EQ(MidText("hello", 2, -1).get(), nullptr);
  EXPECT_EQ(MidText(nullptr, 1, 1).get(), nullptr);
  EXPECT_EQ(Str(MidText("hello", 5, INT32_MAX)), "o");
  EXPECT_EQ(MidText("hello", INT32_MIN, INT32_MAX).get(), nullptr);
}

TEST(MidText, CutsByBytes) {
  const Text half = MidText("缩短", 2, 2);
  ASSERT_EQ(TextLength(half), 2);
  EXPECT_EQ(std::memcmp(half.c_str(), "\xF5\xB6", 3), 0);
}

TEST(MidText, CuttingBetweenMarkers) {
  // how the application cuts a result out of a page: (page, f + 32, h - (f + 32))
  auto cut = [](const char* page, int32_t f, int32_t h) { return Str(MidText(page, f + 32, h - (f + 32))); };
  EXPECT_EQ(cut("whatever the page holds", -1, -1), "");
  EXPECT_EQ(cut("0123456789012345678901234567890123456789", 1, -1), "");
  EXPECT_EQ(cut("0123456789012345678901234567890123456789", 1, 10), "");
  const std::string page = std::string(30, '.') + "ABCDEF<end>";
  EXPECT_EQ(cut(page.c_str(), -1, FindText(page.c_str(), "<end>")), "ABCDEF");
}

TEST(BlankText, SpacesOrEmpty) {
  EXPECT_EQ(BlankText(0).get(), nullptr);
  EXPECT_EQ(BlankText(-5).get(), nullptr);
  EXPECT_EQ(Str(BlankText(3)), "   ");
}

TEST(JoinText, NeverNull) {
  const Text empty = JoinText("", nullptr, Text());
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(empty.get()[0], '\0');
  EXPECT_EQ(Str(JoinText("http://", Text(), "x.cn/", MidText("abc", 2, 5))), "http://x.cn/bc");
  EXPECT_EQ(Str(JoinText("缩", "短")), "缩短");
}

TEST(CompareText, NullEqualsEmptyAndBytesAreUnsigned) {
  EXPECT_EQ(CompareText(nullptr, ""), 0);
  EXPECT_EQ(CompareText(nullptr, "a"), -1);
  EXPECT_EQ(CompareText("a", nullptr), 1);
  EXPECT_EQ(CompareText("abc", "abc"), 0);
  EXPECT_EQ(CompareText("ab", "abc"), -1);
  EXPECT_EQ(CompareText("abd", "abc"), 1);
  EXPECT_EQ(CompareText("\x80", "a"), 1);  // 0x80 is above 'a' as unsigned
  EXPECT_EQ(CompareText("a", "\xFF"), -1);
}

TEST(ToText, IntegersAndTexts) {
  EXPECT_EQ(Str(ToText(int32_t{0})), "0");
  EXPECT_EQ(Str(ToText(int32_t{-42})), "-42");
  EXPECT_EQ(Str(ToText(INT32_MIN)), "-2147483648");
  EXPECT_EQ(Str(ToText(int16_t{-32768})), "-32768");
  EXPECT_EQ(Str(ToText(uint8_t{255})), "255");
  EXPECT_EQ(Str(ToText("缩短")), "缩短");
  EXPECT_EQ(ToText("").get(), nullptr);
  EXPECT_EQ(ToText(static_cast<const char*>(nullptr)).get(), nullptr);
}

TEST(ToText, ByteBufferStopsAtFirstZero) {
  const uint8_t bytes[] = {'a', 'b', 0, 'c', 'd'};
  EXPECT_EQ(Str(ToText(std::span<const uint8_t>(bytes))), "ab");
  const uint8_t noZero[] = {'x', 'y'};
  EXPECT_EQ(Str(ToText(std::span<const uint8_t>(noZero))), "xy");
  EXPECT_EQ(ToText(std::span<const uint8_t>()).get(), nullptr);
}

TEST(TextOwnership, MovesTransferTheBlock) {
  Text a = JoinText("abc");
  char* block = a.get();
  Text b = std::move(a);
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), block);
  a = std::move(b);
  EXPECT_EQ(a.get(), block);
  char* released = a.release();
  EXPECT_EQ(released, block);
  EXPECT_EQ(a.get(), nullptr);
  Text again = Text::Adopt(released);  // released again by its new owner
  EXPECT_STREQ(again.c_str(), "abc");
  EXPECT_TRUE(Text().empty());
  EXPECT_STREQ(Text().c_str(), "");
}

}  // namespace
