#include "report/txns_sink.h"

#include <string>

namespace jrn {

void txn_print::warn_txn_bound(diagnostics& diag, const char* log_name, const tag_summary& t,
                               uint32_t max) {
  diag.bound_reached("--txn-table",
                     "transactions beyond the " + std::to_string(max) +
                         " open at once are counted but not followed (--txn-table)",
                     "%s: warning: %u transactions are open at once at offset %lld, as many as "
                     "are followed; the records of further ones are counted but not listed",
                     log_name, max, static_cast<long long>(t.offset));
}

void txn_print::warn_session_bound(diagnostics& diag, const char* log_name, const tag_summary& t,
                                   uint32_t max) {
  diag.bound_reached("--session-table",
                     "sessions beyond the " + std::to_string(max) +
                         " signed on at once are counted but not followed (--session-table)",
                     "%s: warning: %u sessions are signed on at once at offset %lld, as many as "
                     "are followed; further ones are counted but not listed",
                     log_name, max, static_cast<long long>(t.offset));
}

// --- the sink ---

txns_sink::txns_sink(output& out, diagnostics& diag, const txns_options& o, const node_map& names)
    : out_(out),
      diag_(diag),
      opt_(o),
      names_(names),
      text_(names, o.utc, o.escape),
      w_(out),
      sessions_(o.sessions ? this : nullptr, o.max_sessions, o.sessions, o.sessions,
                o.sessions && o.memo_texts),
      txns_(*this, o.max_txns, &sessions_, !o.sessions),
      selection_{o.filter, o.by_session, o.session},
      ranking_(o.rank, o.top) {
  if (!o.sessions) txns_.watch_node(o.filter.node_id);
  txns_.on_full = [this](const tag_summary& t) {
    txn_print::warn_txn_bound(diag_, log_name_.c_str(), t, opt_.max_txns);
  };
  sessions_.on_full = [this](const tag_summary& t) {
    txn_print::warn_session_bound(diag_, log_name_.c_str(), t, opt_.max_sessions);
  };
}

void txns_sink::begin_log(const char* log_name, const fwlog_header&) {
  log_name_ = log_name;
  txns_.set_log(log_name);
  sessions_.set_log(log_name);
}

void txns_sink::tag_done(const tag_summary& t) {
  // The transaction first: one that held before-images open is the
  // session's from the first of them on.
  txns_.tag(t);
  if (opt_.sessions && t.is_record) sessions_.record(t);
}

void txns_sink::audit(const tag_summary& t, const audit_event& e) { sessions_.audit(t, e); }

void txns_sink::end_log(log_end how, int64_t) {
  stopped_ = how == log_end::stopped;
  txns_.end_log(how);
  sessions_.end_log(how);
}

void txns_sink::series_gap(const series_gap_info&) {
  txns_.cut();
  sessions_.cut();
}

void txns_sink::flush() { out_.flush(); }

void txns_sink::txn_done(const txn_info& x) {
  if (opt_.sessions) return;
  ++counts_.txns_by_end[static_cast<int>(x.end)];
  if (!selection_.selects(x)) return;
  ++counts_.listed;
  if (opt_.rank != txn_rank::none)
    ranking_.keep(x);
  else
    write(x);
}

void txns_sink::write(const txn_info& x) {
  if (opt_.json) {
    txn_print::txn_json(w_, x, names_);
    return;
  }
  text_.txn(out_, x);
  out_.put('\n');
}

void txns_sink::session_done(const session_info& s) {
  ++counts_.sessions_by_end[static_cast<int>(s.end)];
  if (!selection_.selects(s)) return;
  ++counts_.listed;
  write(s);
}

void txns_sink::write(const session_info& s) {
  if (opt_.json)
    session_json(s);
  else
    session_text(s);
}

void txns_sink::finish() {
  txns_.finish(stopped_);
  sessions_.finish(stopped_);
  for (const txn_info& x : ranking_.take()) write(x);
  write_totals();
  out_.flush();
}

void txns_sink::write_totals() {
  if (opt_.sessions)
    opt_.json ? sessions_total_json() : sessions_total_text();
  else
    opt_.json ? txns_total_json() : txns_total_text();
}

}  // namespace jrn
