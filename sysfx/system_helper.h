#pragma once
// SystemHelper: system information and window effects. Its table of virtual
// operations starts with destroy, clone and IsWindowsNt60Or61; the glass,
// region and control-kind operations follow in that order as they arrive.
#include <cstdint>
#include <memory>

#include "runtime/text.h"
#include "sysfx/version_source.h"

namespace snipora {

// What GetSystemVersionText answers.
enum SystemVersionKind : int32_t {
  kVersionName = 1,               // full name with edition; also for every unlisted kind
  kVersionServicePack = 2,        // the system's service-pack text
  kVersionBuild = 3,              // build number in decimal
  kVersionShort = 4,              // "Microsoft Windows NT 6.1" and the like
  kVersionServicePackNumber = 5,  // service-pack major "." minor
};

class SystemHelper {
 public:
  // Describes the running system.
  SystemHelper() noexcept : SystemHelper(SystemVersionSource()) {}
  // `source` must outlive this helper and its clones.
  explicit SystemHelper(const VersionSource& source) noexcept : source_(&source) {}
  SystemHelper& operator=(const SystemHelper&) = delete;

  virtual ~SystemHelper() = default;  // holds nothing to release
  [[nodiscard]] virtual std::unique_ptr<SystemHelper> Clone() const;
  // True on NT 6.0 and 6.1 (Vista, 7, Server 2008 and 2008 R2).
  virtual bool IsWindowsNt60Or61() const;

  // Reads the version record afresh on every call; a new text for the caller.
  Text GetSystemVersionText(int32_t kind) const;

 protected:
  SystemHelper(const SystemHelper&) = default;  // for Clone

 private:
  OSVERSIONINFOEXA ReadRecord() const;

  const VersionSource* source_;
};

}  // namespace snipora
