#include "service/core/distinct_count.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace snipora::service {
namespace {

// Beyond this many sparse entries (4 bytes each) the array (1 byte a
// register) is smaller.
constexpr std::size_t kSparseMost = DistinctCount::kRegisters / 4;
constexpr uint8_t kMaxRank = 64 - DistinctCount::kPrecision + 1;

}  // namespace

void DistinctCount::AddHash(uint64_t hash) {
  const auto index = uint16_t(hash >> (64 - kPrecision));
  const uint64_t rest = hash << kPrecision;
  const auto rank = uint8_t(rest == 0 ? kMaxRank : std::countl_zero(rest) + 1);
  Raise(index, rank);
}

void DistinctCount::Raise(uint16_t index, uint8_t rank) {
  if (index >= kRegisters || rank == 0 || rank > kMaxRank) return;
  if (dense_) {
    dense_[index] = std::max(dense_[index], rank);
    return;
  }
  const uint32_t entry = uint32_t(index) << 8 | rank;
  auto at = std::lower_bound(sparse_.begin(), sparse_.end(), uint32_t(index) << 8);
  if (at != sparse_.end() && (*at >> 8) == index) {
    if ((*at & 0xff) < rank) *at = entry;
    return;
  }
  if (sparse_.size() < kSparseMost) {
    sparse_.insert(at, entry);
    return;
  }
  dense_ = std::make_unique<uint8_t[]>(kRegisters);  // zeroed
  for (uint32_t e : sparse_) dense_[e >> 8] = uint8_t(e & 0xff);
  dense_[index] = rank;
  std::vector<uint32_t>().swap(sparse_);
}

void DistinctCount::Merge(const DistinctCount& other) {
  if (other.dense_) {
    for (std::size_t i = 0; i < kRegisters; ++i)
      if (other.dense_[i]) Raise(uint16_t(i), other.dense_[i]);
  } else {
    for (uint32_t e : other.sparse_) Raise(uint16_t(e >> 8), uint8_t(e & 0xff));
  }
}

std::vector<Register> DistinctCount::Registers() const {
  std::vector<Register> set;
  if (dense_) {
    for (std::size_t i = 0; i < kRegisters; ++i)
      if (dense_[i]) set.push_back({uint16_t(i), dense_[i]});
  } else {
    set.reserve(sparse_.size());
    for (uint32_t e : sparse_) set.push_back({uint16_t(e >> 8), uint8_t(e & 0xff)});
  }
  return set;
}

double DistinctCount::Estimate() const {
  const double m = double(kRegisters);
  double sum = 0;
  std::size_t zeros = 0;
  if (dense_) {
    for (std::size_t i = 0; i < kRegisters; ++i) {
      sum += std::ldexp(1.0, -int(dense_[i]));
      zeros += dense_[i] == 0;
    }
  } else {
    zeros = kRegisters - sparse_.size();
    sum = double(zeros);
    for (uint32_t e : sparse_) sum += std::ldexp(1.0, -int(e & 0xff));
  }
  if (zeros == kRegisters) return 0;
  const double alpha = 0.7213 / (1 + 1.079 / m);
  const double raw = alpha * m * m / sum;
  // linear counting while registers are left empty and the raw estimate is
  // in its biased range (the threshold HyperLogLog++ found for 2^14)
  if (zeros > 0) {
    const double linear = m * std::log(m / double(zeros));
    if (linear <= 11500) return linear;
  }
  return raw;
}

std::size_t DistinctCount::HeapBytes() const {
  return dense_ ? kRegisters : sparse_.capacity() * sizeof(uint32_t);
}

}  // namespace snipora::service
