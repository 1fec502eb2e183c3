#include "cli/modes.h"

#include <iterator>
#include <utility>

#include "report/check_sink.h"
#include "report/history_sink.h"
#include "report/json_sink.h"
#include "report/stats_sink.h"
#include "report/text_sink.h"
#include "report/transaction_sink.h"
#include "report/txns_sink.h"
#include "report/undo_sink.h"

namespace jrn {

namespace {

// The tag report, as text or as JSON.
std::unique_ptr<report_sink> make_report(const run_options& o, const node_map& names, output& out) {
  if (o.json) return std::make_unique<json_sink>(out, o.filter, names);
  text_options t;
  t.escape = escapes_for(o.escape, 1);
  t.utc = o.utc;
  t.offsets = o.offsets;
  return std::make_unique<text_sink>(out, o.filter, names, t);
}

sink_parts make_tags(const run_options& o, const node_map& names, output& out, diagnostics&) {
  sink_parts p;
  p.sink = make_report(o, names, out);
  return p;
}

sink_parts make_stats(const run_options& o, const node_map& names, output& out, diagnostics& diag) {
  stats_options s;
  s.json = o.json;
  s.utc = o.utc;
  s.escape = !o.json && escapes_for(o.escape, 1);
  s.top = o.top;
  s.progress = o.progress;
  s.filter = o.filter;
  s.series = o.order == read_order::sequence;
  sink_parts p;
  p.sink = std::make_unique<stats_sink>(out, diag, s, names);
  return p;
}

sink_parts make_check(const run_options& o, const node_map& names, output& out, diagnostics& diag) {
  check_options k;
  k.strict = o.strict;
  k.utc = o.utc;
  k.progress = o.progress;
  k.json = o.json;
  k.image_memory = o.image_memory;
  k.max_txns = o.txns.max_txns;
  k.names = &names;
  k.escape = escapes_for(o.escape, 2);
  auto c = std::make_unique<check_sink>(out, diag, k);
  sink_parts p;
  // A check without the before-image check follows no record: the scan
  // then reads before-image bodies past, as without a follower.
  if (o.image_memory != 0) p.records = c.get();
  p.sink = std::move(c);
  return p;
}

sink_parts make_history(const run_options& o, const node_map& names, output& out,
                        diagnostics& diag) {
  auto h = std::make_unique<history_sink>(out, diag, names, o.filter, o.history);
  sink_parts p;
  if (!h->open()) return p;
  p.records = h.get();
  p.sink = std::move(h);
  return p;
}

sink_parts make_undo(const run_options& o, const node_map& names, output& out, diagnostics& diag) {
  auto u = std::make_unique<undo_sink>(out, diag, names, o.undo);
  sink_parts p;
  if (!u->open()) return p;
  p.records = u.get();
  p.sink = std::move(u);
  return p;
}

sink_parts make_txns(const run_options& o, const node_map& names, output& out, diagnostics& diag) {
  auto t = std::make_unique<txns_sink>(out, diag, o.txns, names);
  sink_parts p;
  p.audits = t.get();
  p.sink = std::move(t);
  return p;
}

sink_parts make_transaction(const run_options& o, const node_map& names, output& out,
                            diagnostics& diag) {
  auto t = std::make_unique<transaction_sink>(make_report(o, names, out), out, diag, names,
                                              o.transaction, o.txns);
  sink_parts p;
  p.audits = t.get();
  p.sink = std::move(t);
  return p;
}

void settle_undo(run_options& o, const modes_given& given) {
  const filter_settings& f = o.filter;
  if (!given.undo_id) {
    o.undo.from_txn = f.from_txn;
    o.undo.to_txn = f.to_txn;
  }
  o.undo.json = o.json;
  o.undo.utc = o.utc;
  o.undo.escape = !o.json && escapes_for(o.escape, 1);
  o.undo.detail_level = f.detail_level;
  o.undo.save_dir = o.save_dir;
}

void settle_history(run_options& o, const modes_given&) {
  o.history.json = o.json;
  o.history.utc = o.utc;
  o.history.escape = !o.json && escapes_for(o.escape, 1);
  o.history.save_dir = o.save_dir;
}

// The lists select with the filters (in o.txns, copied once every filter
// is settled); --transaction shows every kind of its transaction's tags.
void settle_txns(run_options& o, const modes_given& given) {
  if (given.txns && given.top && o.txns.rank == txn_rank::none) o.txns.rank = txn_rank::records;
  o.txns.top = o.top;
  o.txns.sessions = given.sessions;
  o.txns.json = o.json;
  o.txns.utc = o.utc;
  o.txns.escape = !o.json && escapes_for(o.escape, 1);
  o.txns.memo_texts = o.filter.detail_level >= 1;
}

// The scan's filters select the one transaction's tags.
void settle_transaction(run_options& o, const modes_given& given) {
  settle_txns(o, given);
  o.filter.from_txn = o.filter.to_txn = o.transaction;
}

constexpr uint8_t records = follows_records;
constexpr uint8_t audits = follows_audits;
constexpr uint8_t nothing = follows_nothing;

// name, mode, form, chosen by, factory, follows, whole archives, --save,
// once per log, announces filters, scan filters, settle.
const mode_row rows[] = {
    {"", output_mode::text, report_form::text, nullptr, make_tags, nothing, false, save_by::saver,
     false, true, scan_filters::as_given, nullptr},
    {"--json", output_mode::text, report_form::json, nullptr, make_tags, nothing, false,
     save_by::saver, false, false, scan_filters::as_given, nullptr},
    {"--stats", output_mode::stats, report_form::any, &modes_given::stats, make_stats, nothing,
     false, save_by::saver, true, false, scan_filters::every_kind, nullptr},
    {"--check", output_mode::check, report_form::any, &modes_given::check, make_check, records,
     true, save_by::saver, false, false, scan_filters::every_kind, nullptr},
    {"--history", output_mode::history, report_form::any, &modes_given::history, make_history,
     records, true, save_by::itself, true, false, scan_filters::as_given, settle_history},
    {"--undo", output_mode::undo, report_form::any, &modes_given::undo, make_undo, records, true,
     save_by::itself, true, false, scan_filters::as_given, settle_undo},
    {"--txns", output_mode::txns, report_form::any, &modes_given::txns, make_txns, audits, true,
     save_by::saver, true, false, scan_filters::none, settle_txns},
    {"--sessions", output_mode::sessions, report_form::any, &modes_given::sessions, make_txns,
     audits, true, save_by::saver, true, false, scan_filters::none, settle_txns},
    {"--transaction", output_mode::transaction, report_form::any, &modes_given::transaction,
     make_transaction, audits, true, save_by::saver, true, false, scan_filters::every_kind,
     settle_transaction},
};

}  // namespace

const mode_row* mode_rows(size_t* count) {
  *count = std::size(rows);
  return rows;
}

const mode_row& mode_row_for(const run_options& o) {
  const report_form form = o.json ? report_form::json : report_form::text;
  for (const mode_row& r : rows)
    if (r.mode == o.mode && (r.form == report_form::any || r.form == form)) return r;
  return rows[0];
}

const mode_row& chosen_mode(const modes_given& given) {
  for (const mode_row& r : rows)
    if (r.chosen_by && given.*r.chosen_by) return r;
  return rows[0];
}

}  // namespace jrn
