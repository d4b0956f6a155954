#pragma once
// Where the version record and the product code come from: the running system
// by default, a fixed record in tests.
#include <windows.h>

namespace snipora {

class VersionSource {
 public:
  virtual ~VersionSource() = default;
  // Fills `record`, whose size field is already set. False when the system
  // rejects the extended record.
  virtual bool Read(OSVERSIONINFOEXA& record) const = 0;
  // The product code for this version, 0 when there is none.
  virtual DWORD ProductCode(DWORD major, DWORD minor, DWORD servicePackMajor,
                            DWORD servicePackMinor) const = 0;
};

// Asks the system through the late-bound function table.
const VersionSource& SystemVersionSource();

}  // namespace snipora
