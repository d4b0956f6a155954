// The glass window's header and footer: PNG images with their alpha channel,
// drawn through the GDI+ object layer at every paint of their drawing panel.
#include <memory>
#include <span>

#include "app/form_ids.h"
#include "app/handlers.h"
#include "artwork.h"
#include "gdiplus/graphics_object.h"
#include "gdiplus/image_object.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/startup_trace.h"

namespace snipora::app {
namespace {

// Decoded afresh each time: nothing survives from one paint to the next. A
// failed step only leaves its status behind; the next paint starts over.
void PaintPanelImage(uint32_t panel, std::span<const unsigned char> png) {
  namespace g = glass_window;
  auto graphics = std::make_unique<GraphicsObject>();
  auto image = std::make_unique<ImageObject>();
  graphics->GdipCreateFromHDC(GetPanelDC(g::kWindow, panel));
  image->GdipCreateBitmapFromStream(Bytes::Copy(png.data(), png.size()));
  // at 90 dpi GDI+ scales the image by the screen's resolution over 90
  image->GdipBitmapSetResolution(90.0f, 90.0f);
  graphics->GdipDrawImage(*image, 0.0f, 0.0f);
  graphics.reset();  // the graphics goes before the image it drew
  image.reset();
}

}  // namespace

void PaintHeader() {
  PaintPanelImage(glass_window::kHeader, art::HeaderPngBytes());
  MarkStartup("header painted");
}

void PaintFooter() { PaintPanelImage(glass_window::kFooter, art::FooterPngBytes()); }

}  // namespace snipora::app
