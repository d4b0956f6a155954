#include "tests/support/local_service/short_codes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace snipora::test;

namespace {

// A store file of the test's own, removed afterwards.
class StoreFile {
 public:
  StoreFile() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    path_ = std::string(folder) + "snipora-codes-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64()) + ".txt";
    DeleteFileA(path_.c_str());
  }
  ~StoreFile() { DeleteFileA(path_.c_str()); }
  const std::string& path() const { return path_; }
  void Write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

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

TEST(ShortCodesStore, MappingsOutliveTheTable) {
  StoreFile store;
  const std::string awkward = std::string("http://a.invalid/\xE4\xB8\xAD x%41\r\n\tend\0!", 33);
  std::string plainCode, awkwardCode;
  {
    ShortCodes codes(store.path());
    plainCode = *codes.CodeFor("http://plain.invalid/p?q=1");
    awkwardCode = *codes.CodeFor(awkward);
  }
  const std::string written = store.Read();
  EXPECT_EQ(written, plainCode + " http://plain.invalid/p?q=1\n" + awkwardCode +
                         " http://a.invalid/%E4%B8%AD%20x%2541%0D%0A%09end%00!\n");
  ShortCodes again(store.path());
  EXPECT_EQ(again.size(), 2u);
  EXPECT_EQ(again.AddressOf(awkwardCode), std::optional<std::string>(awkward));
  EXPECT_EQ(again.CodeFor("http://plain.invalid/p?q=1"), std::optional<std::string>(plainCode));
  EXPECT_EQ(store.Read(), written);  // known mappings are not appended again
}

TEST(ShortCodesStore, DamagedLinesAreSkipped) {
  StoreFile store;
  store.Write(std::string("Good1 http://good.invalid/1\r\n"
                          "\n"
                          "no-space-here\n"
                          "bad/code http://bad.invalid/\n"
                          "Dup http://dup.invalid/\n"
                          "Dup http://other.invalid/\n"
                          "Empty \n"
                          "\x16\x03\x01\0\xff garbage\n") +
              std::string(200000, 'z') + " http://overlong.invalid/\n" + "Good2 http://good.invalid/2");
  ShortCodes codes(store.path());
  EXPECT_EQ(codes.AddressOf("Good1"), std::optional<std::string>("http://good.invalid/1"));
  EXPECT_EQ(codes.AddressOf("Good2"), std::optional<std::string>("http://good.invalid/2"));
  EXPECT_EQ(codes.AddressOf("Dup"), std::optional<std::string>("http://dup.invalid/"));
  EXPECT_EQ(codes.size(), 3u);
}

TEST(ShortCodesStore, MissingOrUnwritableStoreStillWorks) {
  ShortCodes codes("Z:\\no\\such\\folder\\codes.txt");
  EXPECT_TRUE(codes.CodeFor("http://a.invalid/").has_value());
}

}  // namespace
