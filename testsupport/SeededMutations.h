// Seeded mutations of a file's bytes for the readers' corpus tests: the same
// case number always gives the same bytes, so a failure can be replayed.
#pragma once
#include <cstdint>
#include <vector>

// Case n of the seed: by n % 3, one to four bytes set to random values, a
// 32-bit little-endian word at a 4-aligned place set to a value readers
// trip over (0, 1, -1, 0x7FFFFFFF, 0x80000000, 0xFFFF, the file's length),
// or the length cut short or grown with random bytes.
std::vector<uint8_t> MutatedCase(const std::vector<uint8_t>& seed, uint32_t n);
