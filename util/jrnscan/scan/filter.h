// Filter settings and the tests that every tag and record handler shares:
// the record predicate and the opcode name pattern.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace jrn {

struct tag_summary;
class name_pattern;

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
  // The pattern compiled once, case-insensitive (set together with
  // pattern); null makes opcode_matches compile it at every call.
  std::shared_ptr<const name_pattern> compiled_pattern;
  int image_like_only = 1;   // cleared by -a, -p and -o
  int32_t detail_level = 0;  // one per -v
  uint32_t kinds = 0;        // --kind: one bit per tag letter class; 0 = every kind
  // No tag passes: for a back-end that takes every tag from its summary
  // and applies the filters itself.
  bool shows_no_tag = false;
};

// 1 when the tag's time and sequence and the given transaction, node and
// image-like flag pass every active filter.
int filter_match(const filter_settings& f, const tag_summary& t, uint32_t transaction_id,
                 int32_t node_id, int image_like);

// An anchored glob over byte names: * any run, ? any one byte, [set] one
// byte of the set (members, ranges a-b; no negation, no escape inside, no
// case folding), a backslash makes the next byte literal, and literals
// fold ASCII case unless case_sensitive is set. An opening bracket with no
// closing one behind it (not counting the byte right behind it) is a
// literal. Compiled once into one byte set per token, so that a match
// reads the name and never the pattern's text: its time depends on the
// name's length, not on the pattern's.
class name_pattern {
 public:
  name_pattern(const char* pattern, int pattern_len, int case_sensitive);
  bool match(const char* name, int name_len) const;

 private:
  using byte_set = std::array<uint64_t, 4>;
  static constexpr uint32_t star = UINT32_MAX;

  std::vector<uint32_t> tokens_;  // index into sets_, or star; no two stars in a row
  std::vector<byte_set> sets_;    // each distinct set once
  size_t min_length_ = 0;         // the tokens that take one byte each
  bool has_star_ = false;
};

// Anchored glob match of a whole name against a whole pattern, as
// name_pattern matches (compiled for this one call).
int pattern_match(const char* name, int name_len, const char* pattern, int pattern_len,
                  int case_sensitive);

// Whether an opcode name passes the -o pattern (set: the caller tests
// f.pattern first), through the compiled form when there is one.
bool opcode_matches(const filter_settings& f, const char* name);

// True in the default view at detail levels 0 and 1, where record headers
// leave out the tag, opcode and state lines.
inline bool brief_view(const filter_settings& f) {
  return f.image_like_only && f.detail_level <= 1;
}

}  // namespace jrn
