#include "scan/filter.h"

#include <cstring>
#include <map>

#include "scan/report.h"

namespace jrn {

int filter_match(const filter_settings& f, const tag_summary& t, uint32_t transaction_id,
                 int32_t node_id, int image_like) {
  if (f.shows_no_tag) return 0;
  const uint32_t ts = t.timestamp;
  const uint32_t seq = t.sequence;
  if (f.from_time != 0 && ts < f.from_time) return 0;
  if (f.to_time != 0 && ts > f.to_time) return 0;
  if (f.from_seq != 0 && seq < f.from_seq) return 0;
  if (f.to_seq != 0 && seq > f.to_seq) return 0;
  if (f.from_txn != 0 && transaction_id < f.from_txn) return 0;
  if (f.to_txn != 0 && transaction_id > f.to_txn) return 0;
  if (f.node_id != 0 && node_id != f.node_id) return 0;
  if (f.image_like_only && image_like == 0) return 0;
  return 1;
}

namespace {

void add(std::array<uint64_t, 4>& s, unsigned c) { s[c >> 6] |= uint64_t{1} << (c & 63); }

bool has(const std::array<uint64_t, 4>& s, unsigned char c) { return (s[c >> 6] >> (c & 63)) & 1; }

// The members of the set between the brackets, set[0..n). A hyphen between
// two bytes makes a range (empty when reversed); a hyphen at the start or
// right behind a range is a member; one that stands last behind a byte adds
// nothing. There is no negation and no escape inside a set.
std::array<uint64_t, 4> bracket_set(const unsigned char* set, size_t n) {
  std::array<uint64_t, 4> s{};
  size_t k = 0;
  while (k < n) {
    const unsigned first = set[k];
    if (k + 1 < n && set[k + 1] == '-') {
      if (k + 2 < n) {
        for (unsigned c = first; c <= set[k + 2]; ++c) add(s, c);
        k += 3;
      } else {
        add(s, first);
        k += 2;
      }
      continue;
    }
    add(s, first);
    ++k;
  }
  return s;
}

}  // namespace

name_pattern::name_pattern(const char* pattern_in, int pattern_len, int case_sensitive) {
  const auto* pat = reinterpret_cast<const unsigned char*>(pattern_in);
  const size_t len = pattern_len > 0 ? static_cast<size_t>(pattern_len) : 0;
  std::map<byte_set, uint32_t> known;
  auto intern = [&](const byte_set& s) {
    auto it = known.emplace(s, static_cast<uint32_t>(sets_.size())).first;
    if (it->second == sets_.size()) sets_.push_back(s);
    return it->second;
  };
  // The first closing bracket at or after an index, found by one cursor
  // that only moves forward as the pattern is read.
  size_t close = 0;
  size_t i = 0;
  while (i < len) {
    const unsigned char t = pat[i];
    if (t == '*') {
      if (tokens_.empty() || tokens_.back() != star) tokens_.push_back(star);
      has_star_ = true;
      ++i;
      continue;
    }
    byte_set s{};
    size_t width = 1;
    if (close < i + 2) close = i + 2;
    while (close < len && pat[close] != ']') ++close;
    if (t == '?') {
      s.fill(~uint64_t{0});
    } else if (t == '[' && close < len) {
      // A closing bracket right behind the opening one is a member.
      s = bracket_set(pat + i + 1, close - i - 1);
      width = close - i + 1;
    } else {
      unsigned char lit = t;
      if (t == '\\' && i + 1 < len) {
        lit = pat[i + 1];
        width = 2;
      }
      add(s, lit);
      if (!case_sensitive && ((lit >= 'A' && lit <= 'Z') || (lit >= 'a' && lit <= 'z')))
        add(s, lit ^ 0x20u);
    }
    tokens_.push_back(intern(s));
    ++min_length_;
    i += width;
  }
}

bool name_pattern::match(const char* name_in, int name_len) const {
  const auto* name = reinterpret_cast<const unsigned char*>(name_in);
  const size_t n = name_len > 0 ? static_cast<size_t>(name_len) : 0;
  // Every token but the star takes one byte.
  if (n < min_length_ || (!has_star_ && n != min_length_)) return false;
  const size_t m = tokens_.size();
  size_t pi = 0, ni = 0;
  size_t star_pi = m, star_ni = 0;  // where to resume after the last star
  for (;;) {
    if (pi < m && tokens_[pi] == star) {
      if (++pi == m) return true;
      star_pi = pi;
      star_ni = ni;
      continue;
    }
    if (pi == m) {
      if (ni == n) return true;
    } else if (ni < n && has(sets_[tokens_[pi]], name[ni])) {
      ++pi;
      ++ni;
      continue;
    }
    // Mismatch: let the last star swallow one more name byte. star_ni
    // never goes back, so there are at most n such retries.
    if (star_pi == m || star_ni >= n) return false;
    ni = ++star_ni;
    pi = star_pi;
  }
}

int pattern_match(const char* name, int name_len, const char* pattern, int pattern_len,
                  int case_sensitive) {
  return name_pattern(pattern, pattern_len, case_sensitive).match(name, name_len) ? 1 : 0;
}

bool opcode_matches(const filter_settings& f, const char* name) {
  const int len = static_cast<int>(std::strlen(name));
  if (f.compiled_pattern) return f.compiled_pattern->match(name, len);
  return pattern_match(name, len, f.pattern, f.pattern_len, 0) != 0;
}

}  // namespace jrn
