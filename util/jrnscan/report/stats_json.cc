// The summary as one JSON document (its keys are listed in the man page,
// SUMMARIES): the filters in force, an object per log and one for the
// total. The document's frame between them is written by stats_sink.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "log/scan.h"
#include "records/opcodes.h"
#include "report/json_writer.h"
#include "report/out.h"
#include "report/stats_print.h"
#include "report/stats_sink.h"
#include "scan/context.h"

namespace jrn {

const char* log_end_key(log_end how) {
  switch (how) {
    case log_end::eof_finish: return "eof_finish";
    case log_end::eof_cont: return "eof_cont";
    case log_end::next_log: return "next_log";
    case log_end::input_between: return "input_between";
    case log_end::input_inside: return "input_inside";
    case log_end::unknown_letter: return "unknown_letter";
    case log_end::read_failure: return "read_failure";
    case log_end::header_failure: return "header_failure";
    case log_end::body_failure: return "body_failure";
    case log_end::stopped: return "stopped";
  }
  return "?";
}

using stats_detail::node_entry;
using stats_detail::page_entry;
using stats_detail::txn_entry;
using stats_print::all_exact;
using stats_print::clamp_time;
using stats_print::share;
using stats_print::top_entries;

namespace {

// A time as the keys give it: ISO 8601 UTC, then the seconds.
void time_pair(json_writer& w, const json_key& time_key, const json_key& stamp_key, uint32_t t) {
  w.iso_time(time_key, t);
  w.u64(stamp_key, t);
}

void counts(json_writer& w, uint64_t count, int64_t bytes, double part) {
  w.u64(json_key("count"), count);
  w.i64(json_key("bytes"), bytes);
  w.fixed(json_key("share"), part, 4);
}

// The keys that add up over logs, from "tags" to "malformed_left_out_tags".
void figure_keys(json_writer& w, const stats_detail::figures& s, uint64_t tags, int64_t counted,
                 uint64_t counted_tags, int64_t tag_bytes) {
  w.u64(json_key("tags"), tags);
  if (s.any_tag) {
    w.u64(json_key("first_sequence"), s.first_seq);
    w.u64(json_key("last_sequence"), s.last_seq);
    time_pair(w, json_key("first_time"), json_key("first_timestamp"), s.first_ts);
    time_pair(w, json_key("last_time"), json_key("last_timestamp"), s.last_ts);
  } else {
    for (const char* k : {"first_sequence", "last_sequence", "first_time", "first_timestamp",
                          "last_time", "last_timestamp"})
      w.null(json_key(k));
  }
  const int64_t duration = s.any_tag ? std::max<int64_t>(0, int64_t{s.last_ts} - s.first_ts) : 0;
  w.i64(json_key("duration_seconds"), duration);
  w.u64(json_key("malformed"), s.malformed);
  w.begin_object(json_key("bytes"));
  w.i64(json_key("read"), s.bytes_read);
  w.i64(json_key("header"), s.header_bytes);
  w.i64(json_key("counted"), counted);
  w.i64(json_key("filtered_out"), s.filtered_bytes);
  w.i64(json_key("malformed_left_out"), s.dropped_bytes);
  w.i64(json_key("cut_short"), s.bytes_read - s.header_bytes - tag_bytes);
  if (s.unread_unknown)
    w.null(json_key("unread"));
  else
    w.i64(json_key("unread"), s.unread_bytes);
  w.end_object();
  w.u64(json_key("counted_tags"), counted_tags);
  w.u64(json_key("filtered_out_tags"), s.filtered_tags);
  w.u64(json_key("malformed_left_out_tags"), s.dropped_tags);
}

}  // namespace

void stats_print::print_json_filters(output& out, const filter_settings& f,
                                     const std::string& pattern) {
  json_writer w(out);
  w.begin_object();
  w.begin_object(json_key("filters"));
  if (f.node_id)
    w.u64(json_key("node_id"), static_cast<uint32_t>(f.node_id));  // unsigned, as everywhere
  else
    w.null(json_key("node_id"));
  if (f.from_time) {
    time_pair(w, json_key("from_time"), json_key("from_timestamp"), f.from_time);
  } else {
    w.null(json_key("from_time"));
    w.null(json_key("from_timestamp"));
  }
  if (f.to_time) {
    time_pair(w, json_key("to_time"), json_key("to_timestamp"), f.to_time);
  } else {
    w.null(json_key("to_time"));
    w.null(json_key("to_timestamp"));
  }
  const std::pair<json_key, uint32_t> numbers[] = {{json_key("from_sequence"), f.from_seq},
                                                   {json_key("to_sequence"), f.to_seq},
                                                   {json_key("from_transaction"), f.from_txn},
                                                   {json_key("to_transaction"), f.to_txn},
                                                   {json_key("page"), f.page},
                                                   {json_key("record_number"), f.recno}};
  for (const auto& n : numbers) {
    if (n.second)
      w.u64(n.first, n.second);
    else
      w.null(n.first);
  }
  if (f.pattern)
    w.string(json_key("opcode_pattern"), pattern.data(), pattern.size());
  else
    w.null(json_key("opcode_pattern"));
  if (f.kinds & 0xff) {
    w.begin_array(json_key("kinds"));
    for (const char* p = kind_letters; *p; ++p) {
      const uint8_t letter = static_cast<uint8_t>(*p);
      if (f.kinds & kind_bit(letter)) w.ascii(tag_kind_of(letter).name);
    }
    w.end_array();
  } else {
    w.null(json_key("kinds"));
  }
  w.end_object();
  out.str(",\n");  // the document goes on with its logs
}

void stats_sink::print_json(const summary& s, bool is_total) {
  json_writer w(out_);
  w.begin_object();
  if (is_total) {
    w.u64(json_key("logs"), s.logs);
    if (opt_.series) {
      w.u64(json_key("logs_in_no_series"), logs_without_series_);
      w.u64(json_key("logs_in_series_not_kept"), logs_of_series_not_kept_);
    }
    if (opt_.series || skipped_files_ != 0) {
      w.begin_object(json_key("skipped"));
      w.u64(json_key("files"), skipped_files_);
      w.i64(json_key("bytes"), skipped_bytes_);
      w.u64(json_key("files_of_unknown_size"), skipped_unknown_);
      w.end_object();
    }
  } else {
    w.string(json_key("log"), input_name_.data(), input_name_.size());
    w.u64(json_key("log_index"), log_index_);
    if (have_header_) {
      w.begin_object(json_key("header"));
      w.string(json_key("signature"), header_.signature, sizeof header_.signature);
      w.string(json_key("version"), header_.version,
               strnlen(header_.version, sizeof header_.version));
      w.i64(json_key("major"), header_.major);
      w.i64(json_key("minor"), header_.minor);
      w.i64(json_key("file_sequence"), header_.file_sequence);
      w.i64(json_key("bytes"), header_.bytes);
      w.end_object();
    } else {
      w.null(json_key("header"));
    }
    w.ascii(json_key("end"), log_end_key(end_how_));
    w.i64(json_key("end_offset"), end_offset_);
  }
  const int64_t counted = s.counted_bytes();
  figure_keys(w, s, s.tags(), counted, s.counted_tags(), s.tag_bytes());

  w.begin_array(json_key("kinds"));
  for (unsigned letter = 0; letter < 256; ++letter) {
    if (s.kind_count[letter] == 0) continue;
    w.begin_object();
    const char c = static_cast<char>(letter);
    w.string(json_key("letter"), &c, 1);
    w.u64(json_key("code"), letter);
    w.ascii(json_key("name"), tag_kind_of(static_cast<uint8_t>(letter)).name);
    counts(w, s.kind_count[letter], s.kind_bytes[letter], share(s.kind_bytes[letter], counted));
    w.end_object();
  }
  w.end_array();
  uint64_t records = 0;
  int64_t record_bytes = 0;
  for (int i = 0; i < 256; ++i) {
    records += s.op_count[i];
    record_bytes += s.op_bytes[i];
  }
  w.begin_array(json_key("opcodes"));
  for (unsigned code = 0; code < 256; ++code) {
    if (s.op_count[code] == 0) continue;
    const uint8_t c = static_cast<uint8_t>(code);
    w.begin_object();
    w.u64(json_key("code"), code);
    if (opcode_known(c)) {
      const char* name = opcode_lookup(c).name;
      w.string(json_key("name"), name, std::strlen(name));
    } else {
      w.null(json_key("name"));
    }
    counts(w, s.op_count[code], s.op_bytes[code], share(s.op_bytes[code], record_bytes));
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("records"), records);
  w.u64(json_key("records_without_node"), s.no_node.records);
  w.u64(json_key("records_without_transaction"), s.no_txn.records);
  w.u64(json_key("counters"), s.nodes.capacity());

  const auto nodes = top_entries<node_entry, int32_t>(s.nodes, opt_.top);
  w.u64(json_key("nodes"), s.node_ids.size());
  w.boolean(json_key("nodes_capped"), false);
  w.boolean(json_key("top_nodes_exact"), all_exact(nodes));
  w.begin_array(json_key("top_nodes"));
  for (const node_entry* e : nodes) {
    const int32_t id = static_cast<int32_t>(e->key);
    w.begin_object();
    // Node numbers are unsigned in every JSON object; the name is cut as
    // written in JSON.
    w.u64(json_key("node_id"), static_cast<uint32_t>(id));
    if (names_.has(id)) {
      scratch_.assign(1, '"');
      names_.append_display(id, false, text_form::json, scratch_);
      scratch_ += '"';
      w.raw(json_key("name"), scratch_.data(), scratch_.size());
    } else {
      w.null(json_key("name"));
    }
    w.u64(json_key("records"), e->records);
    w.u64(json_key("records_error"), e->error);
    w.u64(json_key("bytes"), e->bytes);
    w.end_object();
  }
  w.end_array();
  const auto txns = top_entries<txn_entry, uint32_t>(s.txns, opt_.top);
  w.u64(json_key("transactions"), s.txn_ids.size());
  w.boolean(json_key("transactions_capped"), false);
  w.boolean(json_key("node_sets_capped"), s.node_sets_capped);
  w.boolean(json_key("top_transactions_exact"), all_exact(txns));
  w.begin_array(json_key("top_transactions"));
  for (const txn_entry* e : txns) {
    w.begin_object();
    w.u64(json_key("transaction_id"), e->key);
    w.u64(json_key("records"), e->records);
    w.u64(json_key("records_error"), e->error);
    w.u64(json_key("nodes"), e->nodes);
    w.boolean(json_key("nodes_exact"), stats_print::nodes_exact(*e));
    time_pair(w, json_key("first_time"), json_key("first_timestamp"), e->first_ts);
    time_pair(w, json_key("last_time"), json_key("last_timestamp"), e->last_ts);
    w.i64(json_key("duration_seconds"), std::max<int64_t>(0, int64_t{e->last_ts} - e->first_ts));
    w.end_object();
  }
  w.end_array();
  const auto pages = stats_print::top_pages(s.pages, opt_.top);
  w.u64(json_key("page_namings"), s.page_namings);
  w.u64(json_key("page_images"), s.page_images);
  w.boolean(json_key("top_pages_exact"), all_exact(pages));
  w.begin_array(json_key("top_pages"));
  for (const page_entry* e : pages) {
    w.begin_object();
    w.u64(json_key("node_id"), static_cast<uint32_t>(e->node()));
    if (names_.has(e->node())) {
      scratch_.assign(1, '"');
      names_.append_display(e->node(), false, text_form::json, scratch_);
      scratch_ += '"';
      w.raw(json_key("name"), scratch_.data(), scratch_.size());
    } else {
      w.null(json_key("name"));
    }
    w.u64(json_key("page"), e->page());
    w.u64(json_key("count"), e->records);
    w.u64(json_key("count_error"), e->error);
    w.end_object();
  }
  w.end_array();
  std::vector<time_histogram::row> rows;
  const int64_t width = s.histogram.rows(rows);
  w.begin_object(json_key("histogram"));
  w.i64(json_key("bucket_seconds"), width);
  w.begin_array(json_key("buckets"));
  for (const auto& r : rows) {
    const uint32_t start = clamp_time(r.start);
    w.begin_object();
    w.iso_time(json_key("time"), start);
    w.u64(json_key("timestamp"), start);
    w.u64(json_key("count"), r.count);
    w.end_object();
  }
  w.end_array();
  w.end_object();
  w.end_object();
}

void stats_sink::print_series_json(const stats_detail::series_entry& e) {
  json_writer w(out_);
  w.begin_object();
  w.u64(json_key("volume_set_id"), e.volume_set_id);
  w.u64(json_key("volume_generation"), e.volume_generation);
  w.u64(json_key("logs"), e.logs);
  w.i64(json_key("first_file_sequence"), e.first_file);
  w.i64(json_key("last_file_sequence"), e.last_file);
  w.ascii(json_key("end"), log_end_key(e.last_end));
  figure_keys(w, e, e.tags(), e.counted_bytes, e.counted_tags, e.tag_bytes());
  w.u64(json_key("records"), e.records);
  w.end_object();
}

}  // namespace jrn
