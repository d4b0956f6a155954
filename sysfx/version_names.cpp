#include "sysfx/version_names.h"

#include <charconv>
#include <cstdint>
#include <span>

namespace snipora {
namespace {

constexpr char kBuildSuffix[] = "（内部版本号，请使用本程序最新版本以获得准确数据）";
constexpr char kUnknownVersion[] = "版本未知，请使用本程序最新版本以获得准确数据";

constexpr BYTE kWorkstation = 1;
constexpr BYTE kServer = 3;

struct ProductEdition {
  DWORD code;
  const char* edition;
};

constexpr ProductEdition kProductEditions[] = {
    {1, " 旗舰版"}, {28, " 旗舰版"}, {71, " 旗舰版"},
    {2, " 家庭基础版"}, {5, " 家庭基础版"}, {67, " 家庭基础版"},
    {3, " 家庭高级版"}, {26, " 家庭高级版"}, {68, " 家庭高级版"},
    {4, " 企业版"}, {10, " 企业版"}, {14, " 企业版"}, {15, " 企业版"},
    {27, " 企业版"}, {38, " 企业版"}, {41, " 企业版"}, {70, " 企业版"},
    {6, " 商业版"}, {16, " 商业版"},
    {7, " 标准版"}, {13, " 标准版"}, {36, " 标准版"}, {40, " 标准版"},
    {8, " 数据中心版"}, {12, " 数据中心版"}, {37, " 数据中心版"}, {39, " 数据中心版"},
    {9, " 中小型企业版"},
    {11, " 简易版"}, {47, " 简易版"}, {66, " 简易版"},
    {17, " Web服务器版"}, {29, " Web服务器版"},
    {18, " 高性能计算服务器版"},
    {20, " 存储服务器特别版"},
    {21, " 存储服务器标准版"},
    {22, " 存储服务器工作组版"},
    {23, " 存储服务器企业版"},
    {24, " 基础商业服务器版"}, {30, " 基础商业服务器版"}, {31, " 基础商业服务器版"},
    {32, " 基础商业服务器版"}, {35, " 基础商业服务器版"},
    {33, " 服务器简易版"},
    {42, " Hyper-V版"},
    {48, " 专业版"}, {49, " 专业版"}, {69, " 专业版"},
};

const char* EditionOfProductCode(DWORD code) {
  for (const ProductEdition& entry : kProductEditions)
    if (entry.code == code) return entry.edition;
  return "";
}

// The service-pack searches fold case.
bool Mentions(const Text& servicePack, const char* letter) {
  return FindText(servicePack, letter, 1, true) != -1;
}

VersionNames NameWindows9x(const OSVERSIONINFOEXA& record) {
  VersionNames names;
  names.version = JoinText("Microsoft Windows 4.", DecimalText(record.dwMinorVersion));
  const Text servicePack = ServicePackText(record);
  switch (record.dwMinorVersion) {
    case 0:
      names.name = ToText(Mentions(servicePack, "B") || Mentions(servicePack, "C")
                              ? "Microsoft Windows 95 OSR2"
                              : "Microsoft Windows 95");
      break;
    case 10:
      names.name = ToText(Mentions(servicePack, "A") ? "Microsoft Windows 98 SE"
                                                     : "Microsoft Windows 98");
      break;
    case 90:
      names.name = ToText("Microsoft Windows Millenium Edition");
      break;
    default:
      names.name = ToText(names.version);
      break;
  }
  return names;
}

// Suite masks and product types are compared whole: several bits match none.
const char* Windows2000Edition(BYTE productType, WORD suiteMask) {
  if (productType == kWorkstation) return " 专业版";
  if (productType != kServer) return "";
  switch (suiteMask) {
    case 1:
    case 32: return " Server 中小型企业版";
    case 2: return " Server 企业版";
    case 128: return " Server 数据中心版";
    default: return " Server";
  }
}

const char* WindowsXpEdition(WORD suiteMask) {
  switch (suiteMask) {
    case 64: return " 嵌入版";
    case 256: return " 专业版";
    case 512: return " 家庭版";
    default: return "";
  }
}

const char* Server2003Edition(WORD suiteMask) {
  switch (suiteMask) {
    case 0: return " 标准版";
    case 2: return " 企业版";
    case 128: return " 数据中心版";
    case 1024: return " Web服务器版";
    default: return "";
  }
}

Text NameNt5(const OSVERSIONINFOEXA& record, const Text& version) {
  const WORD suiteMask = record.wSuiteMask;
  switch (record.dwMinorVersion) {
    case 0:
      return JoinText("Microsoft Windows 2000", Windows2000Edition(record.wProductType, suiteMask));
    case 1:
      return JoinText("Microsoft Windows XP", WindowsXpEdition(suiteMask));
    case 2:
      return JoinText(suiteMask == 0x8000 ? "Microsoft Windows Home Server"
                                          : "Microsoft Windows Server 2003",
                      Server2003Edition(suiteMask));
    default:
      return JoinText(version, kBuildSuffix);
  }
}

Text NameNt6OrLater(const OSVERSIONINFOEXA& record, const Text& version,
                    const VersionSource& products) {
  const DWORD major = record.dwMajorVersion;
  const DWORD minor = record.dwMinorVersion;
  const char* edition = EditionOfProductCode(
      products.ProductCode(major, minor, record.wServicePackMajor, record.wServicePackMinor));
  const bool workstation = record.wProductType == kWorkstation;
  if (major == 6 && minor == 0)
    return JoinText(workstation ? "Microsoft Windows Vista" : "Microsoft Windows Server 2008", edition);
  if (major == 6 && minor == 1)
    return JoinText(workstation ? "Microsoft Windows 7" : "Microsoft Windows Server 2008 R2", edition);
  if (major == 6) return JoinText("Microsoft Windows NT 6.", DecimalText(minor), edition, kBuildSuffix);
  if (major == 7 && minor == 0)
    return JoinText(workstation ? "Microsoft Windows 8" : "Microsoft Windows Server 2011", edition);
  return JoinText(version, edition, kBuildSuffix);
}

VersionNames NameWindowsNt(const OSVERSIONINFOEXA& record, const VersionSource& products) {
  const DWORD major = record.dwMajorVersion;
  const DWORD minor = record.dwMinorVersion;
  VersionNames names;
  names.version = JoinText("Microsoft Windows NT ", DecimalText(major), ".", DecimalText(minor));
  if (major <= 4) {
    const char* edition = record.wProductType == kWorkstation ? " 专业版 "
                          : record.wProductType == kServer    ? " Server "
                                                              : " ";
    names.name = JoinText("Microsoft Windows NT", edition, DecimalText(major), ".", DecimalText(minor));
  } else if (major == 5) {
    names.name = NameNt5(record, names.version);
  } else {
    names.name = NameNt6OrLater(record, names.version, products);
  }
  return names;
}

}  // namespace

Text ServicePackText(const OSVERSIONINFOEXA& record) {
  return ToText(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(record.szCSDVersion),
                                         sizeof record.szCSDVersion));
}

Text DecimalText(DWORD value) {
  char digits[16];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  return TextFromBytes(digits, static_cast<std::size_t>(end.ptr - digits));
}

VersionNames NameVersion(const OSVERSIONINFOEXA& record, const VersionSource& products) {
  switch (record.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return {ToText("Microsoft Windows 3.1"), ToText("Microsoft Windows 3.1")};
    case VER_PLATFORM_WIN32_WINDOWS:
      return NameWindows9x(record);
    case VER_PLATFORM_WIN32_NT:
      return NameWindowsNt(record, products);
    default:
      return {Text(), ToText(kUnknownVersion)};
  }
}

}  // namespace snipora
