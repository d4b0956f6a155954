#pragma once
// SystemHelper: system information and window effects. Its table of virtual
// operations, in this order: destroy, clone, IsWindowsNt60Or61, the glass and
// region operations, then the nine control-kind operations.
#include <cstdint>
#include <memory>

#include "runtime/bits.h"
#include "runtime/forms/form_runtime.h"
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

// The colour that a glass window makes transparent.
inline constexpr Color kGlassKeyColor = MakeColor(227, 237, 246);
static_assert(kGlassKeyColor == 0x00F6EDE3);

// The kinds whose controls MakeGlassWindow prepares as well, in the order of
// its arguments; all off unless named.
struct GlassControlKinds {
  bool buttons = false;
  bool editBoxes = false;
  bool shapeBoxes = false;
  bool groupBoxes = false;
  bool radioBoxes = false;
  bool labels = false;
  bool picBoxes = false;
  bool tabs = false;
  bool checkBoxes = false;
};

struct GlassKind;

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

  // Gives the window (identifier or unit) the key colour as background and
  // keeps its frame active; with desktop composition on, also makes it
  // layered with that colour transparent, extends the glass over the whole
  // client area and prepares the controls of the chosen kinds.
  virtual void MakeGlassWindow(uint32_t window, const GlassControlKinds& kinds = {}) const;
  // Clips a button or edit box to its rectangle less the top and left
  // pixel, with 2 by 2 rounded corners. Nonzero when the window took the
  // region.
  virtual int32_t RoundButtonRegion(const ControlReference& button) const;
  virtual int32_t RoundEditRegion(const ControlReference& editBox) const;

  // Each prepares every control of its kind in the window for glass (rounded
  // buttons and edit boxes, the key colour as background for the others) and
  // answers how many controls the window listed, of every kind.
  virtual int32_t ForEachButton(uint32_t window) const;
  virtual int32_t ForEachEditBox(uint32_t window) const;
  virtual int32_t ForEachShapeBox(uint32_t window) const;
  virtual int32_t ForEachGroupBox(uint32_t window) const;
  virtual int32_t ForEachRadioBox(uint32_t window) const;
  virtual int32_t ForEachLabel(uint32_t window) const;
  virtual int32_t ForEachPicBox(uint32_t window) const;
  virtual int32_t ForEachCheckBox(uint32_t window) const;
  virtual int32_t ForEachTab(uint32_t window) const;

  // Reads the version record afresh on every call; a new text for the caller.
  Text GetSystemVersionText(int32_t kind) const;

 protected:
  SystemHelper(const SystemHelper&) = default;  // for Clone

 private:
  int32_t PrepareKind(uint32_t window, const GlassKind& kind) const;
  OSVERSIONINFOEXA ReadRecord() const;

  const VersionSource* source_;
};

}  // namespace snipora
