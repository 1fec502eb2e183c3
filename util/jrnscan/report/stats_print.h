// What the summary's two renderings share: the text sections
// (stats_text.cc) and the JSON document (stats_json.cc).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "report/stats_sink.h"
#include "scan/filter.h"

namespace jrn {
namespace stats_print {

// The tag letters that --kind names, in the order the summary lists them.
constexpr char kind_letters[] = "1234567S";

inline double share(int64_t part, int64_t whole) {
  return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

inline uint32_t clamp_time(int64_t t) {
  return t < 0 ? 0 : t > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(t);
}

// The entries with the most records, most first; ties by number (a node
// number is signed, a transaction id is not).
template <typename Entry, typename Key>
std::vector<const Entry*> top_entries(const top_counts<Entry>& table, uint32_t top) {
  std::vector<const Entry*> all;
  all.reserve(table.size());
  for (const Entry& e : table.entries()) all.push_back(&e);
  auto before = [](const Entry* a, const Entry* b) {
    if (a->records != b->records) return a->records > b->records;
    return static_cast<Key>(a->key) < static_cast<Key>(b->key);
  };
  const size_t n = std::min<size_t>(top, all.size());
  std::partial_sort(all.begin(), all.begin() + n, all.end(), before);
  all.resize(n);
  return all;
}

// The pages named most, most first; ties by node, then page.
inline std::vector<const stats_detail::page_entry*> top_pages(
    const top_counts<stats_detail::page_entry>& table, uint32_t top) {
  using entry = stats_detail::page_entry;
  std::vector<const entry*> all;
  all.reserve(table.size());
  for (const entry& e : table.entries()) all.push_back(&e);
  auto before = [](const entry* a, const entry* b) {
    if (a->records != b->records) return a->records > b->records;
    if (a->node() != b->node()) return a->node() < b->node();
    return a->page() < b->page();
  };
  const size_t n = std::min<size_t>(top, all.size());
  std::partial_sort(all.begin(), all.begin() + n, all.end(), before);
  all.resize(n);
  return all;
}

template <typename Entry>
bool all_exact(const std::vector<const Entry*>& entries) {
  for (const Entry* e : entries)
    if (e->error != 0) return false;
  return true;
}

inline bool nodes_exact(const stats_detail::txn_entry& e) {
  return e.error == 0 && !e.nodes_capped;
}

// The head of the JSON document: the filters in force, every key (null
// for a filter not given). pattern: the opcode pattern's text.
void print_json_filters(output& out, const filter_settings& f, const std::string& pattern);

}  // namespace stats_print
}  // namespace jrn
