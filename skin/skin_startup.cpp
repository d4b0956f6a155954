#include "skin/skin_startup.h"

#include <memory>
#include <vector>

#include "runtime/system_functions.h"
#include "skin/load_dialog.h"

namespace snipora::skin {
namespace {

struct Module {
  ULONG_PTR gdiplusToken = 0;
  std::unique_ptr<GUID> frameDimension;
};
Module& TheModule() {
  static Module module;
  return module;
}

constexpr char kFrameDimensionTimeText[] = "{6AEDBD6D-3FB5-418A-83A6-7F45229DC872}";

}  // namespace

void SkinStartup() {
  Module& module = TheModule();
  const GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
  sys::GdiplusStartup(&module.gdiplusToken, &input, nullptr);  // a failed start shows as nothing drawn

  module.frameDimension = std::make_unique<GUID>();
  const int units = sys::MultiByteToWideChar(CP_ACP, 0, kFrameDimensionTimeText, -1, nullptr, 0);
  std::vector<wchar_t> wide(std::size_t(units > 0 ? units : 1), L'\0');
  sys::MultiByteToWideChar(CP_ACP, 0, kFrameDimensionTimeText, -1, wide.data(), units);
  sys::CLSIDFromString(wide.data(), module.frameDimension.get());  // on failure the null GUID stays

  RegisterLoadDialogClass();
}

const GUID* FrameDimensionTime() { return TheModule().frameDimension.get(); }

void ReleaseFrameDimension() { TheModule().frameDimension.reset(); }

}  // namespace snipora::skin
