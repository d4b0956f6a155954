#pragma once
// The status of the most recent GDI+ call of the object layer: every wrapped
// call overwrites it.
#include "runtime/gdiplus_handles.h"

namespace snipora {

GpStatus LastStatus() noexcept;

// Stores the status of a wrapped call; true when it is Ok.
bool Succeeded(GpStatus status) noexcept;

}  // namespace snipora
