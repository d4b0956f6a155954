// The About window: opened modally from either main window, with the banner
// and the author's online-status picture, fetched afresh at every opening.
#include "app/form_ids.h"
#include "app/handlers.h"
#include "app/links.h"
#include "app/program.h"
#include "artwork.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/http/fetch_url.h"
#include "skin/window_properties.h"

namespace snipora::app {

void ShowAbout() { LoadWindow(about_window::kWindow, std::nullopt, true); }  // returns when About has closed

void CloseAbout() { CloseWindow(about_window::kWindow); }

void OnAboutWindowCreated() {
  namespace a = about_window;
  Program& program = TheProgram();
  PngControl& banner = *program.aboutBanner;
  banner.AttachPictureBox(GetWindowHandle(a::kWindow, a::kBanner));
  // a picture box never disposes its image: decoded at every opening, each
  // About window would leave a banner behind, so the first one is kept
  if (program.aboutBannerImage) {
    banner.SetBackImage(program.aboutBannerImage);
  } else {
    banner.LoadImageBytes(ToBytes(art::BannerPngBytes()));
    program.aboutBannerImage = reinterpret_cast<GpImage*>(banner.GetProp(skin::prop::kBackImage));
  }
  // a failed fetch gives no bytes: the panel is left without a picture
  SetControlProperty(a::kWindow, a::kStatusImage, property::kPanelPicture, BytesView(FetchUrl(StatusImageAddress())));
}

}  // namespace snipora::app
