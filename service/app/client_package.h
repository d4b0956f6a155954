#pragma once
// The Windows program as this service hands it out: the release zip with a
// Snipora.ini added that points the program at this service's public host.
// Built once at start, in memory, so that every download of one
// configuration is the same bytes (and has the same ETag).
#include <string>
#include <string_view>

namespace snipora::service {

struct ClientPackage {
  std::string name;   // the file's own name (links followed): "Snipora-1.2.0-win32.zip"
  std::string bytes;  // the archive
  std::string etag;   // a strong validator, quotes included, from the bytes
};

// The settings file the program reads beside itself.
std::string ClientSettingsFile(std::string_view publicHost);

// Throws std::runtime_error, naming the file, when it cannot be read as a zip
// archive or its name is not one a download may carry.
ClientPackage BuildClientPackage(const std::string& path, std::string_view publicHost);

}  // namespace snipora::service
