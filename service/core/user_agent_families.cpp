#include "service/core/user_agent_families.h"

#include <cstring>

namespace snipora::service {
namespace {

template <class Family>
struct Token {
  std::string_view token;
  Family family;
};

// Crawlers and link-preview fetchers, from the user-agent tokens their
// operators document (Google, Bing, Yandex, Baidu, DuckDuckGo, Apple,
// Facebook, X/Twitter, LinkedIn, Slack, Discord, Telegram, WhatsApp, Skype,
// Pinterest, Embedly) and the words most crawler lists match on. Case
// matters: these are the spellings the agents send.
constexpr std::string_view kBotTokens[] = {
    "bot",      "Bot",           "crawl",      "Crawl",         "spider",   "Spider",   "Slurp",
    "facebookexternalhit", "facebookcatalog", "WhatsApp", "SkypeUriPreview", "Embedly", "preview",
    "Preview",  "Applebot",      "DuckDuckGo", "Yahoo! ",       "Pinterest", "HeadlessChrome",
};

// Order matters: Edge and Opera name Chrome too, Chrome names Safari.
constexpr Token<Browser> kBrowsers[] = {
    {"Edg/", Browser::kEdge},       {"EdgA/", Browser::kEdge},     {"EdgiOS/", Browser::kEdge},
    {"OPR/", Browser::kOpera},      {"Opera", Browser::kOpera},    {"SamsungBrowser/", Browser::kSamsung},
    {"Firefox/", Browser::kFirefox}, {"FxiOS/", Browser::kFirefox}, {"CriOS/", Browser::kChrome},
    {"Chrome/", Browser::kChrome},  {"Safari/", Browser::kSafari}, {"MSIE ", Browser::kIe},
    {"Trident/", Browser::kIe},
};

// Android names Linux; iOS names "like Mac OS X".
constexpr Token<System> kSystems[] = {
    {"Windows", System::kWindows}, {"Android", System::kAndroid}, {"iPhone", System::kIos},
    {"iPad", System::kIos},        {"iPod", System::kIos},        {"CrOS", System::kChromeos},
    {"Macintosh", System::kMacos}, {"Mac OS X", System::kMacos},  {"Linux", System::kLinux},
};

// An Android agent without "Mobile" is a tablet's, by Google's advice to
// tablet browsers.
constexpr Token<Device> kDevices[] = {
    {"iPad", Device::kTablet},   {"Tablet", Device::kTablet}, {"Mobi", Device::kMobile},
    {"iPhone", Device::kMobile}, {"iPod", Device::kMobile},   {"Android", Device::kTablet},
};

bool Holds(std::string_view text, std::string_view token) {
  return memmem(text.data(), text.size(), token.data(), token.size()) != nullptr;
}

template <class Family, std::size_t N>
Family First(std::string_view agent, const Token<Family> (&table)[N], Family otherwise) {
  for (const Token<Family>& row : table)
    if (Holds(agent, row.token)) return row.family;
  return otherwise;
}

}  // namespace

AgentFamilies FamiliesOf(std::string_view userAgent) {
  AgentFamilies families;
  if (userAgent.empty()) {
    families.bot = true;
    return families;
  }
  for (std::string_view token : kBotTokens)
    if (Holds(userAgent, token)) {
      families.bot = true;
      return families;
    }
  families.browser = First(userAgent, kBrowsers, Browser::kOther);
  families.system = First(userAgent, kSystems, System::kOther);
  families.device = First(userAgent, kDevices, Device::kDesktop);
  return families;
}

}  // namespace snipora::service
