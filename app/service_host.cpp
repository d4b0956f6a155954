#include "app/service_host.h"

#include <windows.h>

#include "app/service_config.h"

namespace snipora::app {
namespace {

constexpr char kSettingsFile[] = "Snipora.ini";
constexpr char kBlanks[] = " \t";

bool IsLetterOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

bool IsHostName(std::string_view name) {
  if (name.empty() || name.size() > kMostServiceHostChars) return false;
  if (!IsLetterOrDigit(name.front()) || !IsLetterOrDigit(name.back())) return false;
  for (char c : name)
    if (!IsLetterOrDigit(c) && c != '.' && c != '-') return false;
  return true;
}

// Without leading zeros, so that one port has one spelling in the request.
bool IsPort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5 || digits.front() == '0') return false;
  unsigned port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + unsigned(c - '0');
  }
  return port <= 65535;
}

}  // namespace

std::optional<std::string> ParseServiceHost(std::string_view value) {
  const std::size_t first = value.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  value = value.substr(first, value.find_last_not_of(kBlanks) - first + 1);
  const std::size_t colon = value.find(':');
  if (!IsHostName(value.substr(0, colon))) return std::nullopt;
  if (colon != std::string_view::npos && !IsPort(value.substr(colon + 1))) return std::nullopt;
  return std::string(value);
}

std::string SettingsFileBeside(std::string_view modulePath) {
  std::size_t folderEnd = 0;  // just past the last separator; 0: none
  for (std::size_t i = 0; i < modulePath.size(); ++i) {
    if (modulePath[i] == '\\')
      folderEnd = i + 1;
    else if (IsDBCSLeadByte(static_cast<BYTE>(modulePath[i])))
      ++i;  // its second byte may be 0x5C and is no separator
  }
  if (folderEnd == 0) return {};
  return std::string(modulePath.substr(0, folderEnd)) + kSettingsFile;
}

std::string ResolveServiceHost() {
  char module[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
  if (length == 0 || length >= sizeof module) return kServiceHost;  // cut short: its folder is unknown
  const std::string file = SettingsFileBeside(std::string_view(module, length));
  if (file.empty()) return kServiceHost;
  // Room for more than the longest host, so that a longer value is not cut
  // down to one that passes.
  char value[512];
  const DWORD read = GetPrivateProfileStringA("Service", "Host", "", value, sizeof value, file.c_str());
  if (read == 0 || read >= sizeof value - 1) return kServiceHost;
  return ParseServiceHost(std::string_view(value, read)).value_or(kServiceHost);
}

}  // namespace snipora::app
