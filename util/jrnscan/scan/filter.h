// Filter settings and the tests that every tag and record handler shares:
// the record predicate and the opcode name pattern.
#pragma once

#include <cstdint>

namespace jrn {

struct tag_summary;

struct filter_settings {
  int32_t node_id = 0;     // -n; 0 = no node filter
  uint32_t from_time = 0;  // -t; 0 = no bound
  uint32_t to_time = 0;
  uint32_t from_seq = 0;  // -s
  uint32_t to_seq = 0;
  uint32_t from_txn = 0;  // -x
  uint32_t to_txn = 0;
  uint32_t page = 0;              // -p; 0 = no page filter
  uint32_t recno = 0;             // -r; 0 = no record number filter
  const char* pattern = nullptr;  // -o; null = no pattern, "" is a pattern
  int32_t pattern_len = 0;
  int image_like_only = 1;   // cleared by -a, -p and -o
  int32_t detail_level = 0;  // one per -v
  uint32_t kinds = 0;        // --kind: one bit per tag letter class; 0 = every kind
};

// 1 when the tag's time and sequence and the given transaction, node and
// image-like flag pass every active filter.
int filter_match(const filter_settings& f, const tag_summary& t, uint32_t transaction_id,
                 int32_t node_id, int image_like);

// Anchored glob match of a whole name against a whole pattern: ? * [set]
// and backslash escapes; literals fold case unless case_sensitive is set.
int pattern_match(const char* name, int name_len, const char* pattern, int pattern_len,
                  int case_sensitive);

// True in the default view at detail levels 0 and 1, where record headers
// leave out the tag, opcode and state lines.
inline bool brief_view(const filter_settings& f) {
  return f.image_like_only && f.detail_level <= 1;
}

}  // namespace jrn
