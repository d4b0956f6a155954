#include "sysfx/version_source.h"

#include "runtime/system_functions.h"

namespace snipora {
namespace {

class SystemSource final : public VersionSource {
 public:
  bool Read(OSVERSIONINFOEXA& record) const override {
    // the extended record begins with the basic one; the size field tells
    // the system which of the two it was given
    return sys::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record)) != FALSE;
  }

  DWORD ProductCode(DWORD major, DWORD minor, DWORD servicePackMajor,
                    DWORD servicePackMinor) const override {
    DWORD code = 0;
    if (!sys::GetProductInfo(major, minor, servicePackMajor, servicePackMinor, &code)) return 0;
    return code;
  }
};

}  // namespace

const VersionSource& SystemVersionSource() {
  static const SystemSource source;
  return source;
}

}  // namespace snipora
