// The created handlers of the two main windows and the exit routine.
#include <windows.h>

#include "app/form_ids.h"
#include "app/glass.h"
#include "app/handlers.h"
#include "app/program.h"
#include "app/service_host.h"
#include "app/window_definitions.h"
#include "artwork.h"
#include "gdiplus/flat_functions.h"
#include "runtime/exit_routine.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/startup_trace.h"
#include "skin/skin_startup.h"

namespace snipora::app {
namespace {

// An empty address box shows the grey placeholder.
void PutPlaceholder(uint32_t window, uint32_t addressBox) {
  if (CompareText(GetControlText(window, addressBox, property::kEditContent), "") != 0) return;
  SetControlProperty(window, addressBox, property::kEditContent, TextView(kPlaceholder));
  SetControlProperty(window, addressBox, property::kEditTextColor, static_cast<int32_t>(kPlaceholderColor));
}

}  // namespace

Program& TheProgram() {
  static Program program;
  return program;
}

void PrepareProgram(std::unique_ptr<SystemHelper> systemHelper) {
  Program& program = TheProgram();
  program.startBanner = std::make_unique<PngControl>();
  program.aboutBanner = std::make_unique<PngControl>();
  program.systemHelper = std::move(systemHelper);
  program.serviceHost = ResolveServiceHost();
  RegisterExitRoutine(ReleaseGlobals);
  skin::SkinStartup();
  MarkStartup("skin started");
}

void ReleaseGlobals() {
  skin::ReleaseFrameDimension();
  Program& program = TheProgram();
  program.startBanner.reset();
  program.systemHelper.reset();
  program.aboutBanner.reset();
  // the object layer's own late-bound libraries; the runtime releases its
  // table right after this routine
  flat::ReleaseFlatFunctions();
}

void OnStartWindowCreated() {
  namespace s = start_window;
  MarkStartup("StartWindow created");
  Program& program = TheProgram();
  program.startBanner->AttachPictureBox(GetWindowHandle(s::kWindow, s::kBanner));
  program.startBanner->LoadImageBytes(ToBytes(art::BannerPngBytes()));
  MarkStartup("banner decoded");
  SystemHelper& helper = *program.systemHelper;
  if (helper.IsWindowsNt60Or61()) {
    LoadWindow(glass_window::kWindow, std::nullopt, true);  // returns when the glass window has closed
    CloseWindow(s::kWindow);
  }
  if (!helper.IsWindowsNt60Or61()) SetControlProperty(s::kWindow, s::kUnit, property::kVisible, 1);
  PutPlaceholder(s::kWindow, s::kAddressBox);
  MarkStartup("shown");
}

void OnGlassWindowCreated() {
  namespace g = glass_window;
  MarkStartup("GlassWindow created");
  StartGdiplus();
  ApplyGlass(GetWindowHandle(g::kWindow, g::kUnit), 0, 0);
  // black under the glass frame lets the glass show through the panels
  SetControlProperty(g::kWindow, g::kHeader, property::kPanelBackColor,
                     GetControlProperty(g::kWindow, g::kUnit, property::kWindowBackColor));
  SetControlProperty(g::kWindow, g::kFooter, property::kPanelBackColor,
                     GetControlProperty(g::kWindow, g::kUnit, property::kWindowBackColor));
  PutPlaceholder(g::kWindow, g::kAddressBox);
  MarkStartup("shown");
}

}  // namespace snipora::app
