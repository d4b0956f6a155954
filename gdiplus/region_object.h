#pragma once
// RegionObject: a GDI+ region handle. Its operations follow the base ones in
// the order of its flat-function list: GdipDeleteRegion (delete) first, then
// creating, changing and querying.
#include <memory>

#include "gdiplus/gdiplus_object.h"
#include "gdiplus/object_operations.h"

#define SNIPORA_HAND_GdipDeleteRegion                                                              \
  /* false, and nothing called, when there is no region */                                         \
  virtual bool GdipDeleteRegion();
#define SNIPORA_HAND_GdipCloneRegion                                                               \
  /* the copy goes to `target` through its SetNative; what it held is not deleted */               \
  virtual bool GdipCloneRegion(GdiplusObject& target);

namespace snipora {

class RegionObject : public GdiplusObject {
 public:
  RegionObject() noexcept = default;
  ~RegionObject() override;  // runs GdipDeleteRegion
  [[nodiscard]] std::unique_ptr<GdiplusObject> Clone() const override;
  void OnNativeChanged(void* handle) override;
  SNIPORA_GDIPLUS_REGION_FUNCTIONS(SNIPORA_OPERATION_DECLARATION)

  GpRegion* region() const noexcept { return region_; }

 protected:
  RegionObject(const RegionObject&) = default;  // for Clone

 private:
  void ReleaseHandle() { GdipDeleteRegion(); }

  GpRegion* region_ = nullptr;
};

}  // namespace snipora
