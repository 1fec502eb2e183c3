// Node name map: node numbers to qualified names for display, filled from
// -M listing files and from the log's own CONTEXT records.
//
// A log chooses the node numbers, so the table must not have a bad case
// that numbers can be picked to hit: it is an open-addressing hash table
// whose hash is keyed with a random value per run. Entries are small and
// their names sit in one text area; the names learnt from the log are
// bounded in total (the listing files are the user's own and are not).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jrn {

class node_map {
 public:
  // A qualified name longer than this keeps its end (the most specific
  // part) behind a leading "...".
  static constexpr size_t name_limit = 4096;
  // Parent chains are cut after this many levels (real ones have three or
  // four); the cut shows the same "..." marker.
  static constexpr size_t max_depth = 256;
  static constexpr uint64_t default_learn_limit = 256ull << 20;

  node_map();

  // Loads one listing file: two heading lines, then "id kind name parent"
  // per line; a later line for a number replaces an earlier one. 0, or -1
  // after a message on standard error.
  // A bad line is echoed on standard error, escaped when escape is set.
  int load(const char* file_name, bool escape);
  // Registers a name learnt from a context record unless the number is
  // already mapped; the name is stored in upper case. False when the name
  // was not kept because the bound on learnt names was reached (once: the
  // caller warns).
  bool learn(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent);
  void set_learn_limit(uint64_t bytes) { learn_limit_ = bytes; }
  uint64_t learn_limit() const { return learn_limit_; }
  // Bytes that learnt names take (entries, table slots and text).
  uint64_t learnt_bytes() const { return learnt_bytes_; }

  bool has(int32_t id) const { return find(id) != npos; }
  // Appends "DB.SET.INDEX" of a mapped number to out, with " (#id)" when
  // with_number is set, or "#id" for an unmapped number. Bytes a terminal
  // acts on are escaped when escape is set. The cost is bounded by the
  // length of what is appended.
  void append_display(int32_t id, bool with_number, bool escape, std::string& out) const;
  void clear();
  size_t size() const { return entries_.size(); }
  // Table slots visited by all lookups so far: the work that node numbers
  // can steer.
  uint64_t probes() const { return probes_; }

 private:
  static constexpr uint32_t npos = UINT32_MAX;
  struct entry {
    int32_t id;
    int32_t parent;  // enclosing node; 0 = none
    uint64_t name_at;
    uint32_t name_len;
    int32_t kind;            // 2 database, 3 data set, 4 index (from context records)
    mutable uint32_t visit;  // cuts parent loops while a name is built
  };
  uint32_t find(int32_t id) const;
  uint32_t slot_of(int32_t id) const;
  void put(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent, bool replace);
  void grow();

  uint64_t seed_;
  std::vector<entry> entries_;
  std::vector<uint32_t> slots_;  // entry index + 1; 0 = empty
  std::string text_;
  uint64_t learn_limit_ = default_learn_limit;
  uint64_t learnt_bytes_ = 0;
  bool learn_stopped_ = false;
  mutable uint32_t visit_round_ = 0;
  mutable uint64_t probes_ = 0;
  mutable std::vector<uint32_t> chain_;
};

}  // namespace jrn
