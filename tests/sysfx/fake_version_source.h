#pragma once
// A version source that answers a fixed record and product code and records
// how it was asked.
#include <windows.h>

#include <array>
#include <cstring>

#include "sysfx/version_source.h"

namespace snipora::testing {

inline OSVERSIONINFOEXA MakeRecord(DWORD platform, DWORD major, DWORD minor,
                                   const char* servicePack = "", WORD suiteMask = 0,
                                   BYTE productType = 0) {
  OSVERSIONINFOEXA record{};
  record.dwPlatformId = platform;
  record.dwMajorVersion = major;
  record.dwMinorVersion = minor;
  std::strncpy(record.szCSDVersion, servicePack, sizeof record.szCSDVersion - 1);
  record.wSuiteMask = suiteMask;
  record.wProductType = productType;
  return record;
}

class FakeVersionSource : public VersionSource {
 public:
  OSVERSIONINFOEXA record{};  // copied over the caller's record, all but the size field
  bool readSucceeds = true;
  bool writesOnFailure = false;
  DWORD productCode = 0;

  mutable int reads = 0;
  mutable bool everyReadStartedClean = true;  // zeroed, size field 156
  mutable int productCalls = 0;
  mutable std::array<DWORD, 4> productArguments{};

  bool Read(OSVERSIONINFOEXA& out) const override {
    ++reads;
    OSVERSIONINFOEXA clean{};
    clean.dwOSVersionInfoSize = 156;
    if (std::memcmp(&out, &clean, sizeof out) != 0) everyReadStartedClean = false;
    if (readSucceeds || writesOnFailure) {
      const DWORD size = out.dwOSVersionInfoSize;
      out = record;
      out.dwOSVersionInfoSize = size;
    }
    return readSucceeds;
  }

  DWORD ProductCode(DWORD major, DWORD minor, DWORD servicePackMajor,
                    DWORD servicePackMinor) const override {
    ++productCalls;
    productArguments = {major, minor, servicePackMajor, servicePackMinor};
    return productCode;
  }
};

}  // namespace snipora::testing
