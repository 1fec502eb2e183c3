#include "model/txn_select.h"

#include <algorithm>

namespace jrn {

namespace {

bool overlaps(uint32_t a, uint32_t b, uint32_t from, uint32_t to) {
  const uint32_t lo = std::min(a, b), hi = std::max(a, b);
  return !(from != 0 && hi < from) && !(to != 0 && lo > to);
}

}  // namespace

const char* txn_rank_name(txn_rank r) {
  static const char* const names[] = {"", "records", "duration", "nodes"};
  return names[static_cast<int>(r)];
}

bool txn_selection::selects(const txn_info& x) const {
  const filter_settings& f = filter;
  if (f.from_txn != 0 && x.id < f.from_txn) return false;
  if (f.to_txn != 0 && x.id > f.to_txn) return false;
  if (f.node_id != 0 && !x.touched) return false;
  if (by_session && x.session != session) return false;
  return overlaps(x.first.timestamp, x.last.timestamp, f.from_time, f.to_time) &&
         overlaps(x.first.sequence, x.last.sequence, f.from_seq, f.to_seq);
}

bool txn_selection::selects(const session_info& s) const {
  const filter_settings& f = filter;
  if (by_session && s.id != session) return false;
  return overlaps(s.first.timestamp, s.last.timestamp, f.from_time, f.to_time) &&
         overlaps(s.first.sequence, s.last.sequence, f.from_seq, f.to_seq);
}

uint64_t txn_ranking::key(const txn_info& x) const {
  switch (rank_) {
    case txn_rank::duration: return static_cast<uint64_t>(x.duration());
    case txn_rank::nodes: return x.node_count();
    default: return x.records;
  }
}

bool txn_ranking::better(const txn_info& a, uint64_t order_a, const txn_info& b,
                         uint64_t order_b) const {
  const uint64_t ka = key(a), kb = key(b);
  if (ka != kb) return ka > kb;
  return order_a < order_b;
}

void txn_ranking::keep(const txn_info& x) {
  const uint64_t order = told_++;
  if (top_ == 0) return;
  // A heap with the worst kept on top.
  auto worse_on_top = [this](const ranked& a, const ranked& b) {
    return better(a.x, a.order, b.x, b.order);
  };
  if (best_.size() < top_) {
    best_.push_back({x, order});
    std::push_heap(best_.begin(), best_.end(), worse_on_top);
    return;
  }
  if (!better(x, order, best_.front().x, best_.front().order)) return;
  std::pop_heap(best_.begin(), best_.end(), worse_on_top);
  best_.back() = {x, order};
  std::push_heap(best_.begin(), best_.end(), worse_on_top);
}

std::vector<txn_info> txn_ranking::take() {
  std::vector<ranked> order(std::move(best_));
  best_.clear();
  std::sort(order.begin(), order.end(), [this](const ranked& a, const ranked& b) {
    return better(a.x, a.order, b.x, b.order);
  });
  std::vector<txn_info> out;
  out.reserve(order.size());
  for (ranked& r : order) out.push_back(std::move(r.x));
  return out;
}

uint64_t txn_counts::transactions() const {
  uint64_t all = 0;
  for (uint64_t n : txns_by_end) all += n;
  return all;
}

uint64_t txn_counts::sessions() const {
  uint64_t all = 0;
  for (uint64_t n : sessions_by_end) all += n;
  return all;
}

}  // namespace jrn
