#include "sysfx/version_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <array>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "fake_version_source.h"

using namespace snipora;
using snipora::testing::FakeVersionSource;
using snipora::testing::MakeRecord;

namespace {

const std::string kBuildSuffix = "（内部版本号，请使用本程序最新版本以获得准确数据）";

struct NameCase {
  const char* what;
  DWORD platform, major, minor;
  const char* servicePack;
  WORD suiteMask;
  BYTE productType;
  DWORD productCode;
  std::string name;
  std::string version;
};

void ExpectNames(const NameCase& c) {
  SCOPED_TRACE(c.what);
  FakeVersionSource products;
  products.productCode = c.productCode;
  const VersionNames names =
      NameVersion(MakeRecord(c.platform, c.major, c.minor, c.servicePack, c.suiteMask, c.productType),
                  products);
  EXPECT_EQ(names.name.c_str(), c.name);
  EXPECT_EQ(names.version.c_str(), c.version);
  // the product code is only asked for where the system has the function
  EXPECT_EQ(products.productCalls, c.platform == 2 && c.major >= 6 ? 1 : 0);
}

TEST(NameVersion, Win32sAndWindows9x) {
  const NameCase cases[] = {
      {"platform 0", 0, 0, 0, "", 0, 0, 0, "Microsoft Windows 3.1", "Microsoft Windows 3.1"},
      {"platform 0 ignores the rest", 0, 6, 1, "B", 256, 1, 1, "Microsoft Windows 3.1", "Microsoft Windows 3.1"},
      {"95", 1, 4, 0, "", 0, 0, 0, "Microsoft Windows 95", "Microsoft Windows 4.0"},
      {"95 B", 1, 4, 0, " B", 0, 0, 0, "Microsoft Windows 95 OSR2", "Microsoft Windows 4.0"},
      {"95 C", 1, 4, 0, " C", 0, 0, 0, "Microsoft Windows 95 OSR2", "Microsoft Windows 4.0"},
      {"95 b", 1, 4, 0, "b", 0, 0, 0, "Microsoft Windows 95 OSR2", "Microsoft Windows 4.0"},
      {"95 c", 1, 4, 0, "xcx", 0, 0, 0, "Microsoft Windows 95 OSR2", "Microsoft Windows 4.0"},
      {"95 A", 1, 4, 0, " A", 0, 0, 0, "Microsoft Windows 95", "Microsoft Windows 4.0"},
      {"98", 1, 4, 10, "", 0, 0, 0, "Microsoft Windows 98", "Microsoft Windows 4.10"},
      {"98 B", 1, 4, 10, " B", 0, 0, 0, "Microsoft Windows 98", "Microsoft Windows 4.10"},
      {"98 A", 1, 4, 10, " A ", 0, 0, 0, "Microsoft Windows 98 SE", "Microsoft Windows 4.10"},
      {"98 a", 1, 4, 10, "a", 0, 0, 0, "Microsoft Windows 98 SE", "Microsoft Windows 4.10"},
      {"Me", 1, 4, 90, "", 0, 0, 0, "Microsoft Windows Millenium Edition", "Microsoft Windows 4.90"},
      {"other minor", 1, 4, 3, "B", 0, 0, 0, "Microsoft Windows 4.3", "Microsoft Windows 4.3"},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, Nt4AndEarlierByProductType) {
  const NameCase cases[] = {
      {"NT 4 workstation", 2, 4, 0, "Service Pack 6", 0, 1, 0, "Microsoft Windows NT 专业版 4.0", "Microsoft Windows NT 4.0"},
      {"NT 4 server", 2, 4, 0, "", 0, 3, 0, "Microsoft Windows NT Server 4.0", "Microsoft Windows NT 4.0"},
      {"NT 4 domain controller", 2, 4, 0, "", 0, 2, 0, "Microsoft Windows NT 4.0", "Microsoft Windows NT 4.0"},
      {"NT 3.51", 2, 3, 51, "", 0, 1, 0, "Microsoft Windows NT 专业版 3.51", "Microsoft Windows NT 3.51"},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, Windows2000ByProductTypeThenSuite) {
  const char* v = "Microsoft Windows NT 5.0";
  const NameCase cases[] = {
      {"workstation", 2, 5, 0, "", 0, 1, 0, "Microsoft Windows 2000 专业版", v},
      {"workstation ignores suite", 2, 5, 0, "", 2, 1, 0, "Microsoft Windows 2000 专业版", v},
      {"server suite 1", 2, 5, 0, "", 1, 3, 0, "Microsoft Windows 2000 Server 中小型企业版", v},
      {"server suite 32", 2, 5, 0, "", 32, 3, 0, "Microsoft Windows 2000 Server 中小型企业版", v},
      {"server suite 2", 2, 5, 0, "", 2, 3, 0, "Microsoft Windows 2000 Server 企业版", v},
      {"server suite 128", 2, 5, 0, "", 128, 3, 0, "Microsoft Windows 2000 Server 数据中心版", v},
      {"server suite 0", 2, 5, 0, "", 0, 3, 0, "Microsoft Windows 2000 Server", v},
      {"server two bits", 2, 5, 0, "", 0x82, 3, 0, "Microsoft Windows 2000 Server", v},
      {"domain controller", 2, 5, 0, "", 2, 2, 0, "Microsoft Windows 2000", v},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, WindowsXpBySuiteAlone) {
  const char* v = "Microsoft Windows NT 5.1";
  const NameCase cases[] = {
      {"embedded", 2, 5, 1, "", 64, 1, 0, "Microsoft Windows XP 嵌入版", v},
      {"professional", 2, 5, 1, "Service Pack 3", 256, 1, 0, "Microsoft Windows XP 专业版", v},
      {"home", 2, 5, 1, "", 512, 1, 0, "Microsoft Windows XP 家庭版", v},
      {"no suite", 2, 5, 1, "", 0, 1, 0, "Microsoft Windows XP", v},
      {"two bits 0x300", 2, 5, 1, "", 0x300, 1, 0, "Microsoft Windows XP", v},
      {"server type still by suite", 2, 5, 1, "", 256, 3, 0, "Microsoft Windows XP 专业版", v},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, Server2003AndHomeServer) {
  const char* v = "Microsoft Windows NT 5.2";
  const NameCase cases[] = {
      {"standard", 2, 5, 2, "", 0, 3, 0, "Microsoft Windows Server 2003 标准版", v},
      {"enterprise", 2, 5, 2, "", 2, 3, 0, "Microsoft Windows Server 2003 企业版", v},
      {"datacenter", 2, 5, 2, "", 128, 3, 0, "Microsoft Windows Server 2003 数据中心版", v},
      {"web", 2, 5, 2, "", 1024, 3, 0, "Microsoft Windows Server 2003 Web服务器版", v},
      {"home server", 2, 5, 2, "", 0x8000, 3, 0, "Microsoft Windows Home Server", v},
      {"unlisted suite", 2, 5, 2, "", 0x112, 3, 0, "Microsoft Windows Server 2003", v},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, LaterNt5MinorsGetTheBuildSuffix) {
  const NameCase cases[] = {
      {"5.3", 2, 5, 3, "", 256, 1, 0, "Microsoft Windows NT 5.3" + kBuildSuffix, "Microsoft Windows NT 5.3"},
      {"5.12", 2, 5, 12, "", 0, 3, 0, "Microsoft Windows NT 5.12" + kBuildSuffix, "Microsoft Windows NT 5.12"},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, Nt6AndLaterByProductTypeAndCode) {
  const NameCase cases[] = {
      {"Vista", 2, 6, 0, "", 0, 1, 1, "Microsoft Windows Vista 旗舰版", "Microsoft Windows NT 6.0"},
      {"Server 2008", 2, 6, 0, "", 0, 3, 8, "Microsoft Windows Server 2008 数据中心版", "Microsoft Windows NT 6.0"},
      {"Server 2008 no code", 2, 6, 0, "", 0, 2, 0, "Microsoft Windows Server 2008", "Microsoft Windows NT 6.0"},
      {"7", 2, 6, 1, "", 0, 1, 1, "Microsoft Windows 7 旗舰版", "Microsoft Windows NT 6.1"},
      {"7 code 0x1C", 2, 6, 1, "", 0x100, 1, 0x1C, "Microsoft Windows 7 旗舰版", "Microsoft Windows NT 6.1"},
      {"2008 R2", 2, 6, 1, "", 0, 3, 42, "Microsoft Windows Server 2008 R2 Hyper-V版", "Microsoft Windows NT 6.1"},
      {"6.2", 2, 6, 2, "", 0, 1, 48, "Microsoft Windows NT 6.2 专业版" + kBuildSuffix, "Microsoft Windows NT 6.2"},
      {"6.3 no code", 2, 6, 3, "", 0, 1, 0, "Microsoft Windows NT 6.3" + kBuildSuffix, "Microsoft Windows NT 6.3"},
      {"7.0 workstation", 2, 7, 0, "", 0, 1, 4, "Microsoft Windows 8 企业版", "Microsoft Windows NT 7.0"},
      {"7.0 server", 2, 7, 0, "", 0, 3, 7, "Microsoft Windows Server 2011 标准版", "Microsoft Windows NT 7.0"},
      {"7.1", 2, 7, 1, "", 0, 1, 1, "Microsoft Windows NT 7.1 旗舰版" + kBuildSuffix, "Microsoft Windows NT 7.1"},
      {"10.0", 2, 10, 0, "", 0, 1, 48, "Microsoft Windows NT 10.0 专业版" + kBuildSuffix, "Microsoft Windows NT 10.0"},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, UnknownPlatformHasNoVersionText) {
  const NameCase cases[] = {
      {"platform 3", 3, 6, 1, "", 0, 1, 1, "版本未知，请使用本程序最新版本以获得准确数据", ""},
      {"platform max", 0xFFFFFFFF, 5, 1, "", 256, 1, 0, "版本未知，请使用本程序最新版本以获得准确数据", ""},
  };
  for (const NameCase& c : cases) ExpectNames(c);
}

TEST(NameVersion, ProductCodeIsAskedWithVersionAndServicePack) {
  FakeVersionSource products;
  OSVERSIONINFOEXA record = MakeRecord(2, 6, 1, "Service Pack 1", 0, 1);
  record.wServicePackMajor = 1;
  record.wServicePackMinor = 2;
  NameVersion(record, products);
  ASSERT_EQ(products.productCalls, 1);
  EXPECT_EQ(products.productArguments, (std::array<DWORD, 4>{6, 1, 1, 2}));
}

// Every code of the edition table, independently written out, and the codes
// around and beyond it, through the Windows 7 name.
TEST(NameVersion, EditionByEveryProductCode) {
  const std::map<std::string, std::initializer_list<DWORD>> groups = {
      {" 旗舰版", {1, 28, 71}},
      {" 家庭基础版", {2, 5, 67}},
      {" 家庭高级版", {3, 26, 68}},
      {" 企业版", {4, 10, 14, 15, 27, 38, 41, 70}},
      {" 商业版", {6, 16}},
      {" 标准版", {7, 13, 36, 40}},
      {" 数据中心版", {8, 12, 37, 39}},
      {" 中小型企业版", {9}},
      {" 简易版", {11, 47, 66}},
      {" Web服务器版", {17, 29}},
      {" 高性能计算服务器版", {18}},
      {" 存储服务器特别版", {20}},
      {" 存储服务器标准版", {21}},
      {" 存储服务器工作组版", {22}},
      {" 存储服务器企业版", {23}},
      {" 基础商业服务器版", {24, 30, 31, 32, 35}},
      {" 服务器简易版", {33}},
      {" Hyper-V版", {42}},
      {" 专业版", {48, 49, 69}},
  };
  std::map<DWORD, std::string> expected;
  for (const auto& [edition, codes] : groups)
    for (DWORD code : codes) ASSERT_TRUE(expected.emplace(code, edition).second) << code;
  ASSERT_EQ(expected.size(), 48u);

  std::vector<DWORD> codes;
  for (DWORD code = 0; code <= 120; ++code) codes.push_back(code);
  // codes that share their low bits with listed ones
  for (DWORD code : {0x1001Cu, 0x101u, 0x80000001u, 0xFFFFFFFFu}) codes.push_back(code);

  for (DWORD code : codes) {
    SCOPED_TRACE(code);
    FakeVersionSource products;
    products.productCode = code;
    const VersionNames names = NameVersion(MakeRecord(2, 6, 1, "", 0, 1), products);
    const auto found = expected.find(code);
    EXPECT_EQ(names.name.c_str(),
              "Microsoft Windows 7" + (found == expected.end() ? std::string() : found->second));
  }
}

TEST(NameVersion, TextsAreGbkBytes) {
  FakeVersionSource products;
  products.productCode = 1;
  const VersionNames names = NameVersion(MakeRecord(2, 6, 1, "", 0, 1), products);
  EXPECT_STREQ(names.name.c_str(), "Microsoft Windows 7 \xC6\xEC\xBD\xA2\xB0\xE6");
}

TEST(ServicePackText, StopsAtTheEndOfAnUnterminatedField) {
  OSVERSIONINFOEXA record{};
  std::memset(record.szCSDVersion, 'x', sizeof record.szCSDVersion);
  record.wServicePackMajor = 0x4141;  // bytes right after the field
  EXPECT_EQ(std::string(ServicePackText(record).c_str()), std::string(128, 'x'));
}

TEST(NameVersion, UnterminatedServicePackIsSearchedWithinItsBounds) {
  // an 'A' just past the field must not make this 98 SE
  OSVERSIONINFOEXA record = MakeRecord(1, 4, 10);
  std::memset(record.szCSDVersion, 'x', sizeof record.szCSDVersion);
  record.wServicePackMajor = 0x4141;
  FakeVersionSource products;
  EXPECT_STREQ(NameVersion(record, products).name.c_str(), "Microsoft Windows 98");
}

}  // namespace
