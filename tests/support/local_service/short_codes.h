#pragma once
// The local service's table of short codes, in memory for the tests that run
// the service in their own process. A long address keeps its code: asking
// again gives the same one. (Short addresses that outlive a run are
// snipora-service's job; the local service relays to it with --relay.)
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace snipora::test {

class ShortCodes {
 public:
  // A bound on the table, so that a client cannot fill the memory.
  static constexpr std::size_t kMaxCodes = 100000;
  static constexpr std::size_t kCodeLength = 6;

  // The code of `address`, made now when it has none; nothing when the table
  // is full or the address is empty.
  std::optional<std::string> CodeFor(const std::string& address);
  std::optional<std::string> AddressOf(const std::string& code) const;
  std::size_t size() const { return byCode_.size(); }

  // Letters and digits only, 1 to 16 of them.
  static bool IsCode(std::string_view text);

 private:
  std::unordered_map<std::string, std::string> byCode_;
  std::unordered_map<std::string, std::string> byAddress_;
};

}  // namespace snipora::test
