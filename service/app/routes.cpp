#include "service/app/routes.h"

namespace snipora::service {

namespace {

constexpr struct {
  std::string_view name;
  unsigned bit;
} kMethods[] = {{"GET", kGet}, {"HEAD", kHead}, {"POST", kPost}, {"PATCH", kPatch}, {"DELETE", kDelete}, {"OPTIONS", kOptions}};

}  // namespace

unsigned MethodBit(std::string_view method) {
  for (const auto& [name, bit] : kMethods)
    if (name == method) return bit;
  return 0;
}

std::string MethodNames(unsigned bits) {
  std::string names;
  for (const auto& [name, bit] : kMethods)
    if (bits & bit) names += (names.empty() ? "" : ", ") + std::string(name);
  return names;
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
