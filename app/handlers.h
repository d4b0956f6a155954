#pragma once
// The application's event handlers, bound to windows and controls in the
// window definitions.

namespace snipora::app {

void OnStartWindowCreated();
void OnGlassWindowCreated();

}  // namespace snipora::app
