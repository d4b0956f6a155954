// The program file's resources: version record, manifest and icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "tests/support/child_process.h"

using namespace snipora::test;

namespace {

std::string ProgramPath() { return TestProgramFolder() + "Snipora.exe"; }

class VersionRecord {
 public:
  VersionRecord() {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(ProgramPath().c_str(), &ignored);
    data_.resize(size);
    ok_ = size && GetFileVersionInfoA(ProgramPath().c_str(), 0, size, data_.data());
  }
  bool ok() const { return ok_; }
  std::string Text(const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\080403a8\\") + name;
    if (!VerQueryValueA(data_.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return {};
    return value;
  }
  template <class T>
  const T* Block(const char* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), path, &value, &length) || length < sizeof(T)) return nullptr;
    return static_cast<const T*>(value);
  }

 private:
  std::string data_;
  bool ok_ = false;
};

TEST(ProgramResources, VersionRecord) {
  VersionRecord record;
  ASSERT_TRUE(record.ok());
  const auto* fixed = record.Block<VS_FIXEDFILEINFO>("\\");
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  const auto* translation = record.Block<WORD[2]>("\\VarFileInfo\\Translation");
  ASSERT_NE(translation, nullptr);
  EXPECT_EQ((*translation)[0], 0x0804);
  EXPECT_EQ((*translation)[1], 936);
  EXPECT_EQ(record.Text("FileDescription"), "将麻烦的长网址缩短成超短网址。");
  EXPECT_EQ(record.Text("ProductName"), "Snipora");
  EXPECT_EQ(record.Text("CompanyName"), "Morvik");
  EXPECT_EQ(record.Text("FileVersion"), "1.0.0.0");
}

class ProgramModule : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { FreeLibrary(module_); }
  std::string Resource(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module_, name, type);
    if (!found) return {};
    const void* bytes = LockResource(LoadResource(module_, found));
    return std::string(static_cast<const char*>(bytes), SizeofResource(module_, found));
  }
  HMODULE module_ = nullptr;
};

TEST_F(ProgramModule, ManifestAsksForCommonControls6) {
  const std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_FALSE(manifest.empty());
  const auto dependency = manifest.find("name=\"Microsoft.Windows.Common-Controls\"");
  ASSERT_NE(dependency, std::string::npos);
  const std::string identity = manifest.substr(manifest.rfind('<', dependency), 300);
  EXPECT_NE(identity.find("version=\"6.0.0.0\""), std::string::npos);
#if defined(__i386__)
  EXPECT_NE(identity.find("processorArchitecture=\"x86\""), std::string::npos);
#else
  EXPECT_NE(identity.find("processorArchitecture=\"amd64\""), std::string::npos);
#endif
}

// Vista and later: no installer detection, no virtualisation; and no
// supportedOS, which would change what the version query answers on 8.1 and
// later. The program's own identity carries the version record's version.
TEST_F(ProgramModule, ManifestRunsAsInvokerUnderTheRecordsVersion) {
  const std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
  EXPECT_EQ(manifest.find("supportedOS"), std::string::npos);
  const auto own = manifest.find("name=\"Morvik.Snipora\"");
  ASSERT_NE(own, std::string::npos);
  const std::string identity = manifest.substr(own, manifest.find("/>", own) - own);
  const std::string version = VersionRecord().Text("FileVersion");
  ASSERT_FALSE(version.empty());
  EXPECT_NE(identity.find("version=\"" + version + "\""), std::string::npos) << identity;
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ProgramModule, ProgramIconHasFiveTrueColourSizes) {
  const std::string group = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_GE(group.size(), 6u);
  const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
  ASSERT_EQ(count, 5);
  ASSERT_GE(group.size(), 6u + count * sizeof(IconGroupEntry));
  std::set<int> sizes;
  for (int i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const IconGroupEntry*>(group.data() + 6 + i * sizeof(IconGroupEntry));
    sizes.insert(entry->width ? entry->width : 256);
    EXPECT_EQ(entry->width, entry->height);
    EXPECT_EQ(entry->bitCount, 32);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 32, 48, 128, 256}));
}

}  // namespace
