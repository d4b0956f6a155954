#include "app/window_definitions.h"

#include "artwork.h"
#include "app/form_ids.h"
#include "app/handlers.h"
#include "app/resources/resource_ids.h"

namespace snipora::app {
namespace {

constexpr FontDefinition kYaHei16{"微软雅黑", 16, 400};
constexpr FontDefinition kYaHei16Bold{"微软雅黑", 16, 700};
constexpr FontDefinition kYaHei14{"微软雅黑", 14, 400};
constexpr FontDefinition kYaHei12{"微软雅黑", 12, 400};
constexpr FontDefinition kYouYuan21{"幼圆", 21, 400};

constexpr Color kWhite = 0xFFFFFF, kBlack = 0x000000, kGrey = 0x808080;
constexpr uint32_t kEditBox = kSunkenBorder | kTabStop;
constexpr uint32_t kPushButton = kTabStop | kHandCursor;

namespace s = start_window;
const ControlDefinition kStartControls[] = {
    {"按钮1", s::kAbout, ControlKind::Button, 0, 246, 223, 68, 33, "关于", kYaHei14, kBlack, kButtonFaceColor, kPushButton},
    {"图片框1", s::kBanner, ControlKind::PicBox, 0, -36, -1, 400, 118},
    {"标签3", s::kResultLabel, ControlKind::Label, 0, 7, 177, 57, 32, "http://", kYaHei16, kGrey, kWhite},
    {"标签2", s::kAddressLabel, ControlKind::Label, 0, 6, 131, 58, 32, "http://", kYaHei16, kGrey, kWhite},
    {"按钮3", s::kCopy, ControlKind::Button, 0, 246, 176, 68, 34, "复制", kYaHei14, kBlack, kButtonFaceColor,
     kPushButton | kDisabled},
    {"按钮2", s::kShorten, ControlKind::Button, 0, 64, 223, 176, 33, "缩短", kYouYuan21, kBlack, kButtonFaceColor,
     kPushButton},
    {"编辑框2", s::kResultBox, ControlKind::EditBox, 0, 64, 177, 176, 32, "在此显示缩短网址", kYaHei16, kBlack, kWhite,
     kEditBox | kDisabled},
    {"编辑框1", s::kAddressBox, ControlKind::EditBox, 0, 64, 131, 248, 32, "", kYaHei16, kBlack, kWhite, kEditBox},
    {"状态条1", s::kStatusBar, ControlKind::StatusBar, 0, 0, 0, 0, 0, "欢迎使用Snipora，点此关注我们！", kYaHei12, kBlack,
     kWhite, kHandCursor, art::StarIcoBytes()},
};
const EventBinding kStartEvents[] = {
    {s::kUnit, event::kCreated, Handle<OnStartWindowCreated>},
    {s::kShorten, event::kClicked, Handle<StartShortenAddress>},
    {s::kCopy, event::kClicked, Handle<StartCopyShortAddress>},
    {s::kAddressBox, event::kContentChanged, Handle<StartResetTextColour>},
    {s::kAddressBox, event::kLeftButtonDown, Handle<StartClearPlaceholder>},
    {s::kAddressBox, event::kFocusLost, Handle<StartRestorePlaceholder>},
    {s::kAbout, event::kClicked, Handle<ShowAbout>},
    {s::kStatusBar, event::kLeftButtonDown, Handle<OpenMicroblog>},
};

namespace g = glass_window;
const ControlDefinition kGlassControls[] = {
    {"画板3", g::kFooter, ControlKind::DrawPanel, 0, 2, 240, 318, 22, nullptr, {}, kBlack, kButtonFaceColor, kHandCursor},
    {"标签2", g::kAddressLabel, ControlKind::Label, g::kMiddle, 8, 9, 58, 32, "http://", kYaHei16, kBlack, kWhite},
    {"编辑框1", g::kAddressBox, ControlKind::EditBox, g::kMiddle, 66, 9, 248, 32, "", kYaHei16, kBlack, kWhite, kEditBox},
    {"标签3", g::kResultLabel, ControlKind::Label, g::kMiddle, 9, 55, 57, 32, "http://", kYaHei16, kBlack, kWhite},
    {"编辑框2", g::kResultBox, ControlKind::EditBox, g::kMiddle, 66, 55, 176, 32, "在此显示缩短网址", kYaHei16, kBlack,
     kWhite, kEditBox | kDisabled},
    {"按钮3", g::kCopy, ControlKind::Button, g::kMiddle, 248, 54, 68, 34, "复制", kYaHei14, kBlack, kButtonFaceColor,
     kPushButton | kDisabled},
    {"按钮1", g::kAbout, ControlKind::Button, g::kMiddle, 248, 101, 68, 33, "关于", kYaHei14, kBlack, kButtonFaceColor,
     kPushButton},
    {"按钮2", g::kShorten, ControlKind::Button, g::kMiddle, 66, 101, 176, 33, "缩短", kYouYuan21, kBlack,
     kButtonFaceColor, kPushButton},
    {"画板1", g::kMiddle, ControlKind::DrawPanel, 0, 0, 95, 328, 144, nullptr, {}, kBlack, kWhite},
    {"画板2", g::kHeader, ControlKind::DrawPanel, 0, -12, 0, 333, 88, nullptr, {}, kBlack, kButtonFaceColor, kHandCursor},
};
const EventBinding kGlassEvents[] = {
    {g::kUnit, event::kCreated, Handle<OnGlassWindowCreated>},
    {g::kShorten, event::kClicked, Handle<GlassShortenAddress>},
    {g::kCopy, event::kClicked, Handle<GlassCopyShortAddress>},
    {g::kAddressBox, event::kContentChanged, Handle<GlassResetTextColour>},
    {g::kAddressBox, event::kLeftButtonDown, Handle<GlassClearPlaceholder>},
    {g::kAddressBox, event::kFocusLost, Handle<GlassRestorePlaceholder>},
    {g::kAbout, event::kClicked, Handle<ShowAbout>},
    {g::kHeader, event::kLeftButtonDown, Handle<OpenMicroblog>},
    {g::kFooter, event::kLeftButtonDown, Handle<OpenMicroblog>},
    {g::kHeader, event::kPaint, Handle<PaintHeader>},
    {g::kFooter, event::kPaint, Handle<PaintFooter>},
};

// Spaces and the empty line leave room for the status and mail pictures.
constexpr char kAboutText[] =
    "作者：Morvik\r\n"
    " QQ：                   \r\n"
    "邮箱：\r\n"
    "\r\n"
    "有什么宝贵的意见或建议欢迎联系我！";

namespace a = about_window;
const ControlDefinition kAboutControls[] = {
    {"画板3", a::kMailImage, ControlKind::DrawPanel, 0, 50, 193, 165, 22, nullptr, {}, kBlack, kButtonFaceColor,
     kHandCursor, art::MailGifBytes()},
    {"画板2", a::kStatusImage, ControlKind::DrawPanel, 0, 50, 169, 72, 21, nullptr, {}, kBlack, kButtonFaceColor,
     kHandCursor},
    {"按钮1", a::kOk, ControlKind::Button, 0, 242, 264, 80, 30, "确定", kYaHei12, kBlack, kButtonFaceColor, kPushButton},
    {"标签2", a::kText, ControlKind::Label, 0, 8, 149, 352, 107, kAboutText, kYaHei14, kBlack, kWhite, kWordWrap},
    {"标签1", a::kHeading, ControlKind::Label, 0, 8, 119, 144, 32, "Snipora v1.0", kYaHei16Bold, kBlack, kWhite},
    {"图片框1", a::kBanner, ControlKind::PicBox, 0, -36, 0, 400, 118},
    {"画板1", a::kBottomBand, ControlKind::DrawPanel, 0, 0, 255, 360, 64},
};
const EventBinding kAboutEvents[] = {
    {a::kUnit, event::kCreated, Handle<OnAboutWindowCreated>},
    {a::kOk, event::kClicked, Handle<CloseAbout>},
    {a::kStatusImage, event::kLeftButtonDown, Handle<OpenChat>},
    {a::kMailImage, event::kLeftButtonDown, Handle<OpenMail>},
};

const WindowDefinition kWindows[] = {
    {s::kWindow, s::kUnit, "Snipora", 333, 318, kWhite, true, false, false, IDI_PROGRAM, kStartControls, kStartEvents},
    {g::kWindow, g::kUnit, "Snipora", 333, 287, kBlack, true, true, true, 0, kGlassControls, kGlassEvents},
    {a::kWindow, a::kUnit, "关于", 333, 329, kWhite, false, true, false, 0, kAboutControls, kAboutEvents},
};

}  // namespace

std::span<const WindowDefinition> ProgramWindows() { return kWindows; }

}  // namespace snipora::app
