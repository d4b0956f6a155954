#pragma once
// The walk that every control-kind operation of SystemHelper makes over the
// controls of a window.
#include <cstdint>
#include <functional>

#include "runtime/forms/form_runtime.h"

namespace snipora {

// Calls `prepare`, in list order, for each control of `list` whose kind name
// is exactly `kindName`; such a control must carry the code of `kind` (the
// fatal type-mismatch error otherwise). Answers how many controls the list
// holds, of every kind.
int32_t ForEachListedOfKind(ControlList list, const char* kindName, ControlKind kind,
                            const std::function<void(const ControlReference&)>& prepare);

}  // namespace snipora
