// Hashing of numbers that a log chooses (node numbers, transaction ids):
// keyed with a random value per table, so that no choice of numbers can
// put them all into one run of slots.
#pragma once

#include <cstdint>

namespace jrn {

// A fresh random key.
uint64_t random_hash_key();

// A strong 64-bit mix (every input bit moves every output bit).
inline uint64_t hash_mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace jrn
