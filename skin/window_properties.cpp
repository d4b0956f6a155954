#include "skin/window_properties.h"

#include "runtime/system_functions.h"

namespace snipora::skin {

intptr_t GetProperty(HWND window, const char* name) {
  return reinterpret_cast<intptr_t>(sys::GetPropA(window, name));
}

bool SetProperty(HWND window, const char* name, intptr_t value) {
  return sys::SetPropA(window, name, reinterpret_cast<HANDLE>(value)) != FALSE;
}

}  // namespace snipora::skin
