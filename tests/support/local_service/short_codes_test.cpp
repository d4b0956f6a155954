#include "tests/support/local_service/short_codes.h"

#include <gtest/gtest.h>

using namespace snipora::test;

namespace {

TEST(ShortCodes, AnAddressKeepsItsCode) {
  ShortCodes codes;
  const auto a = codes.CodeFor("http://a.invalid/");
  const auto b = codes.CodeFor("http://b.invalid/");
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(codes.CodeFor("http://a.invalid/"), a);
  EXPECT_EQ(a->size(), ShortCodes::kCodeLength);
  EXPECT_TRUE(ShortCodes::IsCode(*a));
  EXPECT_EQ(codes.AddressOf(*a), std::optional<std::string>("http://a.invalid/"));
  EXPECT_EQ(codes.AddressOf("nope"), std::nullopt);
  EXPECT_EQ(codes.CodeFor(""), std::nullopt);
  EXPECT_EQ(codes.size(), 2u);
  // a fresh table gives the same code again
  EXPECT_EQ(ShortCodes().CodeFor("http://a.invalid/"), a);
}

TEST(ShortCodes, IsCode) {
  EXPECT_TRUE(ShortCodes::IsCode("AbC12"));
  EXPECT_TRUE(ShortCodes::IsCode("0123456789abcdef"));
  EXPECT_FALSE(ShortCodes::IsCode(""));
  EXPECT_FALSE(ShortCodes::IsCode("0123456789abcdefg"));
  EXPECT_FALSE(ShortCodes::IsCode("online.gif"));
  EXPECT_FALSE(ShortCodes::IsCode("a/b"));
  EXPECT_FALSE(ShortCodes::IsCode("create.php"));
}

TEST(ShortCodes, TableIsBounded) {
  ShortCodes codes;
  for (std::size_t i = 0; i < ShortCodes::kMaxCodes; ++i)
    ASSERT_TRUE(codes.CodeFor("http://x.invalid/" + std::to_string(i)).has_value());
  EXPECT_EQ(codes.CodeFor("http://one.more.invalid/"), std::nullopt);
  EXPECT_TRUE(codes.CodeFor("http://x.invalid/7").has_value());  // known ones still answer
  EXPECT_EQ(codes.size(), ShortCodes::kMaxCodes);
}

}  // namespace
