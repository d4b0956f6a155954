// The handlers both main windows share: shortening, the address box's
// placeholder, and copying the short address.
#include "app/address_request.h"
#include "app/form_ids.h"
#include "app/handlers.h"
#include "app/program.h"
#include "app/window_definitions.h"
#include "runtime/clipboard.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/http/fetch_url.h"
#include "runtime/message_box.h"

namespace snipora::app {
namespace {

struct MainWindow {
  uint32_t window, addressBox, resultBox, copyButton;
};
constexpr MainWindow kStart{start_window::kWindow, start_window::kAddressBox, start_window::kResultBox,
                            start_window::kCopy};
constexpr MainWindow kGlass{glass_window::kWindow, glass_window::kAddressBox, glass_window::kResultBox,
                            glass_window::kCopy};

constexpr uint32_t kWarning = 0x30;  // exclamation icon, OK button
constexpr int32_t kBlack = 0x000000;

Text AddressContent(const MainWindow& w) { return GetControlText(w.window, w.addressBox, property::kEditContent); }

// The placeholder is no address: it counts as an empty box.
bool HoldsAddress(const Text& content) {
  return CompareText(content, "") != 0 && CompareText(content, kPlaceholder) != 0;
}

void Shorten(const MainWindow& w) {
  const Text typed = AddressContent(w);
  const bool hadAddress = HoldsAddress(typed);
  const Text request = ShorteningRequest(TheProgram().serviceHost.c_str(), hadAddress ? typed.c_str() : "");
  const Text shortAddress = CutShortAddress(ToText(FetchUrl(request)));

  if (hadAddress && shortAddress.empty()) {
    SetControlProperty(w.window, w.resultBox, property::kEditContent, TextView(""));
    SetControlProperty(w.window, w.copyButton, property::kDisabled, 1);
    ShowMessageBox("缩短失败，请检查网址和网络连接后重试！", kWarning, TextView("提示"));
    return;
  }
  SetControlProperty(w.window, w.resultBox, property::kEditContent, TextView(shortAddress));
  SetControlProperty(w.window, w.copyButton, property::kDisabled, 0);
  // the box may have been emptied meanwhile: then there is nothing to copy
  if (!HoldsAddress(AddressContent(w))) {
    SetControlProperty(w.window, w.resultBox, property::kEditContent, TextView(""));
    SetControlProperty(w.window, w.copyButton, property::kDisabled, 1);
  }
}

void ClearPlaceholder(const MainWindow& w) {
  if (CompareText(AddressContent(w), kPlaceholder) == 0)
    SetControlProperty(w.window, w.addressBox, property::kEditContent, TextView(""));
}

void RestorePlaceholder(const MainWindow& w) {
  if (CompareText(AddressContent(w), "") != 0) return;
  SetControlProperty(w.window, w.addressBox, property::kEditContent, TextView(kPlaceholder));
  SetControlProperty(w.window, w.addressBox, property::kEditTextColor, static_cast<int32_t>(kPlaceholderColor));
}

void ResetTextColour(const MainWindow& w) {
  SetControlProperty(w.window, w.addressBox, property::kEditTextColor, kBlack);
}

void CopyShortAddress(const MainWindow& w) {
  const Text shortAddress = JoinText("http://", GetControlText(w.window, w.resultBox, property::kEditContent));
  if (SetClipboardText(shortAddress))
    ShowMessageBox("复制成功，你可以随时粘贴你的缩短网址了！", 0x40, TextView("提示"));
  else
    ShowMessageBox("复制失败，请稍后重试！", kWarning, TextView("提示"));
}

}  // namespace

void StartShortenAddress() { Shorten(kStart); }
void StartClearPlaceholder() { ClearPlaceholder(kStart); }
void StartRestorePlaceholder() { RestorePlaceholder(kStart); }
void StartResetTextColour() { ResetTextColour(kStart); }
void StartCopyShortAddress() { CopyShortAddress(kStart); }

void GlassShortenAddress() { Shorten(kGlass); }
void GlassClearPlaceholder() { ClearPlaceholder(kGlass); }
void GlassRestorePlaceholder() { RestorePlaceholder(kGlass); }
void GlassResetTextColour() { ResetTextColour(kGlass); }
void GlassCopyShortAddress() { CopyShortAddress(kGlass); }

}  // namespace snipora::app
