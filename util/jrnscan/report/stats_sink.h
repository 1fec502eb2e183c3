// --stats: a summary of the tags the filters let through instead of the
// report. It is built from the per-tag summaries alone (no line of any tag
// is described), so the scan costs little more than a filtered scan.
//
// First the filters in force; then for each log, and for all logs together
// when there are several: the header, the number, sequence and time range
// of the tags counted and how the log ended; counts and bytes per tag kind
// and per record opcode; the number of distinct nodes and transactions and
// those with the most records; the pages named most often (by records'
// page fields and CLUSTER page images); a histogram of the tags over time;
// and the byte identity
//
//   bytes read = file header + tags counted + tags filtered out
//                + malformed tags left out + the bytes of a tag cut short
//   input size = bytes read + bytes not read (behind an end tag, a refused
//                header or an unrecognized tag letter)
//
// Memory does not grow with the number of records: the distinct nodes and
// transactions are counted exactly in id_sets (a bit or two bytes per id,
// 512 MiB at worst for all 2^32 ids); the busiest ones are kept in a fixed
// number of counters (top_counts: exact while the keys fit, else with a
// stated error); a transaction's nodes beyond its first two are kept for
// the transactions that hold a counter, up to max_more_nodes in all; the
// histogram keeps at most 4096 buckets. A run over several logs keeps a
// second set of all of them for the total. The man page (SUMMARIES) lists
// every key of --stats --json.
//
// An archive read in file sequence order (stats_options::series) also gets
// a section per series (volume set id, volume generation): the figures of
// its logs added up and the ranges they span, judged from per-log figures
// so that the order the logs were read in does not matter. A series keeps
// counters only (no id sets, tables or histogram), about 200 bytes; at
// most max_series of them are kept, the logs of further ones count in the
// total alone. Files the run passed over for the time window are counted
// (number and bytes) for the total.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/id_set.h"
#include "model/time_histogram.h"
#include "model/top_counts.h"
#include "report/out.h"
#include "report/progress.h"
#include "scan/diag.h"
#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/report.h"

namespace jrn {

struct stats_options {
  bool json = false;
  bool utc = false;
  bool escape = false;  // node names are escaped (a terminal reads them)
  uint32_t top = 10;
  int progress = -1;
  filter_settings filter;  // shown at the top of the summary
  // The inputs are an archive read in file sequence order: totals per
  // series (volume set id and volume generation) too.
  bool series = false;
};

// How a log ended, as the summaries say it ("end tag EOF_FINISH", ...).
const char* log_end_text(log_end how);
// The same as a JSON value: "eof_finish", "input_between", ...
const char* log_end_key(log_end how);

namespace stats_detail {

struct node_entry {
  uint32_t key = 0;  // the node number
  uint64_t records = 0;
  uint64_t error = 0;  // records may exceed the true count by this much
  uint64_t bytes = 0;  // of the records counted (all of them when error is 0)
};

// A page of a node and the times it was named: by a record whose page
// probe finds it, or by a CLUSTER tag's page image.
struct page_entry {
  uint64_t key = 0;      // 1 + (the node's 32 bits, then the page's)
  uint64_t records = 0;  // times named (the name top_counts counts by)
  uint64_t error = 0;
  int32_t node() const { return static_cast<int32_t>((key - 1) >> 32); }
  uint32_t page() const { return static_cast<uint32_t>(key - 1); }
};

// One cache line: the records of a transaction come in runs.
struct alignas(64) txn_entry {
  uint32_t key = 0;  // the transaction id
  uint32_t first_ts = 0;
  uint32_t last_ts = 0;
  uint32_t nodes = 0;              // distinct nodes (not 0)
  int32_t node_a = 0, node_b = 0;  // the first two of them
  uint32_t more_n = 0;             // the further ones, in `more`
  uint8_t more_bits = 0;           // `more` has 1 << more_bits slots
  // Some nodes were not kept: nodes is a lower bound, and no more are
  // added.
  bool nodes_capped = false;
  uint64_t records = 0;
  uint64_t error = 0;
  // The further nodes, a set by open addressing (0 marks a free slot).
  std::unique_ptr<int32_t[]> more;
};

// The figures that add up over logs: counts, bytes and the first and last
// counted tag. A summary has them and its tables; a series only them.
struct figures {
  uint64_t logs = 0;
  // The first and last counted tag.
  bool any_tag = false;
  uint32_t first_seq = 0, last_seq = 0;
  uint32_t first_ts = 0, last_ts = 0;
  uint64_t malformed = 0;
  int64_t header_bytes = 0;
  int64_t bytes_read = 0;
  uint64_t filtered_tags = 0;
  int64_t filtered_bytes = 0;
  // Tags left out because they were malformed (not by a filter).
  uint64_t dropped_tags = 0;
  int64_t dropped_bytes = 0;
  // Input bytes not read as a log; unread_unknown when some count was not
  // known.
  int64_t unread_bytes = 0;
  bool unread_unknown = false;
};

// What is counted for one log, or for all of them.
struct summary : figures {
  summary(uint64_t seed, uint32_t counters);
  void clear();
  // Bytes of the counted tags, and of every tag read.
  int64_t counted_bytes() const;
  int64_t tag_bytes() const { return counted_bytes() + filtered_bytes + dropped_bytes; }
  uint64_t counted_tags() const;
  uint64_t tags() const { return counted_tags() + filtered_tags + dropped_tags; }
  uint64_t records() const;

  uint64_t kind_count[256] = {};
  int64_t kind_bytes[256] = {};
  uint64_t op_count[256] = {};
  int64_t op_bytes[256] = {};
  // Records of node 0 or transaction 0 (none) are counted outside the
  // tables.
  node_entry no_node;
  txn_entry no_txn;
  id_set node_ids, txn_ids;
  top_counts<node_entry> nodes;
  top_counts<txn_entry> txns;
  // The pages named: by records and by page images, and the most named.
  uint64_t page_namings = 0, page_images = 0;
  top_counts<page_entry> pages;
  uint64_t more_nodes = 0;  // in all the txns' `more` sets
  bool node_sets_capped = false;
  uint64_t more_seed;
  time_histogram histogram;
};

// The logs of one series (volume set id, volume generation) added up. The
// first and last counted tag are those of the logs of the lowest and the
// highest file sequence that have tags counted; how the series ended is how
// its log of the highest file sequence ended (of two with the same, the
// one read last).
struct series_entry : figures {
  uint32_t volume_set_id = 0;
  uint32_t volume_generation = 0;
  int32_t first_file = 0, last_file = 0;  // the lowest and highest file sequence
  log_end last_end = log_end::stopped;
  int32_t first_tag_file = 0, last_tag_file = 0;  // the logs of the first and last tag
  uint64_t counted_tags = 0;
  int64_t counted_bytes = 0;
  uint64_t records = 0;
  uint64_t tags() const { return counted_tags + filtered_tags + dropped_tags; }
  int64_t tag_bytes() const { return counted_bytes + filtered_bytes + dropped_bytes; }
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
  slot& of(uint32_t key) { return slots[key & (size - 1)]; }
  // Forgets every entry; key 0 has the entry none.
  void forget(Entry* none) {
    for (slot& s : slots) s = {0, none};
  }
  // Forgets key, whose entry now counts another key.
  void forget(uint32_t key, Entry* none) {
    if (of(key).key == key) of(key) = {0, none};
  }
};

}  // namespace stats_detail

class stats_sink : public report_sink {
 public:
  // Counters for the busiest nodes and for the busiest transactions:
  // max(min_counters, 10 x --top), at most max_counters.
  static constexpr uint32_t min_counters = 4096;
  static constexpr uint32_t max_counters = 1u << 20;
  // Nodes of transactions beyond their first two, kept in all (per log,
  // and for the total).
  static constexpr uint64_t max_more_nodes = 1u << 20;
  // Series kept with stats_options::series.
  static constexpr size_t max_series = 4096;

  // The summary goes to out; the progress line is erased before every
  // message said through diag.
  stats_sink(output& out, diagnostics& diag, const stats_options& o, const node_map& names);

  bool wants_all_problems() const override { return true; }
  void begin_input(const char* name, int64_t size) override;
  void input_skipped(const char* name, int64_t size, uint32_t first_ts, uint32_t last_ts) override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  void unread(int64_t offset, int64_t count) override;
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;

 private:
  using summary = stats_detail::summary;
  void start_log();
  void count_record(const tag_summary& t);
  void count_pages(const tag_summary& t);
  void name_page(int32_t node, uint32_t page);
  stats_detail::node_entry* node_entry_of(uint32_t node);
  stats_detail::txn_entry* txn_entry_of(uint32_t id, uint32_t timestamp);
  void print_filters();
  void print_text(const summary& s, bool is_total);
  void print_json(const summary& s, bool is_total);
  void merge_log_into_total();
  void add_log_to_series();
  void order_total_by_series(summary& all) const;
  void print_series_text(const stats_detail::series_entry& e);
  void print_series_json(const stats_detail::series_entry& e);
  void print_skipped_text();

  output& out_;
  stats_options opt_;
  std::string pattern_;  // the opcode pattern filter, kept
  const node_map& names_;
  progress_meter progress_;
  std::string input_name_ = "(input)";
  int64_t input_size_ = -1;
  int64_t input_base_ = 0;  // input offset where the current log began
  uint32_t log_index_ = 0;  // of the current log in its input
  bool log_open_ = false;
  bool have_header_ = false;
  fwlog_header header_;
  log_end end_how_ = log_end::stopped;
  int64_t end_offset_ = 0;    // input offset where the current log ended
  int64_t unread_from_ = -1;  // input offset of the log's bytes not read, -1: none
  // The last malformed item reported in the current tag (its offset).
  bool malformed_in_tag_ = false;
  int64_t malformed_at_ = 0;
  summary log_;
  summary total_;
  bool total_used_ = false;  // total_ holds every log before log_
  // With opt_.series: the series by (volume set id, volume generation);
  // logs of a refused header (no series), and logs of series beyond
  // max_series.
  std::map<std::pair<uint32_t, uint32_t>, stats_detail::series_entry> series_;
  uint64_t logs_without_series_ = 0;
  uint64_t logs_of_series_not_kept_ = 0;
  // Files passed over for the time window: their number, the bytes of
  // those of known size, and the number of those of unknown size.
  uint64_t skipped_files_ = 0;
  int64_t skipped_bytes_ = 0;
  uint64_t skipped_unknown_ = 0;
  stats_detail::recent_entries<stats_detail::txn_entry> recent_txns_;
  stats_detail::recent_entries<stats_detail::node_entry> recent_nodes_;
  bool names_pages_[256];      // the record opcodes that have a page probe
  bool head_printed_ = false;  // the filters (and the JSON document's start)
  bool json_logs_ = false;     // a log's JSON object was written
  std::string scratch_;
};

}  // namespace jrn
