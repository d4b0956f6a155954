#pragma once
// The local service's table of short codes. A long address keeps its code:
// asking again gives the same one. With a store file the table outlives the
// service: the file is read at start and every new mapping is appended as one
// line "<code> <address>", the address with every byte outside "!".."~" and
// every "%" written as %XX. Lines that do not read back are skipped.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace snipora::test {

class ShortCodes {
 public:
  // A bound on the table, so that a client cannot fill the memory or the disk.
  static constexpr std::size_t kMaxCodes = 100000;
  static constexpr std::size_t kCodeLength = 6;

  explicit ShortCodes(std::string storeFile = {});

  // The code of `address`, made now when it has none; nothing when the table
  // is full or the address is empty.
  std::optional<std::string> CodeFor(const std::string& address);
  std::optional<std::string> AddressOf(const std::string& code) const;
  std::size_t size() const { return byCode_.size(); }

  // Letters and digits only, 1 to 16 of them.
  static bool IsCode(std::string_view text);

 private:
  void Load();
  void Append(const std::string& code, const std::string& address) const;

  std::string storeFile_;
  std::unordered_map<std::string, std::string> byCode_;
  std::unordered_map<std::string, std::string> byAddress_;
};

}  // namespace snipora::test
