#pragma once
// The program-wide objects the start routine creates and the exit routine
// releases.
#include <windows.h>

#include <memory>
#include <string>

#include "app/service_config.h"
#include "skin/png_control.h"
#include "sysfx/system_helper.h"

namespace snipora::app {

struct Program {
  std::unique_ptr<PngControl> startBanner;  // draws StartWindow's banner
  std::unique_ptr<SystemHelper> systemHelper;
  std::unique_ptr<PngControl> aboutBanner;  // draws AboutWindow's banner
  GpImage* aboutBannerImage = nullptr;      // decoded at the first opening, shown at every one
  ULONG_PTR gdiplusToken = 0;  // stored, never read: GDI+ is not shut down
  std::string serviceHost = kServiceHost;  // Snipora.ini's, when it names one (PrepareProgram)
};
Program& TheProgram();

// The start routine's steps before the first window: the program-wide objects
// (with this version helper), the service host, the exit routine, the skin's
// start-up.
void PrepareProgram(std::unique_ptr<SystemHelper> systemHelper);

// The exit routine registered with the runtime.
void ReleaseGlobals();

}  // namespace snipora::app
