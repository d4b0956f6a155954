#pragma once
// What a redirect's User-Agent says in families alone (a crawler or not, the
// browser, the system, the device), read by scanning a short table of tokens
// with memmem: the first row whose token the agent holds names its family.
// Nothing of the agent itself is kept.
#include <array>
#include <cstdint>
#include <string_view>

namespace snipora::service {

enum class Browser : uint8_t { kChrome, kEdge, kFirefox, kSafari, kOpera, kSamsung, kIe, kOther, kCount };
enum class System : uint8_t { kWindows, kAndroid, kIos, kMacos, kChromeos, kLinux, kOther, kCount };
enum class Device : uint8_t { kDesktop, kMobile, kTablet, kCount };

inline constexpr std::array<std::string_view, std::size_t(Browser::kCount)> kBrowserNames = {
    "chrome", "edge", "firefox", "safari", "opera", "samsung", "ie", "other"};
inline constexpr std::array<std::string_view, std::size_t(System::kCount)> kSystemNames = {
    "windows", "android", "ios", "macos", "chromeos", "linux", "other"};
inline constexpr std::array<std::string_view, std::size_t(Device::kCount)> kDeviceNames = {"desktop", "mobile",
                                                                                           "tablet"};

struct AgentFamilies {
  bool bot = false;  // a crawler, a link-preview fetcher, or no agent at all
  Browser browser = Browser::kOther;
  System system = System::kOther;
  Device device = Device::kDesktop;
};

AgentFamilies FamiliesOf(std::string_view userAgent);

}  // namespace snipora::service
