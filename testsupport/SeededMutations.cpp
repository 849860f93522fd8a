// A small linear congruential generator seeded by the case number.
#include "testsupport/SeededMutations.h"

namespace {

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  uint32_t Below(uint32_t bound) { return bound ? Next() % bound : 0; }

 private:
  uint32_t state_;
};

}  // namespace

std::vector<uint8_t> MutatedCase(const std::vector<uint8_t>& seed, uint32_t n) {
  std::vector<uint8_t> bytes = seed;
  Random random(n);
  if (bytes.size() < 4) return bytes;
  switch (n % 3) {
    case 0:
      for (uint32_t i = 0, count = 1 + random.Below(4); i < count; ++i) {
        bytes[random.Below(uint32_t(bytes.size()))] = uint8_t(random.Next());
      }
      break;
    case 1: {
      const uint32_t values[] = {0, 1, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFF,
                                 uint32_t(bytes.size())};
      const uint32_t value = values[random.Below(7)];
      const size_t at = size_t(random.Below(uint32_t(bytes.size() / 4))) * 4;
      for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
      break;
    }
    default:
      if (random.Below(2)) {
        bytes.resize(random.Below(uint32_t(bytes.size())));
      } else {
        for (uint32_t i = 0, count = 1 + random.Below(64); i < count; ++i) {
          bytes.push_back(uint8_t(random.Next()));
        }
      }
  }
  return bytes;
}
