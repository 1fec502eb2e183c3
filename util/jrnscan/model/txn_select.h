// Which transactions and sessions a listing shows, which of them --top
// keeps, and the counts of its line of totals: values from txn_table's
// transactions and sessions, before anything is written.
#pragma once

#include <cstdint>
#include <vector>

#include "model/txn_table.h"
#include "scan/filter.h"

namespace jrn {

enum class txn_rank { none, records, duration, nodes };
// "records", "duration", "nodes"; "" for none.
const char* txn_rank_name(txn_rank r);

// What a listing selects: the filters (-x its id, -n a node it touched,
// the time and sequence windows it was active in) and --session.
struct txn_selection {
  filter_settings filter;
  bool by_session = false;
  uint32_t session = 0;

  bool selects(const txn_info& x) const;
  bool selects(const session_info& s) const;
};

// --top N --by ...: the N best transactions told, kept in a heap with the
// worst on top (ties go to the one told first).
class txn_ranking {
 public:
  txn_ranking(txn_rank rank, uint32_t top) : rank_(rank), top_(top) {}
  void keep(const txn_info& x);
  // The transactions kept, best first; the ranking is empty after.
  std::vector<txn_info> take();

 private:
  struct ranked {
    txn_info x;
    uint64_t order;  // when it was told
  };
  uint64_t key(const txn_info& x) const;
  // Whether a (told as order_a) ranks before b.
  bool better(const txn_info& a, uint64_t order_a, const txn_info& b, uint64_t order_b) const;

  txn_rank rank_;
  uint32_t top_;
  std::vector<ranked> best_;
  uint64_t told_ = 0;
};

// The counts of the line of totals: transactions by how they ended,
// sessions likewise, and those listed.
struct txn_counts {
  uint64_t txns_by_end[7] = {};
  uint64_t sessions_by_end[6] = {};
  uint64_t listed = 0;

  uint64_t transactions() const;
  uint64_t ended() const { return txns_by_end[static_cast<int>(txn_end::end)]; }
  uint64_t begin_end() const { return txns_by_end[static_cast<int>(txn_end::begin_end)]; }
  uint64_t not_ended() const { return transactions() - ended() - begin_end(); }
  uint64_t sessions() const;
  uint64_t signed_off() const { return sessions_by_end[static_cast<int>(session_end::sign_off)]; }
};

}  // namespace jrn
