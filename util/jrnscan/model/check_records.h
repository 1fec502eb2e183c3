// What the check knows of each fixed record's content, so that a later
// before-image of the record can be judged against it: the storage of
// hashes behind the rules of record_rules.h.
//
// Per record (node, record number) the table keeps a 64-bit hash of the
// content, its length, and where that knowledge came from (the input offset
// of the tag, and the log it lies in); or that the record does not exist
// (after a DELETE); or that its content is unknown (after a change whose
// data the log does not hold). A hash cannot take a patch: an UPDATE_RANGE
// changes bytes whose old values it does not carry. So the contents
// themselves are kept too, as many as a quarter of the memory bound holds;
// when room is needed, the contents of records taken in turn around the
// table leave. A patch to a record whose content is not kept makes its
// content unknown. While a content is kept it is compared as it is, and
// hashed only when it leaves: dropping a kept content thus only loses the
// means to patch it.
//
// The table's memory (its slots, which grow by doubling, and the contents
// kept) stays within the bound given. Once the slots can no longer grow,
// records that the table does not hold yet are not added (full() tells);
// the records it holds are followed on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "model/record_rules.h"

namespace jrn {

class record_contents {
 public:
  using state = content_state;
  enum class source : uint8_t { change, before_image };
  // What a lookup needs, 32 bytes: two to a cache line, none across two.
  struct alignas(32) entry {
    uint64_t key;     // the node's 32 bits, then the record number's
    uint64_t hash;    // of the content (state known, hashed)
    uint8_t* kept;    // the content's bytes when they are kept, else null
    uint16_t length;  // of the content (state known)
    state st;
    source from;        // of the tag that gave the state
    bool used;          // the slot holds a record
    bool hashed;        // hash is set (a content not kept always is)
    uint8_t kept_size;  // kept holds 1 << kept_size bytes
  };
  // Where the state came from, beside the slot, for the messages.
  struct origin {
    int64_t offset;  // input offset of the tag that gave the state
    uint32_t input;  // the caller's numbers of the input and the log in it
    uint32_t log;    //   that tag lies in
  };
  // The bytes of a slot: a record takes one, two at most while the table
  // grows.
  static constexpr size_t slot_bytes = sizeof(entry) + sizeof(origin);

  // memory_bound: bytes the table may take in all; 0 follows no record.
  explicit record_contents(uint64_t memory_bound);
  ~record_contents();
  record_contents(const record_contents&) = delete;
  record_contents& operator=(const record_contents&) = delete;

  uint64_t memory_bound() const { return bound_; }
  // The record's entry, or null when the table does not hold it.
  entry* find(int32_t node, uint32_t recno) {
    if (used_ == 0) return nullptr;
    const uint64_t key = key_of(node, recno);
    for (size_t s = slot_of(key);; s = (s + 1) & (capacity_ - 1)) {
      entry& e = slots_[s];
      if (!e.used) return nullptr;
      if (e.key == key) return &e;
    }
  }
  // The record's entry, added (state unknown) when the table does not hold
  // it yet; null when the table is full.
  entry* get(int32_t node, uint32_t recno) {
    if (entry* e = find(node, recno)) return e;
    return add(node, recno);
  }
  origin& origin_of(const entry& e) { return origins_[static_cast<size_t>(&e - slots_.get())]; }
  // Whether a record could not be added for want of room.
  bool full() const { return full_; }
  size_t size() const { return used_; }

  // The hash of content bytes (keyed with a random value per table).
  uint64_t hash(const uint8_t* p, size_t n) const;
  // Whether the entry's known content is these bytes.
  bool matches(const entry& e, const uint8_t* p, size_t n) const;

  // The entry's content is now these bytes (state known): the length is
  // set, and the bytes kept where there is room, else hashed.
  void set_content(entry& e, const uint8_t* p, size_t n) {
    // Mostly a record kept already, whose new content fits where it is.
    if (e.kept && n <= (size_t{1} << e.kept_size) && n <= UINT16_MAX) {
      e.st = state::known;
      e.length = static_cast<uint16_t>(n);
      e.hashed = false;
      if (n != 0) std::memcpy(e.kept, p, n);
      return;
    }
    set_content_slowly(e, p, n);
  }
  // The entry's content is no longer known to be what it was: state st,
  // the bytes kept (if any) dropped.
  void drop_content(entry& e, state st);
  // Applies a patch of n bytes at offset `at` to the entry's content: true
  // when it was kept and the patch lay within it; otherwise the content
  // becomes unknown and false is returned.
  bool patch(entry& e, uint32_t at, const uint8_t* p, size_t n);

  // The contents of the node's records are unknown from here (a change of
  // them could not be read). The table is looked through; when that has
  // cost more than a bound since it was last emptied, every record is
  // forgotten instead.
  void forget_node(int32_t node);

  // Forgets every record and frees the memory.
  void clear();

 private:
  // Buffers hold 1 << k bytes, k from min_size to max_size.
  static constexpr unsigned min_size = 5, max_size = 16;
  static uint64_t key_of(int32_t node, uint32_t recno) {
    return uint64_t{static_cast<uint32_t>(node)} << 32 | recno;
  }
  entry* add(int32_t node, uint32_t recno);
  void set_content_slowly(entry& e, const uint8_t* p, size_t n);
  // Multiply-shift with a random odd multiplier: the high bits of the
  // product, which every bit of the key moves; records numbered one after
  // the other land spread out.
  size_t slot_of(uint64_t key) const {
    return static_cast<size_t>(((key ^ seed_) * multiplier_) >> shift_);
  }
  bool grow();
  bool keep(entry& e, const uint8_t* p, size_t n);
  uint8_t* take_buffer(unsigned size);
  void give_back(entry& e);
  bool free_a_spare();
  bool evict_one();
  static uint64_t buffer_cost(unsigned size);

  uint64_t bound_;
  uint64_t seed_, multiplier_, content_seed_;
  unsigned shift_ = 64;  // 64 - log2 of the slots
  std::unique_ptr<entry[]> slots_;
  std::unique_ptr<origin[]> origins_;
  size_t capacity_ = 0;  // slots (a power of two, or 0)
  size_t used_ = 0;
  size_t limit_ = 0;  // records the slots may hold before they grow
  bool full_ = false;
  uint64_t scanned_ = 0;  // slots looked through by forget_node since clear

  // The buffers of contents, in use and spare, cost this much in all; the
  // spare ones by their size; the slot whose content leaves next.
  uint64_t kept_bytes_ = 0;
  uint64_t kept_bound_;
  std::vector<uint8_t*> spare_[max_size + 1];
  size_t cursor_ = 0;
};

}  // namespace jrn
