#include "tests/support/local_service/short_codes.h"

#include <cstdint>

namespace snipora::test {
namespace {

constexpr char kCodeDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// FNV-1a: the code follows from the address, so a fresh table gives an address
// the code it had before whenever no other address took it first.
uint64_t Hash(const std::string& text, uint32_t salt) {
  uint64_t hash = 0xcbf29ce484222325ull ^ salt;
  for (const unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
  return hash;
}

std::string CodeOf(uint64_t hash) {
  std::string code;
  for (std::size_t i = 0; i < ShortCodes::kCodeLength; ++i) {
    code.push_back(kCodeDigits[hash % 62]);
    hash /= 62;
  }
  return code;
}

}  // namespace

bool ShortCodes::IsCode(std::string_view text) {
  if (text.empty() || text.size() > 16) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

std::optional<std::string> ShortCodes::CodeFor(const std::string& address) {
  if (address.empty()) return std::nullopt;
  if (const auto known = byAddress_.find(address); known != byAddress_.end()) return known->second;
  if (byCode_.size() >= kMaxCodes) return std::nullopt;
  for (uint32_t salt = 0;; ++salt) {
    std::string code = CodeOf(Hash(address, salt));
    if (byCode_.count(code)) continue;  // another address has it
    byCode_.emplace(code, address);
    byAddress_.emplace(address, code);
    return code;
  }
}

std::optional<std::string> ShortCodes::AddressOf(const std::string& code) const {
  const auto found = byCode_.find(code);
  if (found == byCode_.end()) return std::nullopt;
  return found->second;
}

}  // namespace snipora::test
