// The summary's counting: per tag, per record, per log and into the total.
// Its two renderings are in stats_text.cc and stats_json.cc.
#include "report/stats_sink.h"

#include <algorithm>
#include <cstring>

#include "log/scan.h"
#include "model/stats_pages.h"
#include "records/opcodes.h"
#include "report/out.h"
#include "scan/keyed_hash.h"

namespace jrn {

namespace stats_detail {

namespace {

uint32_t counters_for(uint32_t top) {
  const uint64_t n = std::max<uint64_t>(stats_sink::min_counters, uint64_t{top} * 10);
  return static_cast<uint32_t>(std::min<uint64_t>(n, stats_sink::max_counters));
}

}  // namespace

summary::summary(uint64_t seed, uint32_t counters)
    : nodes(seed, counters),
      txns(seed ^ 0x5bd1e995u, counters),
      pages(seed ^ 0x165667b19e3779f9ull, counters),
      more_seed(seed ^ 0x27d4eb2full) {}

void summary::clear() {
  static_cast<figures&>(*this) = figures();
  std::memset(kind_count, 0, sizeof kind_count);
  std::memset(kind_bytes, 0, sizeof kind_bytes);
  std::memset(op_count, 0, sizeof op_count);
  std::memset(op_bytes, 0, sizeof op_bytes);
  no_node = node_entry();
  no_txn = txn_entry();
  node_ids.clear();
  txn_ids.clear();
  nodes.clear();
  txns.clear();
  page_namings = page_images = 0;
  pages.clear();
  more_nodes = 0;
  node_sets_capped = false;
  histogram.clear();
}

uint64_t summary::counted_tags() const {
  uint64_t n = 0;
  for (uint64_t k : kind_count) n += k;
  return n;
}

int64_t summary::counted_bytes() const {
  int64_t n = 0;
  for (int64_t b : kind_bytes) n += b;
  return n;
}

uint64_t summary::records() const {
  uint64_t n = 0;
  for (uint64_t k : op_count) n += k;
  return n;
}

namespace {

// The slot of node in the entry's `more` set (at most half full), or the
// free one where it goes.
size_t more_slot(const txn_entry& e, uint64_t seed, int32_t node) {
  const size_t mask = (size_t{1} << e.more_bits) - 1;
  size_t s = static_cast<size_t>(hash_mix(static_cast<uint32_t>(node) ^ seed)) & mask;
  while (e.more[s] != 0 && e.more[s] != node) s = (s + 1) & mask;
  return s;
}

// A node that is neither of the transaction's first two.
void note_other_node(summary& s, txn_entry& e, int32_t node) {
  // Node 0 names no node; an entry with key 0 counts records outside the
  // table.
  if (node == 0 || e.key == 0) return;
  if (e.node_a == 0) {
    e.node_a = node;
    ++e.nodes;
    return;
  }
  if (e.node_b == 0) {
    e.node_b = node;
    ++e.nodes;
    return;
  }
  if (e.nodes_capped) return;
  if (e.more && e.more[more_slot(e, s.more_seed, node)] == node) return;
  if (s.more_nodes >= stats_sink::max_more_nodes) {
    e.nodes_capped = true;
    s.node_sets_capped = true;
    return;
  }
  if (!e.more || (e.more_n + 1) * 2 > (uint32_t{1} << e.more_bits)) {
    std::unique_ptr<int32_t[]> old = std::move(e.more);
    const size_t old_slots = old ? size_t{1} << e.more_bits : 0;
    e.more_bits = old ? static_cast<uint8_t>(e.more_bits + 1) : 3;
    e.more.reset(new int32_t[size_t{1} << e.more_bits]());
    for (size_t i = 0; i < old_slots; ++i)
      if (old[i] != 0) e.more[more_slot(e, s.more_seed, old[i])] = old[i];
  }
  e.more[more_slot(e, s.more_seed, node)] = node;
  ++e.more_n;
  ++e.nodes;
  ++s.more_nodes;
}

// Keeps the total's node sets within max_more_nodes (the logs' sets it
// took over add up): those of the transactions with the fewest records go.
void trim_node_sets(summary& t) {
  std::vector<txn_entry*> have;
  t.more_nodes = 0;
  for (txn_entry& e : t.txns.entries()) {
    if (e.nodes_capped) t.node_sets_capped = true;
    if (e.more_n == 0) continue;
    t.more_nodes += e.more_n;
    have.push_back(&e);
  }
  if (t.more_nodes <= stats_sink::max_more_nodes) return;
  std::sort(have.begin(), have.end(),
            [](const txn_entry* a, const txn_entry* b) { return a->records < b->records; });
  for (txn_entry* e : have) {
    if (t.more_nodes <= stats_sink::max_more_nodes) break;
    t.more_nodes -= e->more_n;
    e->more_n = 0;
    e->more_bits = 0;
    e->more.reset();
    e->nodes_capped = true;
    t.node_sets_capped = true;
  }
}

// Counts the node of a transaction's record when it is a further one.
inline void note_node(summary& s, txn_entry& e, int32_t node) {
  // Mostly one of the first two (or 0 while they are unset). The product
  // is 0 exactly when one of the differences is, which tests both with
  // one branch that the order of the nodes does not steer.
  const uint64_t a = static_cast<uint32_t>(node) ^ static_cast<uint32_t>(e.node_a);
  const uint64_t b = static_cast<uint32_t>(node) ^ static_cast<uint32_t>(e.node_b);
  if (__builtin_expect(a * b == 0, 1)) return;
  note_other_node(s, e, node);
}

}  // namespace

}  // namespace stats_detail

using stats_detail::node_entry;
using stats_detail::page_entry;
using stats_detail::txn_entry;

stats_sink::stats_sink(output& out, diagnostics& diag, const stats_options& o,
                       const node_map& names)
    : out_(out),
      opt_(o),
      pattern_(o.filter.pattern ? std::string(o.filter.pattern, static_cast<size_t>(std::max(
                                                                    0, o.filter.pattern_len)))
                                : std::string()),
      names_(names),
      progress_(o.progress),
      log_(random_hash_key(), stats_detail::counters_for(o.top)),
      total_(random_hash_key(), stats_detail::counters_for(o.top)) {
  opt_.filter.pattern = o.filter.pattern ? pattern_.c_str() : nullptr;
  // The total takes over the logs' node sets as they are laid out.
  total_.more_seed = log_.more_seed;
  log_.histogram.set_utc(o.utc);
  total_.histogram.set_utc(o.utc);
  recent_txns_.forget(&log_.no_txn);
  recent_nodes_.forget(&log_.no_node);
  for (unsigned code = 0; code < 256; ++code)
    names_pages_[code] = opcode_lookup(static_cast<uint8_t>(code)).probe != nullptr;
  diag.on_before_message([](void* p) { static_cast<progress_meter*>(p)->clear(); }, &progress_);
}

void stats_sink::begin_input(const char* name, int64_t size) {
  input_size_ = size;
  input_name_ = name;
  input_base_ = 0;
  log_index_ = 0;
  progress_.begin_input(name, size);
}

void stats_sink::input_skipped(const char*, int64_t size, uint32_t, uint32_t) {
  ++skipped_files_;
  if (size < 0)
    ++skipped_unknown_;
  else
    skipped_bytes_ += size;
}

void stats_sink::start_log() {
  if (log_.logs != 0) {
    add_log_to_series();
    merge_log_into_total();
  }
  log_.logs = 1;
  ++log_index_;
  log_open_ = true;
  have_header_ = false;
  unread_from_ = -1;
  malformed_in_tag_ = false;
  recent_txns_.forget(&log_.no_txn);
  recent_nodes_.forget(&log_.no_node);
}

void stats_sink::begin_log(const char* log_name, const fwlog_header& h) {
  input_name_ = log_name;
  start_log();
  have_header_ = true;
  header_ = h;
  input_base_ = h.start;
  log_.header_bytes = h.bytes;
}

node_entry* stats_sink::node_entry_of(uint32_t node) {
  summary& s = log_;
  node_entry* e = &s.no_node;
  if (node != 0) {
    e = s.nodes.find(node);
    if (!e) {
      e = s.nodes.insert(node, [&](node_entry& old) { recent_nodes_.forget(old.key, &s.no_node); });
      s.node_ids.add(node);
    }
  }
  recent_nodes_.of(node) = {node, e};
  return e;
}

txn_entry* stats_sink::txn_entry_of(uint32_t id, uint32_t timestamp) {
  summary& s = log_;
  txn_entry* e = &s.no_txn;
  if (id != 0) {
    e = s.txns.find(id);
    if (!e) {
      e = s.txns.insert(id, [&](txn_entry& old) {
        recent_txns_.forget(old.key, &s.no_txn);
        s.more_nodes -= old.more_n;
      });
      e->first_ts = timestamp;
      s.txn_ids.add(id);
    }
  }
  recent_txns_.of(id) = {id, e};
  return e;
}

// Per record: the entries of its node and transaction come from the recent
// ones nearly always, and the counting itself has no branch that the data
// steer.
inline void stats_sink::count_record(const tag_summary& t) {
  summary& s = log_;
  ++s.op_count[t.opcode];
  s.op_bytes[t.opcode] += t.bytes;
  const uint32_t node = static_cast<uint32_t>(t.node_id);
  const auto& ns = recent_nodes_.of(node);
  node_entry* n = ns.key == node ? ns.entry : node_entry_of(node);
  ++n->records;
  n->bytes += t.bytes;
  const uint32_t id = t.transaction_id;
  const auto& ts = recent_txns_.of(id);
  txn_entry* e = ts.key == id ? ts.entry : txn_entry_of(id, t.timestamp);
  ++e->records;
  e->last_ts = t.timestamp;
  stats_detail::note_node(s, *e, t.node_id);
}

// A page of a node named once more. The key of page 0xffffffff of node -1
// would be 0, which marks no key: that one is not counted.
void stats_sink::name_page(int32_t node, uint32_t page) {
  summary& s = log_;
  const uint64_t key = (uint64_t{static_cast<uint32_t>(node)} << 32 | page) + 1;
  if (key == 0) return;
  page_entry* e = s.pages.find(key);
  if (!e) e = s.pages.insert(key, [](page_entry&) {});
  ++e->records;
}

// The pages a counted record names, and the pages of a CLUSTER's images.
void stats_sink::count_pages(const tag_summary& t) {
  summary& s = log_;
  if (t.is_record) {
    if (t.payload_size == 0) return;
    uint32_t pages[max_record_pages];
    const uint32_t n = record_pages(t.opcode, payload_view(t.payload, t.payload_size), pages);
    s.page_namings += n;
    for (uint32_t i = 0; i < n; ++i) name_page(t.node_id, pages[i]);
    return;
  }
  // A CLUSTER read whole: the tag header, node, start page and count,
  // then the images. Page numbers past 2^32 - 1 go round, as a page
  // number's 32 bits do.
  constexpr int64_t cluster_head = 9 + 12, image_size = 8192;
  const int64_t images = t.bytes > cluster_head ? (t.bytes - cluster_head) / image_size : 0;
  for (int64_t i = 0; i < images; ++i)
    name_page(t.node_id, static_cast<uint32_t>(t.first_page) + static_cast<uint32_t>(i));
  s.page_images += static_cast<uint64_t>(images);
}

void stats_sink::tag_done(const tag_summary& t) {
  summary& s = log_;
  const bool malformed = malformed_in_tag_ && malformed_at_ == t.offset;
  malformed_in_tag_ = false;
  progress_.tick(t.offset + t.bytes);
  // A letter of no kind is no tag: the log ends in front of it, and its
  // bytes are among those not read.
  if (__builtin_expect(t.letter != tag_letter::rec, 0) && !tag_kind_of(t.letter).handler &&
      !is_end_tag(t.letter))
    return;
  if (t.shown) {
    if (!s.any_tag) {
      s.any_tag = true;
      s.first_seq = t.sequence;
      s.first_ts = t.timestamp;
    }
    s.last_seq = t.sequence;
    s.last_ts = t.timestamp;
    ++s.kind_count[t.letter];
    s.kind_bytes[t.letter] += t.bytes;
    s.histogram.add(t.timestamp);
    if (t.is_record) {
      count_record(t);
      if (names_pages_[t.opcode]) count_pages(t);
    } else if (t.letter == tag_letter::cluster) {
      count_pages(t);
    }
  } else if (malformed) {
    // Dropped as malformed: no filter judged it.
    ++s.dropped_tags;
    s.dropped_bytes += t.bytes;
  } else {
    ++s.filtered_tags;
    s.filtered_bytes += t.bytes;
  }
}

void stats_sink::problem(problem_kind kind, int64_t offset, const char*) {
  if (kind != problem_kind::malformed) return;
  ++log_.malformed;
  malformed_in_tag_ = true;
  malformed_at_ = offset;
}

void stats_sink::unread(int64_t offset, int64_t count) {
  // Told before the end of the log it belongs to (which may have no header).
  if (!log_open_) start_log();
  if (unread_from_ < 0 || offset < unread_from_) unread_from_ = offset;
  if (count < 0)
    log_.unread_unknown = true;
  else
    log_.unread_bytes += count;
}

void stats_sink::end_log(log_end how, int64_t offset) {
  // A run stopped before a further log's header read nothing of it.
  if (!log_open_ && how == log_end::stopped) return;
  if (!log_open_) start_log();
  log_open_ = false;
  end_how_ = how;
  // The log ends where the bytes not read begin when that is before the
  // offset given (a refused header is not read as a log).
  end_offset_ = unread_from_ >= 0 ? std::min(offset, unread_from_) : offset;
  log_.bytes_read = std::max<int64_t>(0, end_offset_ - input_base_);
  input_base_ = offset;
  progress_.clear();
  print_filters();
  if (opt_.json) {
    out_.str(json_logs_ ? ",\n" : "\"logs\":[\n");
    json_logs_ = true;
    print_json(log_, false);
  } else {
    print_text(log_, false);
  }
}

// The log just ended (log_, header_, end_how_) into its series.
void stats_sink::add_log_to_series() {
  if (!opt_.series) return;
  if (!have_header_) {
    ++logs_without_series_;
    return;
  }
  const auto key = std::make_pair(header_.volume_set_id, header_.volume_generation);
  auto it = series_.find(key);
  if (it == series_.end()) {
    if (series_.size() >= max_series) {
      ++logs_of_series_not_kept_;
      return;
    }
    it = series_.emplace(key, stats_detail::series_entry()).first;
    it->second.volume_set_id = key.first;
    it->second.volume_generation = key.second;
  }
  stats_detail::series_entry& e = it->second;
  const summary& s = log_;
  const int32_t file = header_.file_sequence;
  const bool first_log = e.logs == 0;
  if (first_log || file < e.first_file) e.first_file = file;
  if (first_log || file >= e.last_file) {
    e.last_file = file;
    e.last_end = end_how_;
  }
  if (s.any_tag) {
    if (!e.any_tag || file < e.first_tag_file) {
      e.first_tag_file = file;
      e.first_seq = s.first_seq;
      e.first_ts = s.first_ts;
    }
    if (!e.any_tag || file >= e.last_tag_file) {
      e.last_tag_file = file;
      e.last_seq = s.last_seq;
      e.last_ts = s.last_ts;
    }
    e.any_tag = true;
  }
  e.logs += s.logs;
  e.malformed += s.malformed;
  e.header_bytes += s.header_bytes;
  e.bytes_read += s.bytes_read;
  e.filtered_tags += s.filtered_tags;
  e.filtered_bytes += s.filtered_bytes;
  e.dropped_tags += s.dropped_tags;
  e.dropped_bytes += s.dropped_bytes;
  e.unread_bytes += s.unread_bytes;
  e.unread_unknown = e.unread_unknown || s.unread_unknown;
  e.counted_tags += s.counted_tags();
  e.counted_bytes += s.counted_bytes();
  e.records += s.records();
}

// In file sequence order the first counted tag of all logs is that of the
// first series that has one, and the last that of the last such series,
// whatever order the logs were read in. When logs are outside the series
// kept, the order they were read in stands.
void stats_sink::order_total_by_series(summary& all) const {
  if (!opt_.series || logs_of_series_not_kept_ != 0) return;
  const stats_detail::series_entry* first = nullptr;
  const stats_detail::series_entry* last = nullptr;
  for (const auto& s : series_) {
    if (!s.second.any_tag) continue;
    if (!first) first = &s.second;
    last = &s.second;
  }
  if (!first) return;
  all.first_seq = first->first_seq;
  all.first_ts = first->first_ts;
  all.last_seq = last->last_seq;
  all.last_ts = last->last_ts;
}

void stats_sink::merge_log_into_total() {
  summary& t = total_;
  summary& s = log_;
  if (s.any_tag) {
    if (!t.any_tag) {
      t.any_tag = true;
      t.first_seq = s.first_seq;
      t.first_ts = s.first_ts;
    }
    t.last_seq = s.last_seq;
    t.last_ts = s.last_ts;
  }
  total_used_ = true;
  t.logs += s.logs;
  t.malformed += s.malformed;
  t.header_bytes += s.header_bytes;
  t.bytes_read += s.bytes_read;
  t.filtered_tags += s.filtered_tags;
  t.filtered_bytes += s.filtered_bytes;
  t.dropped_tags += s.dropped_tags;
  t.dropped_bytes += s.dropped_bytes;
  t.unread_bytes += s.unread_bytes;
  t.unread_unknown = t.unread_unknown || s.unread_unknown;
  for (int i = 0; i < 256; ++i) {
    t.kind_count[i] += s.kind_count[i];
    t.kind_bytes[i] += s.kind_bytes[i];
    t.op_count[i] += s.op_count[i];
    t.op_bytes[i] += s.op_bytes[i];
  }
  t.no_node.records += s.no_node.records;
  t.no_node.bytes += s.no_node.bytes;
  t.no_txn.records += s.no_txn.records;
  s.node_ids.merge_into(t.node_ids);
  s.txn_ids.merge_into(t.txn_ids);
  t.nodes.merge_from(s.nodes,
                     [](node_entry& into, const node_entry& from) { into.bytes += from.bytes; });
  // A transaction that goes on from an earlier log keeps its first time;
  // its nodes are those of every log.
  t.page_namings += s.page_namings;
  t.page_images += s.page_images;
  t.pages.merge_from(s.pages, [](page_entry&, const page_entry&) {});
  t.txns.merge_from(s.txns, [&t](txn_entry& into, const txn_entry& from) {
    into.last_ts = from.last_ts;
    if (from.node_a) stats_detail::note_node(t, into, from.node_a);
    if (from.node_b) stats_detail::note_node(t, into, from.node_b);
    if (from.more)
      for (size_t i = 0; i < (size_t{1} << from.more_bits); ++i)
        if (from.more[i] != 0) stats_detail::note_node(t, into, from.more[i]);
    if (from.nodes_capped) into.nodes_capped = true;
  });
  stats_detail::trim_node_sets(t);
  s.histogram.merge_into(t.histogram);
  log_.clear();
}

void stats_sink::flush() {
  progress_.clear();
  out_.flush();
}

void stats_sink::finish() {
  progress_.end_input();
  if (log_.logs != 0) add_log_to_series();
  const bool several = total_used_;
  if (several) merge_log_into_total();
  summary& all = several ? total_ : log_;
  order_total_by_series(all);
  if (opt_.json) {
    print_filters();
    out_.str(json_logs_ ? "\n]," : "\"logs\":[],");
    if (opt_.series) {
      out_.str("\"series\":[");
      bool any = false;
      for (const auto& s : series_) {
        out_.str(any ? ",\n" : "\n");
        any = true;
        print_series_json(s.second);
      }
      out_.str(any ? "\n]," : "],");
    }
    out_.str("\"total\":");
    print_json(all, true);
    out_.str("}\n");
  } else {
    if (opt_.series && !series_.empty()) {
      print_filters();
      for (const auto& s : series_) print_series_text(s.second);
    }
    // A run that passed over files says so in a total of its own.
    if (several || skipped_files_ != 0) {
      print_filters();
      print_text(all, true);
    }
  }
  out_.flush();
}

}  // namespace jrn
