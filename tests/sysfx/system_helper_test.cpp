#include "sysfx/system_helper.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <string>

#include "fake_version_source.h"

using namespace snipora;
using snipora::testing::FakeVersionSource;
using snipora::testing::MakeRecord;

namespace {

std::string Kind(const SystemHelper& helper, int32_t kind) {
  return helper.GetSystemVersionText(kind).c_str();
}

FakeVersionSource Windows7Ultimate() {
  FakeVersionSource source;
  source.record = MakeRecord(2, 6, 1, "Service Pack 1", 0x100, 1);
  source.record.dwBuildNumber = 7601;
  source.record.wServicePackMajor = 1;
  source.productCode = 1;
  return source;
}

TEST(SystemVersionText, EveryKind) {
  const FakeVersionSource source = Windows7Ultimate();
  const SystemHelper helper(source);
  EXPECT_EQ(Kind(helper, 1), "Microsoft Windows 7 旗舰版");
  EXPECT_EQ(Kind(helper, 2), "Service Pack 1");
  EXPECT_EQ(Kind(helper, 3), "7601");
  EXPECT_EQ(Kind(helper, 4), "Microsoft Windows NT 6.1");
  EXPECT_EQ(Kind(helper, 5), "1.0");
  for (int32_t unlisted : {0, 6, -1, INT32_MIN, INT32_MAX})
    EXPECT_EQ(Kind(helper, unlisted), "Microsoft Windows 7 旗舰版") << unlisted;
}

TEST(SystemVersionText, NumbersAreUnsignedDecimal) {
  FakeVersionSource source;
  source.record = MakeRecord(2, 5, 1, "Service Pack 3", 256, 1);
  source.record.dwBuildNumber = 0x80000000u;
  source.record.wServicePackMajor = 3;
  source.record.wServicePackMinor = 0xFFFF;
  const SystemHelper helper(source);
  EXPECT_EQ(Kind(helper, 3), "2147483648");
  EXPECT_EQ(Kind(helper, 5), "3.65535");
  source.record.wServicePackMinor = 0;
  EXPECT_EQ(Kind(helper, 5), "3.0");
}

TEST(SystemVersionText, ReadsAZeroedRecordOfSize156EveryCall) {
  const FakeVersionSource source = Windows7Ultimate();
  const SystemHelper helper(source);
  for (int32_t kind = 1; kind <= 5; ++kind) helper.GetSystemVersionText(kind);
  helper.IsWindowsNt60Or61();
  EXPECT_EQ(source.reads, 6);
  EXPECT_TRUE(source.everyReadStartedClean);
}

TEST(SystemVersionText, RejectedRecordReadsAsWin32s) {
  for (bool writesOnFailure : {false, true}) {
    SCOPED_TRACE(writesOnFailure);
    FakeVersionSource source = Windows7Ultimate();
    source.readSucceeds = false;
    source.writesOnFailure = writesOnFailure;  // whatever a failed call left behind
    const SystemHelper helper(source);
    EXPECT_EQ(Kind(helper, 1), "Microsoft Windows 3.1");
    EXPECT_EQ(Kind(helper, 2), "");
    EXPECT_EQ(Kind(helper, 3), "0");
    EXPECT_EQ(Kind(helper, 4), "Microsoft Windows 3.1");
    EXPECT_EQ(Kind(helper, 5), "0.0");
    EXPECT_FALSE(helper.IsWindowsNt60Or61());
    EXPECT_EQ(source.productCalls, 0);
  }
}

TEST(IsWindowsNt60Or61, ExactlyNt60AndNt61) {
  struct Case {
    DWORD platform, major, minor;
    BYTE productType;
    bool expected;
  };
  const Case cases[] = {
      {2, 6, 0, 1, true},   {2, 6, 0, 3, true},   {2, 6, 1, 1, true},   {2, 6, 1, 3, true},
      {2, 6, 2, 1, false},  {2, 6, 10, 1, false}, {2, 6, 11, 1, false}, {2, 16, 1, 1, false},
      {2, 5, 1, 1, false},  {2, 7, 0, 1, false},  {2, 10, 0, 1, false}, {1, 6, 1, 0, false},
      {0, 6, 1, 1, false},  {3, 6, 1, 1, false},
  };
  for (const Case& c : cases) {
    FakeVersionSource source;
    source.record = MakeRecord(c.platform, c.major, c.minor, "", 0, c.productType);
    source.productCode = 1;
    EXPECT_EQ(SystemHelper(source).IsWindowsNt60Or61(), c.expected)
        << c.platform << " " << c.major << "." << c.minor << " type " << int{c.productType};
  }
}

TEST(SystemHelperObject, CloneAnswersFromTheSameSourceAndOutlivesTheOriginal) {
  FakeVersionSource source = Windows7Ultimate();
  auto original = std::make_unique<SystemHelper>(source);
  std::unique_ptr<SystemHelper> clone = original->Clone();
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(clone.get(), original.get());
  original.reset();
  EXPECT_TRUE(clone->IsWindowsNt60Or61());
  source.record.dwMinorVersion = 2;
  EXPECT_FALSE(clone->IsWindowsNt60Or61());
  EXPECT_EQ(Kind(*clone, 4), "Microsoft Windows NT 6.2");
}

// A virtual operation's place in the class's table of operations: the C++
// ABI of the compiler keeps 1 + its byte offset in a pointer to it.
template <class Operation>
std::ptrdiff_t PlaceOf(Operation operation) {
  std::ptrdiff_t raw = 0;
  std::memcpy(&raw, &operation, sizeof raw);
  return (raw - 1) / std::ptrdiff_t(sizeof(void*));
}

TEST(SystemHelperObject, OperationTableInItsFixedOrder) {
  // places 0 and 1 are the two entries of the destructor
  EXPECT_EQ(PlaceOf(&SystemHelper::Clone), 2);
  EXPECT_EQ(PlaceOf(&SystemHelper::IsWindowsNt60Or61), 3);
  EXPECT_EQ(PlaceOf(&SystemHelper::MakeGlassWindow), 4);
  EXPECT_EQ(PlaceOf(&SystemHelper::RoundButtonRegion), 5);
  EXPECT_EQ(PlaceOf(&SystemHelper::RoundEditRegion), 6);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachButton), 7);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachEditBox), 8);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachShapeBox), 9);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachGroupBox), 10);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachRadioBox), 11);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachLabel), 12);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachPicBox), 13);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachCheckBox), 14);
  EXPECT_EQ(PlaceOf(&SystemHelper::ForEachTab), 15);
}

}  // namespace
