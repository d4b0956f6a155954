#pragma once
// Every option of snipora-service, as one table (settings.cpp): its name,
// default, bounds and meaning. --help prints the table.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snipora::service {

struct Settings {
  std::string listen = "127.0.0.1:8080";
  std::string database = "snipora.db";
  std::string publicHost = "localhost:8080";
  std::string denyList;
  uint32_t threads = 2;
  uint32_t creationsPerMinute = 60;
  uint32_t maxConnections = 1000;
  uint32_t perIpConnections = 200;
  uint32_t idleTimeout = 30;
  uint32_t headTimeout = 10;
  uint32_t connectionMemory = 32768;
  uint32_t maxBodyBytes = 16384;
  uint32_t maxBatch = 1024;
  uint32_t gatherMicroseconds = 2000;
  uint32_t clickFlushMs = 1000;
  uint32_t stopTimeout = 10;
  uint32_t cacheSize = 1000000;
  bool accessLog = true;
};

struct ParsedCommandLine {
  Settings settings;
  bool help = false;
  std::string error;  // non-empty: the command line was wrong
};
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
std::string HelpText();

struct ListenAddress {
  std::string host;  // an IPv4 or IPv6 literal
  uint16_t port = 0;
};
// "HOST:PORT" or "[V6]:PORT".
std::optional<ListenAddress> ParseListen(const std::string& text);

}  // namespace snipora::service
