// The summary's text sections: the filters in force, each log's and the
// total's counts, the byte identity, the tables and the histogram.
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/scan.h"
#include "records/opcodes.h"
#include "report/out.h"
#include "report/stats_print.h"
#include "report/stats_sink.h"
#include "scan/context.h"
#include "scan/time_text.h"

namespace jrn {

using stats_detail::node_entry;
using stats_detail::page_entry;
using stats_detail::txn_entry;
using stats_print::all_exact;
using stats_print::clamp_time;
using stats_print::share;
using stats_print::top_entries;

namespace {

// Columns of standard output: its terminal's width, 80 otherwise.
int terminal_columns() {
  struct winsize ws;
  if (isatty(1) && ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

bool utf8_name(const char* s) {
  if (!s) return false;
  for (; *s; ++s)
    if (strncasecmp(s, "utf-8", 5) == 0 || strncasecmp(s, "utf8", 4) == 0) return true;
  return false;
}

// Whether the user's character type locale is UTF-8 (the locale of the
// program is left as it was).
bool utf8_locale() {
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = current ? current : "C";
  bool utf8 = false;
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    utf8 = utf8_name(nl_langinfo(CODESET));
    std::setlocale(LC_CTYPE, saved.c_str());
  } else {
    // A locale that is not installed: what its name says.
    const char* name = std::getenv("LC_ALL");
    if (!name || !*name) name = std::getenv("LC_CTYPE");
    if (!name || !*name) name = std::getenv("LANG");
    utf8 = utf8_name(name);
  }
  return utf8;
}

// "01:02:03", or "2d 01:02:03".
std::string duration_text(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  const long long d = seconds / 86400, h = seconds / 3600 % 24, m = seconds / 60 % 60,
                  s = seconds % 60;
  if (d > 0)
    std::snprintf(buf, sizeof buf, "%lldd %02lld:%02lld:%02lld", d, h, m, s);
  else
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", h, m, s);
  return buf;
}

std::string width_text(int64_t w) {
  char buf[48];
  struct unit {
    int64_t seconds;
    const char* one;
    const char* many;
  };
  static const unit units[] = {{7 * 86400, "week", "weeks"},
                               {86400, "day", "days"},
                               {3600, "h", "h"},
                               {60, "min", "min"},
                               {1, "s", "s"}};
  for (const unit& u : units) {
    if (w % u.seconds != 0) continue;
    const long long n = w / u.seconds;
    std::snprintf(buf, sizeof buf, "%lld %s", n, n == 1 ? u.one : u.many);
    return buf;
  }
  return "?";
}

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

// The tag kinds that --kind lets through, "REC, PAGE".
std::string kinds_text(uint32_t kinds, const char* separator) {
  std::string out;
  for (const char* p = stats_print::kind_letters; *p; ++p) {
    const char letter = *p;
    if ((kinds & kind_bit(static_cast<uint8_t>(letter))) == 0) continue;
    if (!out.empty()) out += separator;
    out += tag_kind_of(static_cast<uint8_t>(letter)).name;
  }
  return out;
}

bool any_filter(const filter_settings& f) {
  return f.node_id || f.from_time || f.to_time || f.from_seq || f.to_seq || f.from_txn ||
         f.to_txn || f.page || f.recno || f.pattern || (f.kinds & 0xff);
}

// "5 to 9", "from 5", "to 9".
void range_line(output& out_, const char* label, const std::string& from, const std::string& to) {
  if (from.empty() && to.empty()) return;
  out_.printf("  %-18s ", label);
  if (!from.empty() && !to.empty())
    out_.printf("%s to %s\n", from.c_str(), to.c_str());
  else if (!from.empty())
    out_.printf("from %s\n", from.c_str());
  else
    out_.printf("to %s\n", to.c_str());
}

std::string number_or_none(uint32_t n) { return n ? std::to_string(n) : std::string(); }

struct bar_style {
  bool utf8;
  // The block of n eighths (1 to 8).
  const char* block(int n) const {
    static const char* const eighths[] = {"",       "\u258f", "\u258e", "\u258d", "\u258c",
                                          "\u258b", "\u258a", "\u2589", "\u2588"};
    return eighths[n];
  }
};

void print_histogram(output& out_, const time_histogram& h) {
  std::vector<time_histogram::row> rows;
  const int64_t width = h.rows(rows);
  if (width == 0) return;
  uint64_t widest = 0;
  for (const auto& r : rows) widest = std::max(widest, r.count);
  char count_text[24];
  const int count_width =
      std::snprintf(count_text, sizeof count_text, "%llu", static_cast<unsigned long long>(widest));
  out_.printf("\n  activity: counted tags per %s (%zu %s)\n", width_text(width).c_str(),
              rows.size(), plural(rows.size(), "row", "rows"));
  // "    <time>  <count>  <bar>"
  const int prefix = 4 + 19 + 2 + count_width + 2;
  const int bar_cols = std::max(10, terminal_columns() - prefix - 1);
  const bar_style style{utf8_locale()};
  std::string bar;
  for (const auto& r : rows) {
    bar.clear();
    if (r.count != 0) {
      // In eighths of a column; a row with counts shows at least one.
      const double units = style.utf8 ? 8.0 : 1.0;
      int64_t n = static_cast<int64_t>(
          static_cast<double>(r.count) * bar_cols * units / static_cast<double>(widest) + 0.5);
      if (n < 1) n = 1;
      if (style.utf8) {
        for (int64_t i = 0; i < n / 8; ++i) bar += style.block(8);
        bar += style.block(static_cast<int>(n % 8));
      } else {
        bar.append(static_cast<size_t>(n), '#');
      }
    }
    // The bucket's start as its clock shows it.
    out_.printf("    %-19s  %*llu  %s\n", format_time(clamp_time(r.clock), true).c_str(),
                count_width, static_cast<unsigned long long>(r.count), bar.c_str());
  }
}

// The tags counted (those the filters let through): how many, and their
// sequence and time range.
void print_tag_lines(output& out_, time_formatter& times, const stats_detail::figures& s,
                     unsigned long long counted_tags, unsigned long long read_tags) {
  if (s.any_tag) {
    if (counted_tags == read_tags)
      out_.printf("  %llu %s, sequence %u to %u\n", counted_tags,
                  plural(counted_tags, "tag", "tags"), s.first_seq, s.last_seq);
    else
      out_.printf("  %llu of %llu tags counted, sequence %u to %u\n", counted_tags, read_tags,
                  s.first_seq, s.last_seq);
    const std::string first = times(s.first_ts);
    out_.printf("  time %s to %s (%s)\n", first.c_str(), times(s.last_ts),
                duration_text(static_cast<int64_t>(s.last_ts) - s.first_ts).c_str());
  } else if (read_tags != 0) {
    out_.printf("  no tags counted (%llu read)\n", read_tags);
  } else {
    out_.str("  no tags\n");
  }
}

// The byte identity. unread_from: the input offset of a log's bytes not
// read, or -1 for a sum over logs.
void print_byte_lines(output& out_, const stats_detail::figures& s, int64_t counted,
                      unsigned long long counted_tags, int64_t tag_bytes, int64_t unread_from) {
  const int64_t cut = s.bytes_read - s.header_bytes - tag_bytes;
  out_.printf("\n  %-26s %16lld\n", "bytes read", static_cast<long long>(s.bytes_read));
  out_.printf("    %-24s %16lld\n", "file header", static_cast<long long>(s.header_bytes));
  out_.printf("    %-24s %16lld  (%llu %s)\n", "tags counted", static_cast<long long>(counted),
              counted_tags, plural(counted_tags, "tag", "tags"));
  out_.printf("    %-24s %16lld  (%llu %s)\n", "tags filtered out",
              static_cast<long long>(s.filtered_bytes),
              static_cast<unsigned long long>(s.filtered_tags),
              plural(s.filtered_tags, "tag", "tags"));
  if (s.dropped_tags != 0)
    out_.printf("    %-24s %16lld  (%llu %s)\n", "malformed tags left out",
                static_cast<long long>(s.dropped_bytes),
                static_cast<unsigned long long>(s.dropped_tags),
                plural(s.dropped_tags, "tag", "tags"));
  out_.printf("    %-24s %16lld\n", "cut short at the end", static_cast<long long>(cut));
  if (s.unread_unknown) {
    out_.printf("  %-26s %16s", "bytes not read", "unknown");
    if (unread_from >= 0)
      out_.printf("  (from offset %lld on)", static_cast<long long>(unread_from));
    else if (s.unread_bytes != 0)
      out_.printf("  (at least %lld)", static_cast<long long>(s.unread_bytes));
    out_.put('\n');
  } else if (s.unread_bytes != 0) {
    out_.printf("  %-26s %16lld", "bytes not read", static_cast<long long>(s.unread_bytes));
    if (unread_from >= 0)
      out_.printf("  (from offset %lld on)", static_cast<long long>(unread_from));
    out_.put('\n');
  }
}

}  // namespace

const char* log_end_text(log_end how) {
  switch (how) {
    case log_end::eof_finish: return "end tag EOF_FINISH";
    case log_end::eof_cont: return "end tag EOF_CONT";
    case log_end::next_log: return "a further log began without an end tag";
    case log_end::input_between: return "end of input between tags, without an end tag";
    case log_end::input_inside: return "end of input inside a tag";
    case log_end::unknown_letter: return "an unrecognized tag letter";
    case log_end::read_failure: return "a read failure";
    case log_end::header_failure: return "the file header was refused";
    case log_end::body_failure: return "a tag body that could not be read";
    case log_end::stopped: return "the run stopped (--limit or a signal)";
  }
  return "?";
}

// Once, before the first section: the filters in force. The JSON document
// always has them (every key, null when that filter is not given).
void stats_sink::print_filters() {
  if (head_printed_) return;
  head_printed_ = true;
  const filter_settings& f = opt_.filter;
  if (opt_.json) {
    stats_print::print_json_filters(out_, f, pattern_);
    return;
  }
  if (!any_filter(f)) return;
  out_.str("\nFilters (only the tags they let through are counted):\n");
  if (f.node_id) out_.printf("  %-18s #%d\n", "node", f.node_id);
  range_line(out_, "time", f.from_time ? format_time(f.from_time, opt_.utc).c_str() : "",
             f.to_time ? format_time(f.to_time, opt_.utc).c_str() : "");
  range_line(out_, "sequence", number_or_none(f.from_seq), number_or_none(f.to_seq));
  range_line(out_, "transaction", number_or_none(f.from_txn), number_or_none(f.to_txn));
  if (f.page) out_.printf("  %-18s %u (0x%x)\n", "page", f.page, f.page);
  if (f.recno) out_.printf("  %-18s %u\n", "record number", f.recno);
  if (f.pattern) out_.printf("  %-18s \"%s\"\n", "opcode pattern", pattern_.c_str());
  if (f.kinds & 0xff)
    out_.printf("  %-18s %s (end tags always)\n", "tag kinds", kinds_text(f.kinds, ", ").c_str());
}

void stats_sink::print_text(const summary& s, bool is_total) {
  if (is_total) {
    out_.printf("\nAll %llu %s", static_cast<unsigned long long>(s.logs),
                s.logs == 1 ? "log" : "logs");
    if (opt_.series) out_.printf(" in %zu series", series_.size());
    out_.put('\n');
    if (logs_without_series_ != 0)
      out_.printf("  in no series: %llu %s whose file header was refused\n",
                  static_cast<unsigned long long>(logs_without_series_),
                  plural(logs_without_series_, "log", "logs"));
    if (logs_of_series_not_kept_ != 0)
      out_.printf("  in no series shown: %llu %s of series beyond the first %zu\n",
                  static_cast<unsigned long long>(logs_of_series_not_kept_),
                  plural(logs_of_series_not_kept_, "log", "logs"), max_series);
  } else {
    out_.printf("\nLog: %s", input_name_.c_str());
    if (log_index_ > 1) out_.printf(" (log %u of the input)", log_index_);
    out_.put('\n');
    if (have_header_)
      out_.printf("  signature %.10s, version %d.%02d, file sequence %d\n", header_.signature,
                  header_.major, header_.minor, header_.file_sequence);
  }
  time_formatter times(opt_.utc);
  const unsigned long long counted_tags = s.counted_tags(), read_tags = s.tags();
  print_tag_lines(out_, times, s, counted_tags, read_tags);
  if (!is_total)
    out_.printf("  ended by %s at offset %lld\n", log_end_text(end_how_),
                static_cast<long long>(end_offset_));
  out_.printf("  malformed items: %llu\n", static_cast<unsigned long long>(s.malformed));

  const int64_t counted = s.counted_bytes();
  print_byte_lines(out_, s, counted, counted_tags, s.tag_bytes(), is_total ? -1 : unread_from_);
  if (is_total) print_skipped_text();

  // Tag kinds and record opcodes.
  char label[64];
  if (counted_tags != 0) {
    out_.printf("\n  %-26s %12s %16s %7s\n", "tag kind", "count", "bytes", "share");
    for (unsigned letter = 0; letter < 256; ++letter) {
      if (s.kind_count[letter] == 0) continue;
      std::snprintf(label, sizeof label, "%c %s", letter,
                    tag_kind_of(static_cast<uint8_t>(letter)).name);
      out_.printf("    %-24s %12llu %16lld %6.1f%%\n", label,
                  static_cast<unsigned long long>(s.kind_count[letter]),
                  static_cast<long long>(s.kind_bytes[letter]),
                  100.0 * share(s.kind_bytes[letter], counted));
    }
    out_.printf("    %-24s %12llu %16lld %6.1f%%\n", "total", counted_tags,
                static_cast<long long>(counted), counted > 0 ? 100.0 : 0.0);
  } else {
    out_.str("\n  no tags counted\n");
  }
  uint64_t records = 0;
  int64_t record_bytes = 0;
  for (int i = 0; i < 256; ++i) {
    records += s.op_count[i];
    record_bytes += s.op_bytes[i];
  }
  if (records != 0) {
    out_.printf("\n  %-26s %12s %16s %7s\n", "record opcode", "count", "bytes", "share");
    for (unsigned code = 0; code < 256; ++code) {
      if (s.op_count[code] == 0) continue;
      std::snprintf(label, sizeof label, "%3u %s", code,
                    opcode_lookup(static_cast<uint8_t>(code)).name);
      out_.printf("    %-24s %12llu %16lld %6.1f%%\n", label,
                  static_cast<unsigned long long>(s.op_count[code]),
                  static_cast<long long>(s.op_bytes[code]),
                  100.0 * share(s.op_bytes[code], record_bytes));
    }
    out_.printf("    %-24s %12llu %16lld %6.1f%%\n", "total",
                static_cast<unsigned long long>(records), static_cast<long long>(record_bytes),
                100.0);
  }

  // The busiest nodes and transactions. While every key has its own
  // counter the counts are exact and the tables have no error column.
  if (records != 0 && opt_.top > 0) {
    const auto nodes = top_entries<node_entry, int32_t>(s.nodes, opt_.top);
    const bool nodes_ok = all_exact(nodes);
    const unsigned long long node_count = s.node_ids.size();
    out_.printf("\n  top %zu %s by records (%llu %s; %llu %s without a node)\n", nodes.size(),
                plural(nodes.size(), "node", "nodes"), node_count,
                plural(node_count, "node", "nodes"),
                static_cast<unsigned long long>(s.no_node.records),
                plural(s.no_node.records, "record", "records"));
    if (!nodes_ok)
      out_.printf(
          "  note: more nodes than the %u counters: a count is at most its \"error\" above the\n"
          "        true one, and where that is not 0 the bytes leave out the records before\n"
          "        the node got its counter\n",
          s.nodes.capacity());
    if (!nodes.empty()) {
      if (nodes_ok)
        out_.printf("    %12s %16s %12s  %s\n", "records", "bytes", "node", "name");
      else
        out_.printf("    %12s %10s %16s %12s  %s\n", "records", "error", "bytes", "node", "name");
    }
    for (const node_entry* e : nodes) {
      const int32_t id = static_cast<int32_t>(e->key);
      scratch_.clear();
      names_.append_display(id, false, opt_.escape, scratch_);
      out_.printf("    %12llu", static_cast<unsigned long long>(e->records));
      if (!nodes_ok) out_.printf(" %10llu", static_cast<unsigned long long>(e->error));
      out_.printf(" %16llu %12d  %s\n", static_cast<unsigned long long>(e->bytes), id,
                  scratch_.c_str());
    }
    const auto txns = top_entries<txn_entry, uint32_t>(s.txns, opt_.top);
    const bool txns_ok = all_exact(txns);
    const unsigned long long txn_count = s.txn_ids.size();
    out_.printf("\n  top %zu %s by records (%llu %s; %llu %s outside a transaction)\n", txns.size(),
                plural(txns.size(), "transaction", "transactions"), txn_count,
                plural(txn_count, "transaction", "transactions"),
                static_cast<unsigned long long>(s.no_txn.records),
                plural(s.no_txn.records, "record", "records"));
    if (!txns_ok)
      out_.printf(
          "  note: more transactions than the %u counters: a count is at most its \"error\"\n"
          "        above the true one, and where that is not 0 first time, duration and nodes\n"
          "        leave out the records before the transaction got its counter\n",
          s.txns.capacity());
    if (s.node_sets_capped)
      out_.printf(
          "  note: more than %llu nodes of transactions beyond their first two; some node "
          "counts are too low\n",
          static_cast<unsigned long long>(max_more_nodes));
    if (!txns.empty()) {
      if (txns_ok)
        out_.printf("    %12s %12s %6s  %-19s  %-19s  %s\n", "transaction", "records", "nodes",
                    "first", "last", "duration");
      else
        out_.printf("    %12s %12s %10s %6s  %-19s  %-19s  %s\n", "transaction", "records", "error",
                    "nodes", "first", "last", "duration");
    }
    for (const txn_entry* e : txns) {
      const std::string first = times(e->first_ts);
      out_.printf("    %12u %12llu", e->key, static_cast<unsigned long long>(e->records));
      if (!txns_ok) out_.printf(" %10llu", static_cast<unsigned long long>(e->error));
      out_.printf(" %6u  %-19s  %-19s  %s\n", e->nodes, first.c_str(), times(e->last_ts),
                  duration_text(static_cast<int64_t>(e->last_ts) - e->first_ts).c_str());
    }
  }
  // The pages written most: named by records' page fields and by CLUSTER
  // page images.
  if (opt_.top > 0 && (s.page_namings != 0 || s.page_images != 0)) {
    const auto pages = stats_print::top_pages(s.pages, opt_.top);
    const bool pages_ok = all_exact(pages);
    out_.printf("\n  top %zu %s by times named (%llu in records, %llu in page images)\n",
                pages.size(), plural(pages.size(), "page", "pages"),
                static_cast<unsigned long long>(s.page_namings),
                static_cast<unsigned long long>(s.page_images));
    if (!pages_ok)
      out_.printf(
          "  note: more pages than the %u counters: a count is at most its \"error\" above the\n"
          "        true one\n",
          s.pages.capacity());
    if (pages_ok)
      out_.printf("    %12s %12s %12s %12s  %s\n", "named", "page", "hex", "node", "name");
    else
      out_.printf("    %12s %10s %12s %12s %12s  %s\n", "named", "error", "page", "hex", "node",
                  "name");
    char hex[16];
    for (const page_entry* e : pages) {
      scratch_.clear();
      names_.append_display(e->node(), false, opt_.escape, scratch_);
      std::snprintf(hex, sizeof hex, "0x%x", e->page());
      out_.printf("    %12llu", static_cast<unsigned long long>(e->records));
      if (!pages_ok) out_.printf(" %10llu", static_cast<unsigned long long>(e->error));
      out_.printf(" %12u %12s %12d  %s\n", e->page(), hex, e->node(), scratch_.c_str());
    }
  }
  print_histogram(out_, s.histogram);
}

// The files passed over for the time window, beside the bytes read and not
// read: together they make up the inputs.
void stats_sink::print_skipped_text() {
  if (skipped_files_ == 0) return;
  char note[160];
  std::snprintf(note, sizeof note, "%llu %s outside the time window",
                static_cast<unsigned long long>(skipped_files_),
                plural(skipped_files_, "file", "files"));
  if (skipped_unknown_ == 0) {
    out_.printf("  %-26s %16lld  (%s)\n", "bytes skipped", static_cast<long long>(skipped_bytes_),
                note);
  } else {
    out_.printf("  %-26s %16s  (at least %lld; %s, %llu of unknown size)\n", "bytes skipped",
                "unknown", static_cast<long long>(skipped_bytes_), note,
                static_cast<unsigned long long>(skipped_unknown_));
  }
}

// A series: its logs' figures added up, the ranges they span, and how its
// log of the highest file sequence ended.
void stats_sink::print_series_text(const stats_detail::series_entry& e) {
  out_.printf("\nSeries: volume set 0x%x generation %u\n", e.volume_set_id, e.volume_generation);
  out_.printf("  %llu %s, file sequence %d", static_cast<unsigned long long>(e.logs),
              plural(e.logs, "log", "logs"), e.first_file);
  if (e.last_file != e.first_file) out_.printf(" to %d", e.last_file);
  out_.put('\n');
  time_formatter times(opt_.utc);
  print_tag_lines(out_, times, e, e.counted_tags, e.tags());
  out_.printf("  file sequence %d ended by %s\n", e.last_file, log_end_text(e.last_end));
  out_.printf("  malformed items: %llu\n", static_cast<unsigned long long>(e.malformed));
  print_byte_lines(out_, e, e.counted_bytes, e.counted_tags, e.tag_bytes(), -1);
}

}  // namespace jrn
