#pragma once
// Whole numbers as queries, option values and CSV fields write them.
// Platform-neutral, and header-only: the fuzz build compiles what uses it.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace snipora::service {

// The whole text as a decimal number that fits 64 bits: digits, with a
// leading "-" for a negative one; nothing for anything else (spaces, "+",
// fractions, an empty text, a number too large). Bounds are the caller's.
inline std::optional<int64_t> ParseWholeNumber(std::string_view text) {
  int64_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace snipora::service
