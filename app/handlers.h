#pragma once
// The application's event handlers, bound to windows and controls in the
// window definitions.

namespace snipora::app {

void OnStartWindowCreated();
void OnGlassWindowCreated();

// One copy per main window, each addressing its own window's controls.
void StartShortenAddress();
void StartClearPlaceholder();
void StartRestorePlaceholder();
void StartResetTextColour();
void StartCopyShortAddress();
void GlassShortenAddress();
void GlassClearPlaceholder();
void GlassRestorePlaceholder();
void GlassResetTextColour();
void GlassCopyShortAddress();

// The About window, opened from either main window.
void ShowAbout();
void CloseAbout();
void OnAboutWindowCreated();

// The author links: a press is enough.
void OpenMicroblog();
void OpenMail();
void OpenChat();

// Paint events of the glass window's header and footer drawing panels.
void PaintHeader();
void PaintFooter();

}  // namespace snipora::app
