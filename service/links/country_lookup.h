#pragma once
// A client's country, from a MaxMind DB file of countries (libmaxminddb):
// its ISO 3166 code, two letters packed in 16 bits; 0 for none (no file,
// an address the file does not hold, a malformed address).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct MMDB_s;

namespace snipora::service {

using CountryCode = uint16_t;
inline constexpr CountryCode kNoCountry = 0;
inline std::string CountryName(CountryCode code) {
  if (code == kNoCountry) return "unknown";
  return {char(code >> 8), char(code & 0xff)};
}

class CountryLookup {
 public:
  // Opens the file; throws std::runtime_error, naming it, when it cannot.
  explicit CountryLookup(const std::string& path);
  ~CountryLookup();
  CountryLookup(const CountryLookup&) = delete;
  CountryLookup& operator=(const CountryLookup&) = delete;

  // Safe from any thread: the file is mapped read-only.
  CountryCode Find(std::string_view address) const;

 private:
  std::unique_ptr<MMDB_s> db_;
};

}  // namespace snipora::service
