// Node name map: node numbers to qualified names for display, filled from
// -M listing files and from the log's own CONTEXT records.
//
// A log chooses the node numbers, so the table must not have a bad case
// that numbers can be picked to hit: it is an open-addressing hash table
// whose hash is keyed with a random value per run. Entries sit in blocks
// and names in text blocks that are never moved or copied as the table
// grows; the memory that names learnt from the log make the table allocate
// is bounded in total (the listing files are the user's own and are not).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scan/escape.h"

namespace jrn {

class node_map {
 public:
  // A qualified name that takes more than this many bytes as written (in
  // its text_form) keeps its end (the most specific part) behind a leading
  // "...", within the same length.
  static constexpr size_t name_limit = 4096;
  // Parent chains are cut after this many levels (real ones have three or
  // four); the cut shows the same "..." marker.
  static constexpr size_t max_depth = 256;
  static constexpr uint64_t default_learn_limit = 256ull << 20;

  node_map();

  // Loads one listing file: two heading lines, then "id kind name parent"
  // per line; a later line for a number replaces an earlier one. 0, or -1
  // after a message on standard error.
  // A bad line, and the file's name in messages, are shown escaped when
  // escape is set.
  int load(const char* file_name, bool escape);
  // Registers a name learnt from a context record unless the number is
  // already mapped; the name is stored in upper case. False when the name
  // was not kept because the bound on learnt names was reached (once: the
  // caller warns).
  bool learn(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent);
  void set_learn_limit(uint64_t bytes) { learn_limit_ = bytes; }
  uint64_t learn_limit() const { return learn_limit_; }
  // Bytes the table allocated for learnt names: entry blocks, text blocks
  // and slots, with their allocator's overhead. Never above learn_limit().
  uint64_t learnt_bytes() const { return learnt_bytes_; }
  // Bytes the table holds in all, listing names included (besides a
  // scratch area of a few KiB for building qualified names).
  uint64_t memory_bytes() const { return memory_; }

  bool has(int32_t id) const { return find(id) != npos; }
  // Appends "DB.SET.INDEX" of a mapped number to out, written in the form,
  // with " (#id)" when with_number is set, or "#id" for an unmapped number.
  // The name takes at most name_limit bytes as written (the cut never
  // splits an escape sequence or a character), so the cost is bounded by
  // the length of what is appended.
  void append_display(int32_t id, bool with_number, text_form form, std::string& out) const;
  // The same, as it is or escaped for a terminal.
  void append_display(int32_t id, bool with_number, bool escape, std::string& out) const {
    append_display(id, with_number, escape ? text_form::terminal : text_form::raw, out);
  }
  void clear();
  size_t size() const { return count_; }
  // Table slots visited by all lookups so far: the work that node numbers
  // can steer.
  uint64_t probes() const { return probes_; }

 private:
  static constexpr uint32_t npos = UINT32_MAX;
  struct entry {
    int32_t id;
    int32_t parent;  // enclosing node; 0 = none
    const char* name;
    uint32_t name_len;
    int32_t kind;            // 2 database, 3 data set, 4 index (from context records)
    mutable uint32_t visit;  // cuts parent loops while a name is built
  };
  static constexpr uint32_t block_entries = 128;
  static constexpr size_t text_block = 16384;

  const entry& at(uint32_t i) const { return blocks_[i / block_entries][i % block_entries]; }
  entry& at(uint32_t i) { return blocks_[i / block_entries][i % block_entries]; }
  uint32_t find(int32_t id) const;
  uint32_t slot_of(int32_t id) const;
  // Bytes that storing a name of len bytes makes the table allocate, for a
  // new entry or one replaced; put allocates exactly that much.
  uint64_t growth_for(size_t len, bool new_entry) const;
  void put(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent, bool replace,
           bool upper);
  char* store_text(const char* name, size_t len);
  void grow_slots();

  uint64_t seed_;
  std::vector<std::unique_ptr<entry[]>> blocks_;
  uint32_t count_ = 0;
  std::vector<uint32_t> slots_;  // entry index + 1; 0 = empty
  std::vector<std::unique_ptr<char[]>> text_blocks_;
  char* text_free_ = nullptr;
  size_t text_left_ = 0;
  uint64_t memory_ = 0;
  uint64_t learn_limit_ = default_learn_limit;
  uint64_t learnt_bytes_ = 0;
  bool learn_stopped_ = false;
  mutable uint32_t visit_round_ = 0;
  mutable uint64_t probes_ = 0;
  mutable std::vector<uint32_t> chain_;
  mutable std::string name_buf_;
};

}  // namespace jrn
