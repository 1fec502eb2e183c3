// --stats: a summary of the tags the filters let through instead of the
// report. It is built from the per-tag summaries alone (no line of any tag
// is described), so the scan costs little more than a filtered scan.
//
// For each log, and for all logs together when there are several: the
// header, the sequence and time range and how the log ended; counts and
// bytes per tag kind and per record opcode; the nodes and the
// transactions with the most records; a histogram of the tags over time;
// and the byte identity
//
//   bytes read = file header + tags counted + tags filtered out
//                + the bytes of a tag cut short at the end.
//
// Memory: the counts per node and per transaction live in hash tables with
// a cap (max_nodes, max_transactions, and max_pairs for the distinct nodes
// of a transaction beyond the first two); once a cap is reached no new key
// is added and the summary says so (their records are still counted in
// the totals). At their caps the tables take about 50 MB (nodes), 67 MB
// (transactions) and 34 MB (pairs); a run over several logs keeps a second
// set for the total. All else takes the same room whatever the size of
// the log (the histogram keeps at most 4096 buckets and widens them as the
// time span grows).
//
// --stats --json writes one JSON document:
//
//   {"logs": [LOG, ...], "total": SUMMARY}
//
// LOG is a SUMMARY with these keys in front:
//   "log"            the operand's name ("(stdin)" for standard input)
//   "log_index"      1 for the first log of the input, 2 for the next one
//                    in the same stream, ...
//   "header"         null when the file header was refused, else
//                    {"signature", "version", "major", "minor",
//                     "file_sequence", "bytes"}
//   "end"            how the log ended: "eof_finish", "eof_cont",
//                    "next_log" (a further log began without an end tag),
//                    "input_between" (end of input between tags),
//                    "input_inside" (end of input inside a tag),
//                    "unknown_letter", "read_failure", "header_failure",
//                    "body_failure" (a tag body could not be read),
//                    "stopped" (--limit, a signal)
//   "end_offset"     the log offset reached
// SUMMARY ("total" also has "logs": the number of logs):
//   "tags"           tags read, counted or filtered out
//   "first_sequence", "last_sequence"    of the first and last tag read
//                    (null without tags; for "total": of the first and last
//                    log)
//   "first_time", "last_time"            the same tags' times, ISO 8601 UTC
//   "first_timestamp", "last_timestamp"  the same as seconds since 1970
//   "duration_seconds"   last minus first timestamp (0 when negative)
//   "malformed"      malformed items reported
//   "bytes"          {"read", "header", "counted", "filtered_out",
//                     "cut_short"}: read = the sum of the other four
//   "counted_tags", "filtered_out_tags"
//   "kinds"          [{"letter", "code", "name", "count", "bytes",
//                      "share"}] by tag letter code; "name" is null for
//                    an unrecognized letter; share: of the counted bytes,
//                    0 to 1
//   "opcodes"        [{"code", "name", "count", "bytes", "share"}] by code,
//                    counted records only; "name" null for a code without
//                    a name; share: of the counted records' bytes
//   "records"        counted records
//   "records_without_node"         of them, node 0
//   "records_without_transaction"  of them, transaction 0
//   "nodes"          distinct nodes of counted records
//   "nodes_capped"   true when the cap stopped new nodes being counted
//   "top_nodes"      [{"node_id", "name", "records", "bytes"}], at most
//                    --top entries, most records first; "name" is the
//                    qualified name or null when the node is not mapped
//   "transactions"   distinct transactions of counted records
//   "transactions_capped"  true when the cap stopped new ones being counted
//   "node_sets_capped"     true when some "nodes" counts of transactions
//                          are lower bounds (the pair cap was reached)
//   "top_transactions"  [{"transaction_id", "records", "nodes",
//                      "first_time", "last_time", "first_timestamp",
//                      "last_timestamp", "duration_seconds"}], at most
//                    --top entries, most records first; times of the
//                    transaction's first and last counted record
//   "histogram"      {"bucket_seconds", "buckets": [{"time", "timestamp",
//                     "count"}]}: counted tags per bucket, buckets aligned
//                    in local time (UTC with --utc), "bucket_seconds" 0 and
//                    no buckets without counted tags
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "report/progress.h"
#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

struct stats_options {
  bool json = false;
  bool utc = false;
  bool escape = false;  // node names are escaped (a terminal reads them)
  uint32_t top = 10;
  int progress = -1;
};

// How a log ended, as the summaries say it ("end tag EOF_FINISH", ...).
const char* log_end_text(log_end how);

namespace stats_detail {

// Zeroed memory for the slots of a table, straight from the system; a
// large table asks for huge pages, which spare the address translation
// misses of keys that land all over it.
void* map_zeroed(size_t bytes, size_t* mapped);
void unmap(void* p, size_t mapped);

template <typename Entry>
class slot_array {
 public:
  slot_array() = default;
  explicit slot_array(size_t n)
      : data_(static_cast<Entry*>(map_zeroed(n * sizeof(Entry), &mapped_))), n_(n) {}
  slot_array(const slot_array&) = delete;
  slot_array& operator=(const slot_array&) = delete;
  ~slot_array() { unmap(data_, mapped_); }
  void swap(slot_array& o) {
    std::swap(data_, o.data_);
    std::swap(n_, o.n_);
    std::swap(mapped_, o.mapped_);
  }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  Entry& operator[](size_t i) { return data_[i]; }
  const Entry* begin() const { return data_; }
  const Entry* end() const { return data_ + n_; }

 private:
  Entry* data_ = nullptr;
  size_t n_ = 0;
  size_t mapped_ = 0;
};

// An open-addressing table of entries that start with their key; key 0
// marks an empty slot. The hash is keyed with a per-run random value, since
// the log picks the keys. At most cap keys are kept.
template <typename Entry, typename Key>
class capped_table {
 public:
  capped_table(uint64_t seed, size_t cap) : seed_(seed), cap_(cap) {}
  // The entry of key (not 0), added when new (*added tells); null when the
  // key is new and the cap is reached. Pointers stay valid until the next
  // add or clear.
  Entry* add(Key key, bool* added);
  Entry* find(Key key);
  // Makes room for keys keys at once (within the cap), so that a table
  // that is expected to grow large is not moved over and over.
  void reserve(size_t keys);
  size_t size() const { return count_; }
  bool capped() const { return capped_; }
  // Changes whenever entries move (which makes pointers to them stale).
  uint32_t moves() const { return moves_; }
  const slot_array<Entry>& slots() const { return slots_; }
  void clear();

 private:
  static constexpr size_t block = 16;
  size_t slot_of(Key key) const;
  void resize(size_t slots);
  uint64_t seed_;
  size_t cap_;
  size_t count_ = 0;
  bool capped_ = false;
  uint32_t moves_ = 0;
  slot_array<Entry> slots_;
};

// The entries of the keys met last, by the key's low bits: records of a few
// transactions and nodes at a time follow each other, and most of them find
// their entry here without a look into the table.
template <typename Entry>
struct recent_entries {
  static constexpr uint32_t size = 64;
  struct slot {
    uint32_t key;
    Entry* entry;
  };
  slot slots[size];
  uint32_t moves = 0;  // the table's moves() when these were taken
  slot& of(uint32_t key) { return slots[key & (size - 1)]; }
  // Forgets every entry; key 0 has the entry none.
  void forget(uint32_t table_moves, Entry* none) {
    for (slot& s : slots) s = {0, none};
    moves = table_moves;
  }
};

struct node_entry {
  uint32_t key = 0;  // the node number
  uint64_t records = 0;
  uint64_t bytes = 0;
};

struct txn_entry {
  uint32_t key = 0;  // the transaction id
  uint32_t first_ts = 0;
  uint32_t last_ts = 0;
  uint32_t nodes = 0;              // distinct nodes (not 0)
  int32_t node_a = 0, node_b = 0;  // the first two of them
  uint64_t records = 0;
};

struct pair_entry {
  uint64_t key = 0;  // transaction << 32 | node: nodes beyond a and b
};

// Counts per time bucket. Buckets are aligned on whole multiples of their
// width counted from a Monday midnight in local time; the stored width
// grows (1 s, 10 s, 1 min, 10 min, 1 h, 6 h, 1 day, 1 week, 52 weeks) so
// that the span fits in slot_count buckets, and the width shown is chosen
// from the span.
class time_histogram {
 public:
  static constexpr int64_t slot_count = 4096;
  // The rows aimed at: at least min_rows where the span allows, at most
  // max_rows.
  static constexpr int64_t min_rows = 10, max_rows = 40;

  // Seconds east of UTC of the local time the buckets align to.
  void set_offset(int64_t seconds_east) { offset_ = seconds_east; }
  void add(uint32_t t, uint64_t n = 1) {
    if (static_cast<uint32_t>(t - cur_start_) < cur_width_) {
      *cur_ += n;
      return;
    }
    add_local(static_cast<int64_t>(t) + offset_, n);
  }
  bool empty() const { return used_lo_ > used_hi_; }

  struct row {
    int64_t start;  // seconds since 1970 (UTC) of the bucket's start
    uint64_t count;
  };
  // The buckets to show (from the first to the last one with counts,
  // empty ones between included); returns their width in seconds, 0 when
  // nothing was counted.
  int64_t rows(std::vector<row>& out) const;
  // Adds every count to other (which aligns to the same local time).
  void merge_into(time_histogram& other) const;
  void clear();

 private:
  void add_local(int64_t x, uint64_t n);
  void relayout(int64_t width, int64_t lo);

  std::vector<uint64_t> counts_;
  int64_t offset_ = 0;
  int64_t width_ = 1;
  int64_t lo_ = 0;  // bucket number of counts_[0]
  int64_t used_lo_ = 1, used_hi_ = 0;
  // The bucket met last: its start (seconds since 1970, UTC) and width; a
  // width of 0 caches nothing.
  uint32_t cur_start_ = 0, cur_width_ = 0;
  uint64_t* cur_ = nullptr;
};

// What is counted for one log, or for all of them.
struct summary {
  explicit summary(uint64_t seed);
  void clear();
  // Bytes of the counted tags, and of every tag read.
  int64_t counted_bytes() const;
  int64_t tag_bytes() const { return counted_bytes() + filtered_bytes; }
  uint64_t counted_tags() const;
  uint64_t tags() const { return counted_tags() + filtered_tags; }

  uint64_t logs = 0;
  bool any_tag = false;
  uint32_t first_seq = 0, last_seq = 0;
  uint32_t first_ts = 0, last_ts = 0;
  uint64_t malformed = 0;
  int64_t header_bytes = 0;
  int64_t bytes_read = 0;
  uint64_t filtered_tags = 0;
  int64_t filtered_bytes = 0;
  uint64_t kind_count[256] = {};
  int64_t kind_bytes[256] = {};
  uint64_t op_count[256] = {};
  int64_t op_bytes[256] = {};
  // Records of node 0 or transaction 0 (none), and of the keys the caps
  // kept out of the tables, are counted outside the tables.
  node_entry no_node, dropped_node;
  txn_entry no_txn, dropped_txn;
  capped_table<node_entry, uint32_t> nodes;
  capped_table<txn_entry, uint32_t> txns;
  capped_table<pair_entry, uint64_t> pairs;
  bool pairs_capped = false;
  time_histogram histogram;
};

}  // namespace stats_detail

class stats_sink : public report_sink {
 public:
  static constexpr size_t max_nodes = 1000000;
  static constexpr size_t max_transactions = 1000000;
  static constexpr size_t max_pairs = 2000000;

  stats_sink(const stats_options& o, const node_map& names);

  bool wants_all_problems() const override { return true; }
  void begin_input(const char* name, int64_t size) override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;

 private:
  using summary = stats_detail::summary;
  void start_log();
  void count_record(const tag_summary& t);
  stats_detail::node_entry* node_entry_of(uint32_t node);
  stats_detail::txn_entry* txn_entry_of(uint32_t id, uint32_t timestamp);
  void print_text(const summary& s, bool is_total);
  void print_json(const summary& s, bool is_total);
  void merge_log_into_total();

  stats_options opt_;
  const node_map& names_;
  progress_meter progress_;
  std::string input_name_ = "(input)";
  int64_t input_size_ = -1;
  int64_t input_base_ = 0;  // input position of the current log's start
  uint32_t log_index_ = 0;  // of the current log in its input
  bool log_open_ = false;
  bool have_header_ = false;
  fwlog_header header_;
  log_end end_how_ = log_end::stopped;
  bool offset_known_ = false;  // the histogram's local time offset
  int64_t local_offset_ = 0;
  summary log_;
  summary total_;
  bool total_used_ = false;  // total_ holds every log before log_
  stats_detail::recent_entries<stats_detail::txn_entry> recent_txns_;
  stats_detail::recent_entries<stats_detail::node_entry> recent_nodes_;
  bool json_started_ = false;
  std::string scratch_;
};

}  // namespace jrn
