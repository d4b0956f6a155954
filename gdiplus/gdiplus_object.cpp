#include "gdiplus/gdiplus_object.h"

#include "gdiplus/flat_functions.h"

namespace snipora {

std::unique_ptr<GdiplusObject> GdiplusObject::Clone() const {
  return std::unique_ptr<GdiplusObject>(new GdiplusObject(*this));
}

void* GdiplusObject::GetNative() const { return native_; }

void GdiplusObject::SetNative(void* handle) {
  native_ = handle;
  OnNativeChanged(handle);
}

void GdiplusObject::OnNativeChanged(void*) {}

void* GdiplusObject::GdipAlloc(std::size_t size) { return flat::GdipAlloc(size); }

void GdiplusObject::GdipFree(void* pointer) { flat::GdipFree(pointer); }

EffectObject::~EffectObject() { FreeAuxData(); }

std::unique_ptr<GdiplusObject> EffectObject::Clone() const {
  return std::unique_ptr<GdiplusObject>(new EffectObject(*this));
}

void EffectObject::FreeAuxData() {
  if (auxData_) GdipFree(auxData_);
  auxData_ = nullptr;
  auxDataSize_ = 0;
}

void EffectObject::TakeAuxData(void* data, int32_t size) noexcept {
  auxData_ = data;
  auxDataSize_ = data ? size : 0;
}

}  // namespace snipora
