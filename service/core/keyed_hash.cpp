#include "service/core/keyed_hash.h"

#include <bit>
#include <cstring>

namespace snipora::service {
namespace {

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

struct Lanes {
  uint64_t &v0, &v1, &v2, &v3;
  void Round() {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }
};

}  // namespace

KeyedHash::KeyedHash(const HashKey& key) {
  const uint64_t k0 = Load64(key.data()), k1 = Load64(key.data() + 8);
  v0_ = k0 ^ 0x736f6d6570736575ULL;
  v1_ = k1 ^ 0x646f72616e646f6dULL;
  v2_ = k0 ^ 0x6c7967656e657261ULL;
  v3_ = k1 ^ 0x7465646279746573ULL;
}

void KeyedHash::Block(uint64_t m) {
  Lanes lanes{v0_, v1_, v2_, v3_};
  v3_ ^= m;
  lanes.Round();
  lanes.Round();
  v0_ ^= m;
}

void KeyedHash::Add(std::string_view bytes) {
  length_ += bytes.size();
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  std::size_t n = bytes.size();
  // whole blocks at once while none is partly filled
  if (tailBytes_ == 0) {
    for (; n >= 8; p += 8, n -= 8) Block(Load64(p));
  }
  for (unsigned char c : std::string_view(reinterpret_cast<const char*>(p), n)) {
    tail_ |= uint64_t(c) << (8 * tailBytes_);
    if (++tailBytes_ == 8) {
      Block(tail_);
      tail_ = 0;
      tailBytes_ = 0;
    }
  }
}

uint64_t KeyedHash::Finish() const {
  uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
  Lanes lanes{v0, v1, v2, v3};
  const uint64_t last = tail_ | (length_ << 56);
  v3 ^= last;
  lanes.Round();
  lanes.Round();
  v0 ^= last;
  v2 ^= 0xff;
  for (int i = 0; i < 4; ++i) lanes.Round();
  return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace snipora::service
