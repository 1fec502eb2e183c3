#include "model/check_records.h"

#include <cstring>

#include "scan/keyed_hash.h"

namespace jrn {

namespace {

// Bytes the allocator takes beyond what is asked for, per allocation.
constexpr uint64_t allocation_overhead = 16;

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The high and low halves of the 128-bit product folded together.
inline uint64_t fold_product(uint64_t a, uint64_t b) {
  const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

}  // namespace

record_contents::record_contents(uint64_t memory_bound)
    : bound_(memory_bound),
      seed_(random_hash_key()),
      multiplier_(random_hash_key() | 1),
      content_seed_(random_hash_key() | 1),
      kept_bound_(memory_bound / 4) {}

record_contents::~record_contents() { clear(); }

// Four lanes of 16 bytes each take a 64-byte block, so that the products
// of one block do not wait for each other; in each lane a pair of words is
// multiplied, the key and the lane's running value mixed in, so that every
// byte and its place count.
uint64_t record_contents::hash(const uint8_t* p, size_t n) const {
  const uint64_t k = content_seed_, k2 = content_seed_ * 0x9e3779b97f4a7c15ull + 1;
  uint64_t h0 = k ^ (n * 0xbf58476d1ce4e5b9ull), h1 = h0 + 1, h2 = h0 + 2, h3 = h0 + 3;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    h0 = fold_product(load64(p + i) ^ k ^ h0, load64(p + i + 8) ^ k2);
    h1 = fold_product(load64(p + i + 16) ^ k ^ h1, load64(p + i + 24) ^ k2);
    h2 = fold_product(load64(p + i + 32) ^ k ^ h2, load64(p + i + 40) ^ k2);
    h3 = fold_product(load64(p + i + 48) ^ k ^ h3, load64(p + i + 56) ^ k2);
  }
  uint64_t h = fold_product(h0 ^ k, h1 ^ k2) ^ fold_product(h2 ^ k2, h3 ^ k);
  for (; i + 16 <= n; i += 16) h = fold_product(load64(p + i) ^ k ^ h, load64(p + i + 8) ^ k2);
  if (i < n) {
    uint8_t tail[16] = {};
    std::memcpy(tail, p + i, n - i);
    h = fold_product(load64(tail) ^ k ^ h, load64(tail + 8) ^ k2 ^ (n - i));
  }
  return hash_mix(h ^ n);
}

bool record_contents::matches(const entry& e, const uint8_t* p, size_t n) const {
  if (n != e.length) return false;
  if (e.kept) return n == 0 || std::memcmp(e.kept, p, n) == 0;
  return !e.hashed || hash(p, n) == e.hash;  // without either, nothing to judge by
}

// Doubles the slots while the old and the new ones together fit into three
// quarters of the bound (the contents kept have the rest); the last size
// they reach may be filled to three quarters, the others to one half.
bool record_contents::grow() {
  const uint64_t table_bound = bound_ / 4 * 3;
  const size_t next = capacity_ ? capacity_ * 2 : 64;
  if ((capacity_ + next) * uint64_t{slot_bytes} > table_bound) {
    if (capacity_ == 0 || limit_ == capacity_ / 4 * 3) return false;
    limit_ = capacity_ / 4 * 3;
    return true;
  }
  std::unique_ptr<entry[]> old = std::move(slots_);
  std::unique_ptr<origin[]> old_origins = std::move(origins_);
  const size_t old_capacity = capacity_;
  slots_.reset(new entry[next]());
  origins_.reset(new origin[next]());
  capacity_ = next;
  shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(next));
  limit_ = next / 2;
  cursor_ = 0;
  for (size_t i = 0; i < old_capacity; ++i) {
    if (!old[i].used) continue;
    size_t s = slot_of(old[i].key);
    while (slots_[s].used) s = (s + 1) & (capacity_ - 1);
    slots_[s] = old[i];
    origins_[s] = old_origins[i];
  }
  return true;
}

record_contents::entry* record_contents::add(int32_t node, uint32_t recno) {
  if (used_ >= limit_ && !grow()) {
    full_ = true;
    return nullptr;
  }
  const uint64_t key = key_of(node, recno);
  size_t s = slot_of(key);
  while (slots_[s].used) s = (s + 1) & (capacity_ - 1);
  entry& e = slots_[s];
  e = entry();
  e.key = key;
  e.used = true;
  e.st = state::unknown;
  ++used_;
  return &e;
}

void record_contents::set_content_slowly(entry& e, const uint8_t* p, size_t n) {
  if (n > UINT16_MAX) {  // longer than any record's data can be
    drop_content(e, state::unknown);
    return;
  }
  e.st = state::known;
  e.length = static_cast<uint16_t>(n);
  // A content kept is hashed when it leaves.
  e.hashed = !keep(e, p, n);
  if (e.hashed) e.hash = hash(p, n);
}

void record_contents::drop_content(entry& e, state st) {
  e.st = st;
  give_back(e);
}

bool record_contents::patch(entry& e, uint32_t at, const uint8_t* p, size_t n) {
  if (e.st != state::known || !e.kept || at > e.length || n > e.length - at) {
    drop_content(e, state::unknown);
    return false;
  }
  if (n != 0) std::memcpy(e.kept + at, p, n);
  e.hashed = false;
  return true;
}

void record_contents::forget_node(int32_t node) {
  scanned_ += capacity_;
  if (scanned_ > (uint64_t{1} << 26)) {
    clear();
    return;
  }
  for (size_t i = 0; i < capacity_; ++i) {
    entry& e = slots_[i];
    if (e.used && static_cast<int32_t>(static_cast<uint32_t>(e.key >> 32)) == node)
      drop_content(e, state::unknown);
  }
}

void record_contents::clear() {
  scanned_ = 0;
  for (size_t i = 0; i < capacity_; ++i) delete[] slots_[i].kept;
  slots_.reset();
  origins_.reset();
  capacity_ = used_ = limit_ = cursor_ = 0;
  shift_ = 64;
  for (std::vector<uint8_t*>& spare : spare_) {
    for (uint8_t* b : spare) delete[] b;
    std::vector<uint8_t*>().swap(spare);
  }
  kept_bytes_ = 0;
}

// --- the contents kept ---

// A buffer, the allocator's bytes beside it, and its place in a spare list.
uint64_t record_contents::buffer_cost(unsigned size) {
  return (uint64_t{1} << size) + allocation_overhead + sizeof(uint8_t*);
}

// The entry's buffer goes to the spare ones of its size.
void record_contents::give_back(entry& e) {
  if (!e.kept) return;
  spare_[e.kept_size].push_back(e.kept);
  e.kept = nullptr;
}

bool record_contents::free_a_spare() {
  for (unsigned k = max_size + 1; k-- > min_size;) {
    if (spare_[k].empty()) continue;
    delete[] spare_[k].back();
    spare_[k].pop_back();
    kept_bytes_ -= buffer_cost(k);
    return true;
  }
  return false;
}

// The next record around the table whose content is kept lets it go: its
// hash stands for it from now on.
bool record_contents::evict_one() {
  for (size_t n = 0; n < capacity_; ++n) {
    entry& v = slots_[cursor_];
    cursor_ = (cursor_ + 1) & (capacity_ - 1);
    if (!v.used || !v.kept) continue;
    if (!v.hashed) v.hash = hash(v.kept, v.length);
    v.hashed = true;
    give_back(v);
    return true;
  }
  return false;
}

// A buffer of 1 << size bytes: a spare one, a new one where the bound has
// room, or else made room for by freeing spare buffers and letting kept
// contents go. Null when the bound cannot hold it.
uint8_t* record_contents::take_buffer(unsigned size) {
  const uint64_t cost = buffer_cost(size);
  if (cost > kept_bound_) return nullptr;
  for (;;) {
    if (!spare_[size].empty()) {
      uint8_t* b = spare_[size].back();
      spare_[size].pop_back();
      return b;
    }
    if (kept_bytes_ + cost <= kept_bound_) {
      kept_bytes_ += cost;
      return new uint8_t[size_t{1} << size];
    }
    if (!free_a_spare() && !evict_one()) return nullptr;
  }
}

// Keeps the entry's new content where the room allows; false when it does
// not.
bool record_contents::keep(entry& e, const uint8_t* p, size_t n) {
  if (!e.kept || n > (size_t{1} << e.kept_size)) {
    give_back(e);
    unsigned size = min_size;
    while ((size_t{1} << size) < n) ++size;
    uint8_t* b = take_buffer(size);
    if (!b) return false;
    e.kept = b;
    e.kept_size = static_cast<uint8_t>(size);
  }
  if (n != 0) std::memcpy(e.kept, p, n);
  return true;
}

}  // namespace jrn
