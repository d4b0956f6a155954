#pragma once
// SipHash-2-4: a keyed 64-bit hash built for short inputs. A visitor is
// hashed under the day's secret salt, so its hash says nothing to anyone
// without the salt, and nothing at all once the salt is gone.
#include <array>
#include <cstdint>
#include <string_view>

namespace snipora::service {

using HashKey = std::array<uint8_t, 16>;

class KeyedHash {
 public:
  explicit KeyedHash(const HashKey& key);
  // More bytes of the input; where one call ends is not marked (callers put a
  // separator between fields).
  void Add(std::string_view bytes);
  uint64_t Finish() const;

 private:
  void Block(uint64_t m);
  uint64_t v0_, v1_, v2_, v3_;
  uint64_t tail_ = 0;  // bytes not yet a whole block, little-endian
  unsigned tailBytes_ = 0;
  uint64_t length_ = 0;
};

inline uint64_t KeyedHashOf(const HashKey& key, std::string_view bytes) {
  KeyedHash hash(key);
  hash.Add(bytes);
  return hash.Finish();
}

}  // namespace snipora::service
