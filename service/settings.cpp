#include "service/settings.h"

#include <charconv>
#include <variant>

namespace snipora::service {
namespace {

struct Number {
  uint32_t Settings::*field;
  uint32_t min, max;
};
struct Option {
  const char* name;
  std::variant<std::string Settings::*, Number, bool Settings::*> value;
  const char* help;
};

const Option kOptions[] = {
    {"listen", &Settings::listen, "HOST:PORT to listen on (IPv4, or [IPv6]:PORT)"},
    {"database", &Settings::database,
     "the links: an SQLite file (created when absent), or a PostgreSQL database as postgresql://USER@HOST:PORT/DB "
     "(any libpq connection address; several instances may share it)"},
    {"public-host", &Settings::publicHost,
     "HOST[:PORT] of the short addresses handed out (http://HOST[:PORT]/CODE); addresses on HOST are refused"},
    {"deny-list", &Settings::denyList,
     "a file of refused hosts, one a line (subdomains too, # comments); read again on SIGHUP"},
    {"threads", Number{&Settings::threads, 1, 64}, "threads answering requests (epoll each)"},
    {"creations-per-minute", Number{&Settings::creationsPerMinute, 0, 1000000},
     "creations allowed per client address per minute, then 429 (0: no limit)"},
    {"max-connections", Number{&Settings::maxConnections, 1, 100000}, "open connections at most"},
    {"per-ip-connections", Number{&Settings::perIpConnections, 0, 100000},
     "open connections per client address at most (0: no limit)"},
    {"idle-timeout", Number{&Settings::idleTimeout, 1, 3600}, "seconds a silent connection is kept"},
    {"head-timeout", Number{&Settings::headTimeout, 1, 3600},
     "seconds a client has to send a whole request head (cuts off dribbling clients)"},
    {"connection-memory", Number{&Settings::connectionMemory, 4096, 1 << 24},
     "bytes per connection for the request line and headers; a longer head is refused (431 or 414). Up to 32768 "
     "they come from the heap, above from a mapping of their own per connection (slower)"},
    {"max-body", Number{&Settings::maxBodyBytes, 1024, 1 << 24}, "bytes of a POST body at most (413 beyond)"},
    {"batch", Number{&Settings::maxBatch, 1, 100000}, "creations committed together at most"},
    {"gather-us", Number{&Settings::gatherMicroseconds, 0, 1000000},
     "microseconds the writer waits for as many creations as its last commit held (0: never waits)"},
    {"click-flush-ms", Number{&Settings::clickFlushMs, 10, 3600000}, "milliseconds between writes of counted clicks"},
    {"cache-size", Number{&Settings::cacheSize, 0, 100000000},
     "codes kept in memory for redirects, least recently used out, filled from the store at start while there is "
     "room (about 300 bytes each with 90-byte addresses; 0: every redirect asks the store)"},
    {"stop-timeout", Number{&Settings::stopTimeout, 0, 3600}, "seconds SIGTERM waits for requests in flight"},
    {"access-log", &Settings::accessLog, "one line per request on standard output: on or off"},
};

std::string Default(const Option& option) {
  const Settings defaults;
  return std::visit(
      [&](const auto& value) -> std::string {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Number>) {
          return std::to_string(defaults.*(value.field));
        } else if constexpr (std::is_same_v<T, bool Settings::*>) {
          return defaults.*value ? "on" : "off";
        } else {
          return defaults.*value;
        }
      },
      option.value);
}

std::string Set(const Option& option, Settings& settings, const std::string& text) {
  return std::visit(
      [&](const auto& value) -> std::string {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Number>) {
          uint32_t number = 0;
          const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
          if (status != std::errc() || end != text.data() + text.size() || number < value.min || number > value.max)
            return "--" + std::string(option.name) + " takes a number from " + std::to_string(value.min) + " to " +
                   std::to_string(value.max) + ", not '" + text + "'";
          settings.*(value.field) = number;
        } else if constexpr (std::is_same_v<T, bool Settings::*>) {
          if (text != "on" && text != "off") return "--" + std::string(option.name) + " takes on or off";
          settings.*value = text == "on";
        } else {
          if (text.empty()) return "--" + std::string(option.name) + " needs a value";
          settings.*value = text;
        }
        return {};
      },
      option.value);
}

}  // namespace

std::optional<ListenAddress> ParseListen(const std::string& text) {
  std::size_t colon;
  ListenAddress address;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return std::nullopt;
    address.host = text.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    address.host = text.substr(0, colon);
  }
  const std::string port = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, status] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || status != std::errc() || end != port.data() + port.size() || value > 65535) return std::nullopt;
  address.port = uint16_t(value);
  return address;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      parsed.help = true;
      continue;
    }
    if (argument.rfind("--", 0) != 0) {
      parsed.error = "unexpected argument '" + argument + "'";
      return parsed;
    }
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = argument.find('='); eq != std::string::npos) {
      value = argument.substr(eq + 1);
      argument = argument.substr(0, eq);
      hasValue = true;
    }
    const Option* option = nullptr;
    for (const Option& candidate : kOptions)
      if (argument == std::string("--") + candidate.name) option = &candidate;
    if (!option) {
      parsed.error = "unknown option '" + argument + "'";
      return parsed;
    }
    if (!hasValue) {
      if (i + 1 >= arguments.size()) {
        parsed.error = argument + " needs a value";
        return parsed;
      }
      value = arguments[++i];
    }
    parsed.error = Set(*option, parsed.settings, value);
    if (!parsed.error.empty()) return parsed;
  }
  if (!ParseListen(parsed.settings.listen)) parsed.error = "--listen takes HOST:PORT, not '" + parsed.settings.listen + "'";
  return parsed;
}

std::string HelpText() {
  std::string text =
      "usage: snipora-service [--OPTION VALUE]...\n"
      "A URL-shortening service: GET /create.php?url=... answers the short address,\n"
      "GET /CODE redirects to the long one. Options (default in brackets):\n";
  for (const Option& option : kOptions) {
    std::string head = "  --" + std::string(option.name);
    head.resize(std::max<std::size_t>(head.size() + 1, 26), ' ');
    text += head + option.help + " [" + Default(option) + "]\n";
  }
  text += "  --help                  this text\n"
          "Signals: SIGHUP reads the deny list again; SIGTERM and SIGINT stop after the\n"
          "requests in flight, writing the counted clicks.\n";
  return text;
}

}  // namespace snipora::service
