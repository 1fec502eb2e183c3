// The keys with the most records (busiest nodes, transactions) in a fixed
// number of counters, whatever the number of keys: the space-saving method.
// While there are fewer keys than counters every key has its own and every
// count is exact. Once they are all taken, a new key takes over the counter
// with the fewest records: it starts from that count, which it keeps as its
// error. So each count is an upper bound of the true one and exceeds it by
// at most its error (a count with error 0 is exact), and every key whose
// true count is above the bound() of keys without a counter (the fewest
// records of a counter, at most records / counters) holds a counter.
//
// Entry is a struct with the members key (an unsigned integer, never 0),
// records and error (uint64_t); the rest of it is what the caller keeps per
// key.
// Counting one more record is ++entry->records. The counter with the
// fewest records is found only when a key needs one: counters sit in
// buckets by their count as last seen (counts only grow, so a count seen
// earlier is never above the current one), a window of consecutive counts
// from the least one on, and a heap for those beyond it; a counter found
// to have grown moves to the bucket of its current count. Each record
// moves a counter by at most one bucket in all, so finding the least
// count costs O(1) amortised. A key that holds a counter is found through
// a keyed hash index.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "scan/keyed_hash.h"

namespace jrn {

template <typename Entry>
class top_counts {
 public:
  using key_type = decltype(Entry::key);
  top_counts(uint64_t seed, uint32_t capacity) : seed_(seed), capacity_(capacity) {}

  uint32_t capacity() const { return capacity_; }
  size_t size() const { return entries_.size(); }
  const std::vector<Entry>& entries() const { return entries_; }
  // What the caller keeps per key may change; records only grow.
  std::vector<Entry>& entries() { return entries_; }

  // The entry of key (not 0), null when the key holds no counter.
  Entry* find(key_type key) {
    if (index_.empty()) return nullptr;
    for (size_t s = slot_of(key);; s = (s + 1) & (index_.size() - 1)) {
      if (index_[s].key == key) return &entries_[index_[s].entry];
      if (index_[s].key == 0) return nullptr;
    }
  }

  // A counter for key (not 0), which holds none: a free one, or the one
  // with the fewest records, which is first handed to taken_over(entry).
  // The entry is reset but for key, records and error (the count it takes
  // over). Entries do not move while there is room (capacity is reserved
  // at the first insert), so pointers to them stay valid until clear().
  template <typename TakenOver>
  Entry* insert(key_type key, TakenOver taken_over) {
    if (entries_.size() < capacity_) {
      if (entries_.empty()) entries_.reserve(capacity_);
      entries_.emplace_back();
      Entry& e = entries_.back();
      e.key = key;
      e.records = e.error = floor_;
      index_put(key, static_cast<uint32_t>(entries_.size() - 1));
      return &e;
    }
    if (!buckets_built_) build_buckets();
    const uint32_t at = take_least();
    Entry& e = entries_[at];
    taken_over(e);
    index_erase(e.key);
    const uint64_t taken = e.records;
    e = Entry();
    e.key = key;
    e.records = e.error = taken;
    index_put(key, at);
    place(at, taken);
    ++evictions_;
    // The counter the next key will likely take over (the records in
    // between give the memory time to come).
    const uint32_t next = next_[at];
    if (next != none) __builtin_prefetch(&entries_[next]);
    return &e;
  }

  // An upper bound of the records of a key that holds no counter.
  uint64_t bound() const {
    if (entries_.size() < capacity_ || evictions_ == 0) return floor_;
    uint64_t least = entries_[0].records;
    for (const Entry& e : entries_) least = std::min(least, e.records);
    return std::max(least, floor_);
  }

  void clear() {
    entries_.clear();
    buckets_built_ = false;
    std::vector<index_slot>().swap(index_);
    floor_ = 0;
    evictions_ = 0;
  }

  // Adds the counts of other (read later, as of another log) to these:
  // a key that only one side has a counter for gets the other side's
  // bound() on top of its count, and as error. Where more keys come out
  // than there are counters, those with the fewest records are left out
  // and their counts raise bound(). combine(into, from) merges what the
  // caller keeps per key (key, records and error are done here).
  template <typename Combine>
  void merge_from(top_counts& other, Combine combine) {
    const uint64_t mine = bound(), theirs = other.bound();
    std::vector<Entry> all;
    all.reserve(entries_.size() + other.entries_.size());
    std::vector<bool> met(entries_.size(), false);
    for (Entry& o : other.entries_) {
      if (Entry* e = find(o.key)) {
        met[static_cast<size_t>(e - entries_.data())] = true;
        e->records += o.records;
        e->error += o.error;
        combine(*e, o);
      } else {
        all.push_back(std::move(o));
        all.back().records += mine;
        all.back().error += mine;
      }
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
      Entry& e = entries_[i];
      if (!met[i]) {
        e.records += theirs;
        e.error += theirs;
      }
      all.push_back(std::move(e));
    }
    uint64_t floor = mine + theirs;
    if (all.size() > capacity_) {
      std::nth_element(all.begin(), all.begin() + capacity_, all.end(),
                       [](const Entry& a, const Entry& b) { return a.records > b.records; });
      for (size_t i = capacity_; i < all.size(); ++i) floor = std::max(floor, all[i].records);
      all.resize(capacity_);
    }
    assign(std::move(all), floor);
  }

 private:
  struct index_slot {
    key_type key;    // 0: empty
    uint32_t entry;  // index into entries_
  };
  static constexpr uint32_t none = UINT32_MAX;
  // The bucket window: counts base_ to base_ + window - 1.
  static constexpr uint32_t window = 64;

  size_t slot_of(key_type key) const {
    return static_cast<size_t>(hash_mix(key ^ seed_)) & (index_.size() - 1);
  }

  // At most half of the slots are used.
  void index_put(key_type key, uint32_t entry) {
    if (entries_.size() * 2 > index_.size()) {
      size_t n = index_.empty() ? 64 : index_.size() * 2;
      while (n < entries_.size() * 2) n *= 2;
      std::vector<index_slot> old(n, index_slot{0, 0});
      old.swap(index_);
      for (const index_slot& s : old)
        if (s.key != 0) place(s);
    }
    place({key, entry});
  }
  void place(index_slot item) {
    size_t s = slot_of(item.key);
    while (index_[s].key != 0) s = (s + 1) & (index_.size() - 1);
    index_[s] = item;
  }
  // Linear probing: the keys behind the gap that would no longer be
  // reached move into it.
  void index_erase(key_type key) {
    const size_t mask = index_.size() - 1;
    size_t gap = slot_of(key);
    while (index_[gap].key != key) gap = (gap + 1) & mask;
    for (size_t s = (gap + 1) & mask; index_[s].key != 0; s = (s + 1) & mask) {
      const size_t home = slot_of(index_[s].key);
      // Movable when its home is not within (gap, s].
      if (((s - home) & mask) >= ((s - gap) & mask)) {
        index_[gap] = index_[s];
        gap = s;
      }
    }
    index_[gap] = {0, 0};
  }

  // Every counter into its bucket; base_ is the least count.
  void build_buckets() {
    base_ = entries_[0].records;
    for (const Entry& e : entries_) base_ = std::min(base_, e.records);
    std::fill(std::begin(head_), std::end(head_), none);
    next_.assign(entries_.size(), none);
    beyond_.clear();
    in_window_ = 0;
    for (uint32_t i = 0; i < entries_.size(); ++i) place(i, entries_[i].records);
    buckets_built_ = true;
  }
  // Files counter i under count (at most its current one, at least base_).
  void place(uint32_t i, uint64_t count) {
    if (count - base_ < window) {
      uint32_t& head = head_[count % window];
      next_[i] = head;
      head = i;
      ++in_window_;
    } else {
      beyond_.push_back({count, i});
      std::push_heap(beyond_.begin(), beyond_.end(), later);
    }
  }
  // Takes the counter with the fewest records out of its bucket.
  uint32_t take_least() {
    for (;;) {
      while (!beyond_.empty() && beyond_.front().first - base_ < window) {
        std::pop_heap(beyond_.begin(), beyond_.end(), later);
        const auto item = beyond_.back();
        beyond_.pop_back();
        place(item.second, item.first);
      }
      if (in_window_ == 0) {
        base_ = beyond_.front().first;
        continue;
      }
      uint32_t& head = head_[base_ % window];
      if (head == none) {
        ++base_;
        continue;
      }
      const uint32_t i = head;
      head = next_[i];
      --in_window_;
      const uint64_t now = entries_[i].records;
      if (now == base_) return i;
      place(i, now);
    }
  }
  static bool later(const std::pair<uint64_t, uint32_t>& a,
                    const std::pair<uint64_t, uint32_t>& b) {
    return a.first > b.first;
  }

  void assign(std::vector<Entry>&& entries, uint64_t floor) {
    clear();
    entries_.reserve(capacity_);
    for (Entry& e : entries) entries_.push_back(std::move(e));
    floor_ = floor;
    for (uint32_t i = 0; i < entries_.size(); ++i) index_put(entries_[i].key, i);
  }

  uint64_t seed_;
  uint32_t capacity_;
  std::vector<Entry> entries_;
  std::vector<index_slot> index_;
  // Set up at the first counter taken over (until then none is needed).
  bool buckets_built_ = false;
  uint64_t base_ = 0;
  uint32_t head_[window];
  std::vector<uint32_t> next_;                         // the next counter in the same bucket
  uint32_t in_window_ = 0;                             // counters in the window's buckets
  std::vector<std::pair<uint64_t, uint32_t>> beyond_;  // a heap of (count, counter), least first
  uint64_t floor_ = 0;                                 // bound() of keys left out of a merge
  uint64_t evictions_ = 0;                             // counters taken over since then
};

}  // namespace jrn
