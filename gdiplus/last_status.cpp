#include "gdiplus/last_status.h"

namespace snipora {
namespace {

GpStatus lastStatus = kGdiplusOk;

}  // namespace

GpStatus LastStatus() noexcept { return lastStatus; }

bool Succeeded(GpStatus status) noexcept {
  lastStatus = status;
  return status == kGdiplusOk;
}

}  // namespace snipora
