// A small deterministic random source (splitmix64): the same seed gives the
// same log on every machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fwgen {

class rng {
 public:
  explicit rng(uint64_t seed) : s_(seed) {}
  uint64_t next() {
    uint64_t z = (s_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1 (0 when n is 0).
  uint32_t below(uint32_t n) { return n ? static_cast<uint32_t>(next() % n) : 0; }
  // lo .. hi, both included.
  uint32_t range(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
  bool percent(uint32_t p) { return below(100) < p; }
  template <typename T, size_t N>
  const T& pick(const T (&a)[N]) {
    return a[below(N)];
  }

 private:
  uint64_t s_;
};

}  // namespace fwgen
