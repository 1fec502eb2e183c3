#include "model/id_set.h"

#include <algorithm>
#include <iterator>

namespace jrn {

namespace {

constexpr size_t bitmap_words = 65536 / 64;

}  // namespace

id_set::group& id_set::group_of(uint16_t high) {
  if (directory_.empty()) directory_.assign(65536, 0);
  uint32_t& slot = directory_[high];
  if (slot == 0) {
    groups_.emplace_back();
    slot = static_cast<uint32_t>(groups_.size());
  }
  return groups_[slot - 1];
}

void id_set::to_bitmap(group& g) {
  g.bits.assign(bitmap_words, 0);
  for (uint16_t low : g.array) g.bits[low >> 6] |= uint64_t{1} << (low & 63);
  std::vector<uint16_t>().swap(g.array);
}

bool id_set::add(uint32_t id) {
  group& g = group_of(static_cast<uint16_t>(id >> 16));
  const uint16_t low = static_cast<uint16_t>(id);
  if (g.is_bitmap()) {
    uint64_t& word = g.bits[low >> 6];
    const uint64_t bit = uint64_t{1} << (low & 63);
    if (word & bit) return false;
    word |= bit;
  } else {
    // Ids mostly grow: the end of the array is tried first.
    auto at = (g.array.empty() || g.array.back() < low)
                  ? g.array.end()
                  : std::lower_bound(g.array.begin(), g.array.end(), low);
    if (at != g.array.end() && *at == low) return false;
    if (g.array.size() < array_max) {
      g.array.insert(at, low);
    } else {
      to_bitmap(g);
      g.bits[low >> 6] |= uint64_t{1} << (low & 63);
    }
  }
  ++g.count;
  ++count_;
  return true;
}

bool id_set::contains(uint32_t id) const {
  if (directory_.empty()) return false;
  const uint32_t slot = directory_[id >> 16];
  if (slot == 0) return false;
  const group& g = groups_[slot - 1];
  const uint16_t low = static_cast<uint16_t>(id);
  if (g.is_bitmap()) return (g.bits[low >> 6] >> (low & 63)) & 1;
  return std::binary_search(g.array.begin(), g.array.end(), low);
}

void id_set::merge_into(id_set& other) const {
  if (directory_.empty()) return;
  for (uint32_t high = 0; high < 65536; ++high) {
    const uint32_t slot = directory_[high];
    if (slot == 0) continue;
    const group& from = groups_[slot - 1];
    group& to = other.group_of(static_cast<uint16_t>(high));
    const uint32_t before = to.count;
    if (!from.is_bitmap() && !to.is_bitmap() && from.array.size() + to.array.size() <= array_max) {
      std::vector<uint16_t> both;
      both.reserve(from.array.size() + to.array.size());
      std::set_union(to.array.begin(), to.array.end(), from.array.begin(), from.array.end(),
                     std::back_inserter(both));
      to.array.swap(both);
      to.count = static_cast<uint32_t>(to.array.size());
    } else {
      if (!to.is_bitmap()) to_bitmap(to);
      if (from.is_bitmap()) {
        for (size_t w = 0; w < bitmap_words; ++w) to.bits[w] |= from.bits[w];
      } else {
        for (uint16_t low : from.array) to.bits[low >> 6] |= uint64_t{1} << (low & 63);
      }
      uint32_t n = 0;
      for (uint64_t word : to.bits) n += static_cast<uint32_t>(__builtin_popcountll(word));
      to.count = n;
    }
    other.count_ += to.count - before;
  }
}

void id_set::clear() {
  std::vector<uint32_t>().swap(directory_);
  std::vector<group>().swap(groups_);
  count_ = 0;
}

size_t id_set::memory() const {
  size_t n = directory_.capacity() * sizeof(uint32_t) + groups_.capacity() * sizeof(group);
  for (const group& g : groups_)
    n += g.array.capacity() * sizeof(uint16_t) + g.bits.capacity() * sizeof(uint64_t);
  return n;
}

}  // namespace jrn
