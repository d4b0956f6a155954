#include "service/base/log.h"

#include <cstdio>
#include <string>

namespace snipora::service {

void Log(LogLevel level, std::string_view message) {
  static constexpr std::string_view kLevels[] = {"error", "warning", "info"};
  std::string line = "snipora-service: ";
  line += kLevels[static_cast<int>(level)];
  line += ": ";
  line += message;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace snipora::service
