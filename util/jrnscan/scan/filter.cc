#include "scan/filter.h"

#include "scan/report.h"

namespace jrn {

int filter_match(const filter_settings& f, const tag_summary& t, uint32_t transaction_id,
                 int32_t node_id, int image_like) {
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

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Membership of byte c in the set between the brackets, set[0..n). A hyphen
// between two characters makes a range (empty when reversed); a hyphen at
// the start or right behind a range is a member; one that stands last adds
// nothing. There is no negation and no escape inside a set.
bool set_has(const unsigned char* set, int n, unsigned char c) {
  int k = 0;
  while (k < n) {
    unsigned char first = set[k];
    if (k + 1 < n && set[k + 1] == '-') {
      if (k + 2 < n) {
        if (first <= c && c <= set[k + 2]) return true;
        k += 3;
      } else {
        if (first == c) return true;
        k += 2;
      }
      continue;
    }
    if (first == c) return true;
    ++k;
  }
  return false;
}

}  // namespace

int pattern_match(const char* name_in, int name_len, const char* pat_in, int pat_len,
                  int case_sensitive) {
  const auto* name = reinterpret_cast<const unsigned char*>(name_in);
  const auto* pat = reinterpret_cast<const unsigned char*>(pat_in);
  if (name_len < 0) name_len = 0;
  if (pat_len < 0) pat_len = 0;
  int pi = 0, ni = 0;
  int star_pi = -1, star_ni = 0;  // where to resume after the last star
  for (;;) {
    if (pi < pat_len && pat[pi] == '*') {
      while (pi < pat_len && pat[pi] == '*') ++pi;
      if (pi == pat_len) return 1;
      star_pi = pi;
      star_ni = ni;
      continue;
    }
    bool ok = false;
    int width = 1;
    if (pi == pat_len) {
      ok = (ni == name_len);
      if (ok) return 1;
    } else {
      unsigned char t = pat[pi];
      bool have = ni < name_len;
      unsigned char c = have ? name[ni] : 0;
      int close = -1;
      if (t == '[') {
        for (int j = pi + 2; j < pat_len; ++j)
          if (pat[j] == ']') {
            close = j;
            break;
          }
      }
      if (t == '?') {
        ok = have;
      } else if (close >= 0) {
        ok = have && set_has(pat + pi + 1, close - pi - 1, c);
        width = close - pi + 1;
      } else {
        unsigned char lit = t;
        if (t == '\\' && pi + 1 < pat_len) {
          lit = pat[pi + 1];
          width = 2;
        }
        ok = have && (case_sensitive ? c == lit : fold(c) == fold(lit));
      }
      if (ok) {
        pi += width;
        ++ni;
        continue;
      }
    }
    // Mismatch: let the last star swallow one more name character.
    if (star_pi < 0 || star_ni >= name_len) return 0;
    ++star_ni;
    ni = star_ni;
    pi = star_pi;
  }
}

}  // namespace jrn
