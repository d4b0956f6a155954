#include "service/app/routes.h"

namespace snipora::service {

unsigned MethodBit(std::string_view method) {
  constexpr struct {
    std::string_view name;
    unsigned bit;
  } kMethods[] = {{"GET", kGet}, {"HEAD", kHead}, {"POST", kPost}, {"PATCH", kPatch}, {"DELETE", kDelete}, {"OPTIONS", kOptions}};
  for (const auto& [name, bit] : kMethods)
    if (name == method) return bit;
  return 0;
}

std::optional<std::string_view> MatchPath(std::string_view pattern, std::string_view path) {
  const std::size_t at = pattern.find_first_of("*+");
  if (at == std::string_view::npos) return pattern == path ? std::optional<std::string_view>("") : std::nullopt;
  const std::string_view prefix = pattern.substr(0, at), suffix = pattern.substr(at + 1);
  const std::size_t least = prefix.size() + suffix.size() + (pattern[at] == '+' ? 1 : 0);
  if (path.size() < least || !path.starts_with(prefix) || !path.ends_with(suffix)) return std::nullopt;
  return path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
}

}  // namespace snipora::service
