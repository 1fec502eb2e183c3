#include "scan/keyed_hash.h"

#include <random>

namespace jrn {

uint64_t random_hash_key() {
  std::random_device rd;
  return (static_cast<uint64_t>(rd()) << 32) ^ rd();
}

}  // namespace jrn
