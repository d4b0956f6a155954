#include "sysfx/system_helper.h"

#include <utility>

#include "sysfx/version_names.h"

namespace snipora {

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "the size the system expects in the record");

std::unique_ptr<SystemHelper> SystemHelper::Clone() const {
  return std::unique_ptr<SystemHelper>(new SystemHelper(*this));
}

bool SystemHelper::IsWindowsNt60Or61() const {
  const Text version = GetSystemVersionText(kVersionShort);
  return CompareText(version, "Microsoft Windows NT 6.1") == 0 ||
         CompareText(version, "Microsoft Windows NT 6.0") == 0;
}

OSVERSIONINFOEXA SystemHelper::ReadRecord() const {
  OSVERSIONINFOEXA record{};
  record.dwOSVersionInfoSize = sizeof record;
  if (!source_->Read(record)) {
    // a rejected call reads as platform 0, whatever it may have left behind
    record = OSVERSIONINFOEXA{};
    record.dwOSVersionInfoSize = sizeof record;
  }
  return record;
}

Text SystemHelper::GetSystemVersionText(int32_t kind) const {
  const OSVERSIONINFOEXA record = ReadRecord();
  switch (kind) {
    case kVersionServicePack:
      return ServicePackText(record);
    case kVersionBuild:
      return DecimalText(record.dwBuildNumber);
    case kVersionServicePackNumber:
      return JoinText(DecimalText(record.wServicePackMajor), ".", DecimalText(record.wServicePackMinor));
    case kVersionShort:
      return std::move(NameVersion(record, *source_).version);
    default:
      return std::move(NameVersion(record, *source_).name);
  }
}

}  // namespace snipora
