#pragma once
// The shortening service's host for this run: the compiled-in one, unless
// Snipora.ini in the program's own folder names another:
//   [Service]
//   Host=short.example.org:8080
// Read once at start; a missing file, key or a value that is no host leaves
// the compiled-in host, silently, so the program always opens.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::app {

// The longest host name DNS allows; with ":65535" the longest value taken.
inline constexpr std::size_t kMostServiceHostChars = 253;

// A settings value as a service host, or nothing when it is none. Spaces and
// tabs around it are dropped. What stays is a host name as the build takes
// it (letters, digits, '.' and '-', beginning and ending with a letter or
// digit, at most 253 characters), optionally followed by ':' and a port
// 1..65535 written without leading zeros.
std::optional<std::string> ParseServiceHost(std::string_view value);

// Snipora.ini beside the program `modulePath` names (as GetModuleFileNameA
// gives it, in the ANSI code page, so a double-byte character's second byte
// is never taken for a '\'); empty when the path has no folder.
std::string SettingsFileBeside(std::string_view modulePath);

// The host this run talks to.
std::string ResolveServiceHost();

}  // namespace snipora::app
