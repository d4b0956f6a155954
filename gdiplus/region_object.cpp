#include "gdiplus/region_object.h"

namespace snipora {

RegionObject::~RegionObject() { GdipDeleteRegion(); }

std::unique_ptr<GdiplusObject> RegionObject::Clone() const {
  return std::unique_ptr<GdiplusObject>(new RegionObject(*this));
}

void RegionObject::OnNativeChanged(void* handle) { region_ = static_cast<GpRegion*>(handle); }

bool RegionObject::GdipDeleteRegion() {
  if (!region_) return false;
  const GpStatus status = flat::GdipDeleteRegion(region_);
  SetNative(nullptr);
  return Succeeded(status);
}

bool RegionObject::GdipCloneRegion(GdiplusObject& target) {
  GpRegion* copy = nullptr;
  if (!Succeeded(flat::GdipCloneRegion(region_, &copy))) return false;
  target.SetNative(copy);
  return true;
}

#define SNIPORA_REGION_OPERATION(...) SNIPORA_OPERATION_DEFINITION(RegionObject, region_, __VA_ARGS__)
SNIPORA_GDIPLUS_REGION_FUNCTIONS(SNIPORA_REGION_OPERATION)

}  // namespace snipora
