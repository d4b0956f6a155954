#pragma once
// How many different visitors a link had: a HyperLogLog of 2^14 registers
// (standard error 1.04/sqrt(16384), 0.8%; below about 40,000 visitors the
// estimate is linear counting, nearer still). A register is the largest
// rank (leading zeros + 1) of the hashes that fell into it, so two sketches
// merge by the register-wise maximum, and the same visitor counted on two
// instances counts once. Few visitors keep few registers: the sketch holds
// only the registers it has set, sorted, until that costs more than the
// whole array.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace snipora::service {

struct Register {
  uint16_t index = 0;
  uint8_t rank = 0;
};

class DistinctCount {
 public:
  static constexpr int kPrecision = 14;
  static constexpr std::size_t kRegisters = std::size_t(1) << kPrecision;

  DistinctCount() = default;
  DistinctCount(DistinctCount&&) noexcept = default;
  DistinctCount& operator=(DistinctCount&&) noexcept = default;

  // One visitor's 64-bit hash (uniform: a keyed hash).
  void AddHash(uint64_t hash);
  // A register as stored; a rank out of range is ignored.
  void Raise(uint16_t index, uint8_t rank);
  void Merge(const DistinctCount& other);
  double Estimate() const;
  // The registers set, in the order of their index.
  std::vector<Register> Registers() const;
  bool empty() const { return !dense_ && sparse_.empty(); }
  // Bytes held beyond the object itself.
  std::size_t HeapBytes() const;

 private:
  // sparse entries: index << 8 | rank, sorted by index
  std::vector<uint32_t> sparse_;
  std::unique_ptr<uint8_t[]> dense_;  // kRegisters ranks, once sparse would be larger
};

}  // namespace snipora::service
