// An exact set of 32-bit numbers (node numbers, transaction ids) whose
// memory follows how the numbers lie rather than how many there are: the
// numbers are grouped by their high 16 bits, and each group keeps its low
// 16 bits either as a sorted array (up to 4096 of them, 2 bytes each) or,
// once it holds more, as a bitmap of 8 KiB. Ids that come in dense runs
// take little more than a bit each; the worst case, every one of the 2^32
// numbers, takes 65536 bitmaps, 512 MiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jrn {

class id_set {
 public:
  static constexpr uint32_t array_max = 4096;  // beyond this a group is a bitmap

  // Adds id; true when it was not in the set.
  bool add(uint32_t id);
  bool contains(uint32_t id) const;
  uint64_t size() const { return count_; }
  // Adds every number of this set to other.
  void merge_into(id_set& other) const;
  // Empties the set and gives its memory back.
  void clear();
  // The bytes the set holds (its groups and their directory).
  size_t memory() const;

 private:
  struct group {
    std::vector<uint16_t> array;  // sorted low halves, while not a bitmap
    std::vector<uint64_t> bits;   // 1024 words once a bitmap
    uint32_t count = 0;
    bool is_bitmap() const { return !bits.empty(); }
  };
  group& group_of(uint16_t high);
  static void to_bitmap(group& g);

  // By high half: 1 + the index of its group in groups_, 0 when none. Made
  // at the first add.
  std::vector<uint32_t> directory_;
  std::vector<group> groups_;
  uint64_t count_ = 0;
};

}  // namespace jrn
