#pragma once
// Identifiers of the program's windows and controls, by which handlers
// address them.
#include <cstdint>

namespace snipora::app {

namespace start_window {
inline constexpr uint32_t kWindow = 0x52010001, kUnit = 0x06010000;
inline constexpr uint32_t kBanner = 0x160101FE;        // 图片框1
inline constexpr uint32_t kAddressLabel = 0x160101F6;  // 标签2
inline constexpr uint32_t kResultLabel = 0x160101F7;   // 标签3
inline constexpr uint32_t kAddressBox = 0x160101B7;    // 编辑框1
inline constexpr uint32_t kResultBox = 0x160101B8;     // 编辑框2
inline constexpr uint32_t kShorten = 0x160101BB;       // 按钮2
inline constexpr uint32_t kCopy = 0x160101F4;          // 按钮3
inline constexpr uint32_t kAbout = 0x16010207;         // 按钮1
inline constexpr uint32_t kStatusBar = 0x16010289;     // 状态条1
}  // namespace start_window

namespace glass_window {
inline constexpr uint32_t kWindow = 0x52010334, kUnit = 0x06010333;
inline constexpr uint32_t kHeader = 0x16011030;        // 画板2
inline constexpr uint32_t kMiddle = 0x16011089;        // 画板1
inline constexpr uint32_t kAddressLabel = 0x1601108A;  // 标签2
inline constexpr uint32_t kAddressBox = 0x1601108B;    // 编辑框1
inline constexpr uint32_t kResultLabel = 0x1601108C;   // 标签3
inline constexpr uint32_t kResultBox = 0x1601108D;     // 编辑框2
inline constexpr uint32_t kCopy = 0x1601108E;          // 按钮3
inline constexpr uint32_t kAbout = 0x1601108F;         // 按钮1
inline constexpr uint32_t kShorten = 0x16011090;       // 按钮2
inline constexpr uint32_t kFooter = 0x16011095;        // 画板3
}  // namespace glass_window

namespace about_window {
inline constexpr uint32_t kWindow = 0x5201023C, kUnit = 0x0601023B;
inline constexpr uint32_t kBanner = 0x16010255;      // 图片框1
inline constexpr uint32_t kHeading = 0x16010284;     // 标签1
inline constexpr uint32_t kText = 0x16010285;        // 标签2
inline constexpr uint32_t kStatusImage = 0x160110B6; // 画板2
inline constexpr uint32_t kMailImage = 0x160110C1;   // 画板3
inline constexpr uint32_t kOk = 0x16010286;          // 按钮1
inline constexpr uint32_t kBottomBand = 0x16010290;  // 画板1
}  // namespace about_window

}  // namespace snipora::app
