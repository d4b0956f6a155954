#pragma once
// The service's one way to say what happened, on standard error:
//   snipora-service: error: redirect of Ab3dE9x: the store failed: ...
// Each line is written with one call, so lines from several threads do not
// mix. The access log (http/access_log.h) is apart: one line per request.
#include <string_view>

namespace snipora::service {

enum class LogLevel { kError, kWarning, kInfo };

void Log(LogLevel level, std::string_view message);

}  // namespace snipora::service
