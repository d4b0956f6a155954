#pragma once
// GdiplusObject: the base of the GDI+ wrapper objects. It holds one native
// GDI+ handle; its table of virtual operations starts with destroy, clone,
// GetNative, SetNative, OnNativeChanged, GdipAlloc and GdipFree, and each
// derived class appends its own.
//
// Wrapper objects are not to be copied: a clone names the same handle, so at
// most one of the two may be destroyed.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace snipora {

class GdiplusObject {
 public:
  GdiplusObject() noexcept = default;
  GdiplusObject& operator=(const GdiplusObject&) = delete;

  // A kind of object this layer does not define (a pen, a brush, a font...)
  // only carries its handle: whoever made the handle deletes it.
  virtual ~GdiplusObject() = default;
  [[nodiscard]] virtual std::unique_ptr<GdiplusObject> Clone() const;
  virtual void* GetNative() const;
  // Stores the handle, then lets the class store it in its own field.
  virtual void SetNative(void* handle);
  virtual void OnNativeChanged(void* handle);
  virtual void* GdipAlloc(std::size_t size);
  virtual void GdipFree(void* pointer);

 protected:
  GdiplusObject(const GdiplusObject&) = default;  // for Clone

 private:
  void* native_ = nullptr;
};

// The handle of a wrapper-object argument, as the flat function's type.
template <class Handle>
Handle NativeOf(const GdiplusObject& object) {
  return static_cast<Handle>(object.GetNative());
}
template <class Handle>
Handle NativeOf(const GdiplusObject* object) {
  return object ? NativeOf<Handle>(*object) : nullptr;
}

// An effect to apply to a bitmap: its handle (made and deleted by the
// caller) and the auxiliary data GDI+ answered when it was last applied,
// which the object frees with GdipFree.
class EffectObject : public GdiplusObject {
 public:
  EffectObject() noexcept = default;
  ~EffectObject() override;
  [[nodiscard]] std::unique_ptr<GdiplusObject> Clone() const override;

  void* auxData() const noexcept { return auxData_; }
  int32_t auxDataSize() const noexcept { return auxDataSize_; }
  void FreeAuxData();
  // Takes over data that GDI+ allocated.
  void TakeAuxData(void* data, int32_t size) noexcept;

 protected:
  EffectObject(const EffectObject&) = default;

 private:
  void* auxData_ = nullptr;
  int32_t auxDataSize_ = 0;
};

}  // namespace snipora
