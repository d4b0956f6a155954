#include "tests/support/local_service/short_codes.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "tests/support/local_service/request_head.h"

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

std::string Escape(const std::string& address) {
  static const char hex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const unsigned char c : address) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      escaped.push_back(char(c));
    } else {
      escaped.push_back('%');
      escaped.push_back(hex[c >> 4]);
      escaped.push_back(hex[c & 15]);
    }
  }
  return escaped;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

ShortCodes::ShortCodes(std::string storeFile) : storeFile_(std::move(storeFile)) {
  if (!storeFile_.empty()) Load();
}

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
    Append(code, address);
    return code;
  }
}

std::optional<std::string> ShortCodes::AddressOf(const std::string& code) const {
  const auto found = byCode_.find(code);
  if (found == byCode_.end()) return std::nullopt;
  return found->second;
}

void ShortCodes::Load() {
  File file(std::fopen(storeFile_.c_str(), "rb"));
  if (!file) return;
  std::string line;
  bool overlong = false;
  for (int c = std::fgetc(file.get());; c = std::fgetc(file.get())) {
    if (c != EOF && c != '\n') {
      // a line longer than any request could make is damage, not a mapping
      if (line.size() < kMaxRequestHead * 3) line.push_back(char(c));
      else overlong = true;
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.find(' ');
    if (!overlong && space != std::string::npos && IsCode(line.substr(0, space)) && byCode_.size() < kMaxCodes) {
      const std::string code = line.substr(0, space);
      std::string address = PercentDecode(std::string_view(line).substr(space + 1), false);
      if (!address.empty() && !byCode_.count(code) && !byAddress_.count(address)) {
        byCode_.emplace(code, address);
        byAddress_.emplace(std::move(address), code);
      }
    }
    line.clear();
    overlong = false;
    if (c == EOF) break;
  }
}

void ShortCodes::Append(const std::string& code, const std::string& address) const {
  if (storeFile_.empty()) return;
  File file(std::fopen(storeFile_.c_str(), "ab"));
  if (!file) return;
  const std::string line = code + " " + Escape(address) + "\n";
  std::fwrite(line.data(), 1, line.size(), file.get());
}

}  // namespace snipora::test
