// Run as `sysfx_version_live_test <personality>` under the emulator's Windows
// personality of that name ("default": none set for the program): checks what
// the program makes of the real system calls there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/system_functions.h"
#include "sysfx/system_helper.h"
#include "tests/support/program_exit.h"

using namespace snipora;

namespace {

struct Personality {
  const char* winver;
  std::string name;
  const char* version;
  const char* servicePack;
  const char* build;
  const char* servicePackNumber;
  bool nt60Or61;
  bool asksProductCode;
};

const std::string kBuildSuffix = "（内部版本号，请使用本程序最新版本以获得准确数据）";

// What the emulator reports, from NT 6 on with product code 0x1C for a
// workstation and 7 for a server:
// - default: the prefix's own setting, Windows 7 SP1 workstation, 6.1.7601;
// - winxp: 5.1.2600 SP3 with the single-user terminal-services suite (0x100);
// - vista: 6.0.6002 SP2;
// - win7: 6.1.7601 SP1, but set for one program this personality reports a
//   server product type (its workstation twin is the prefix default above);
// - win10: 6.2.9200, as for any program without a supportedOS manifest entry.
const Personality kPersonalities[] = {
    {"default", "Microsoft Windows 7 旗舰版", "Microsoft Windows NT 6.1", "Service Pack 1", "7601", "1.0",
     true, true},
    {"winxp", "Microsoft Windows XP 专业版", "Microsoft Windows NT 5.1", "Service Pack 3", "2600", "3.0",
     false, false},
    {"vista", "Microsoft Windows Vista 旗舰版", "Microsoft Windows NT 6.0", "Service Pack 2", "6002", "2.0",
     true, true},
    {"win7", "Microsoft Windows Server 2008 R2 标准版", "Microsoft Windows NT 6.1", "Service Pack 1", "7601",
     "1.0", true, true},
    {"win10", "Microsoft Windows NT 6.2 旗舰版" + kBuildSuffix, "Microsoft Windows NT 6.2", "", "9200", "0.0",
     false, true},
};

const Personality* expected = nullptr;

std::string Kind(int32_t kind) { return SystemHelper().GetSystemVersionText(kind).c_str(); }

TEST(LiveSystemVersion, TextsOfEveryKind) {
  for (int32_t kind = 1; kind <= 5; ++kind) std::printf("kind %d: %s\n", kind, Kind(kind).c_str());
  EXPECT_EQ(Kind(1), expected->name);
  EXPECT_EQ(Kind(2), expected->servicePack);
  EXPECT_EQ(Kind(3), expected->build);
  EXPECT_EQ(Kind(4), expected->version);
  EXPECT_EQ(Kind(5), expected->servicePackNumber);
}

TEST(LiveSystemVersion, ChoosesTheGlassWindowOnlyOnNt60And61) {
  EXPECT_EQ(SystemHelper().IsWindowsNt60Or61(), expected->nt60Or61);
}

TEST(LiveSystemVersion, ProductCodeIsBoundOnlyFromNt6On) {
  // XP has no GetProductInfo: binding it there would end the program
  SystemHelper().GetSystemVersionText(1);
  EXPECT_EQ(sys::GetProductInfo.entry().address != nullptr, expected->asksProductCode);
}

}  // namespace

static int ProgramMain(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (const Personality& p : kPersonalities)
    if (argc == 2 && std::strcmp(argv[1], p.winver) == 0) expected = &p;
  if (!expected) {
    std::fprintf(stderr, "usage: sysfx_version_live_test default|winxp|vista|win7|win10\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
