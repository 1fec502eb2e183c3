#include "report/txns_sink.h"

#include <algorithm>
#include <cstring>

#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "scan/escape.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

void put_u64(std::string& s, uint64_t v) {
  char buf[24];
  s.append(buf, static_cast<size_t>(json_put_u64(buf, v) - buf));
}

// A text from the log: as it is, or escaped for a terminal.
void put_text(std::string& s, const char* text, size_t n, bool escape) {
  if (escape)
    append_escaped(text, n, s);
  else
    s.append(text, n);
}

void place_json(json_writer& w, const json_key& k, const tag_place& p) {
  w.begin_object(k);
  w.string(json_key("log"), p.log, std::strlen(p.log));
  w.u64(json_key("sequence"), p.sequence);
  w.i64(json_key("offset"), p.offset);
  w.u64(json_key("timestamp"), p.timestamp);
  w.iso_time(json_key("time"), p.timestamp);
  w.end_object();
}

// A node's qualified name as a JSON value, or null when it is not mapped.
void node_name_json(json_writer& w, const node_map& names, int32_t id, std::string& scratch) {
  if (!names.has(id)) {
    w.null(json_key("name"));
    return;
  }
  scratch.assign(1, '"');
  names.append_display(id, false, text_form::json, scratch);
  scratch += '"';
  w.raw(json_key("name"), scratch.data(), scratch.size());
}

const char* end_key(txn_end how) {
  switch (how) {
    case txn_end::end: return "END";
    case txn_end::begin_end: return "BEGIN-END";
    case txn_end::begun_again: return "begun_again";
    case txn_end::log_finished: return "eof_finish";
    case txn_end::open: return "open";
    case txn_end::stopped: return "stopped";
    case txn_end::gap: return "gap";
  }
  return "?";
}

const char* session_end_key(session_end how) {
  switch (how) {
    case session_end::sign_off: return "sign_off";
    case session_end::signed_on_again: return "signed_on_again";
    case session_end::log_finished: return "eof_finish";
    case session_end::open: return "open";
    case session_end::stopped: return "stopped";
    case session_end::gap: return "gap";
  }
  return "?";
}

bool overlaps(uint32_t a, uint32_t b, uint32_t from, uint32_t to) {
  const uint32_t lo = std::min(a, b), hi = std::max(a, b);
  return !(from != 0 && hi < from) && !(to != 0 && lo > to);
}

}  // namespace

// --- what transactions and sessions look like ---

void txn_print::writer::hour_times::put(output& out, uint32_t t) {
  const uint32_t hour = t - t % 3600;
  if (!known_ || hour != hour_) {
    known_ = true;
    hour_ = hour;
    even_ = false;
    if (hour <= UINT32_MAX - 3599) {
      const time_text first = format_time(hour, utc_), last = format_time(hour + 3599, utc_);
      even_ = std::strlen(first.text) == 19 && std::memcmp(first.text, last.text, 14) == 0 &&
              std::memcmp(first.text + 14, "00:00", 5) == 0 &&
              std::memcmp(last.text + 14, "59:59", 5) == 0;
      std::memcpy(text_, first.text, 14);
    }
  }
  if (!even_) {
    const char* text = minutes_(t);
    out.write(text, minutes_.length());
    return;
  }
  const uint32_t m = (t - hour) / 60, sec = (t - hour) % 60;
  char* q = out.reserve(19);
  std::memcpy(q, text_, 14);
  q[14] = static_cast<char>('0' + m / 10);
  q[15] = static_cast<char>('0' + m % 10);
  q[16] = ':';
  q[17] = static_cast<char>('0' + sec / 10);
  q[18] = static_cast<char>('0' + sec % 10);
  out.commit(19);
}

void txn_print::writer::hour_times::put(std::string& s, uint32_t t) {
  // Rare (session lines): through the formatter.
  const char* text = minutes_(t);
  s.append(text, minutes_.length());
}

txn_print::writer::writer(const node_map& names, bool utc, bool escape)
    : names_(names), escape_(escape), first_times_(utc), last_times_(utc) {}

void txn_print::writer::time(std::string& s, uint32_t t) { first_times_.put(s, t); }

void txn_print::writer::text(std::string& s, const std::string& t) {
  put_text(s, t.data(), t.size(), escape_);
}

const std::string& txn_print::writer::node_text(int32_t id) {
  node_slot& slot = nodes_[static_cast<uint32_t>(id) % node_slots];
  if (!slot.used || slot.id != id || slot.entries != names_.size() ||
      slot.bytes != names_.memory_bytes()) {
    slot.used = true;
    slot.id = id;
    slot.entries = names_.size();
    slot.bytes = names_.memory_bytes();
    slot.text.clear();
    names_.append_display(id, true, escape_, slot.text);
  }
  return slot.text;
}

void txn_print::writer::node(std::string& s, int32_t id) { s += node_text(id); }

void txn_print::writer::who(std::string& s, uint32_t session, const who_ptr& who, bool lost) {
  if (!who) {
    s += "session ";
    put_u64(s, session);
    s += lost ? ", its sign-on not kept (more sessions at once than --session-table)"
              : ", no sign-on in the input";
    return;
  }
  for (size_t i = 0; i < who->entries.size(); ++i) {
    if (i) s += ", ";
    const std::string_view e = who->entry_text(i);
    put_text(s, e.data(), e.size(), escape_);
    if (who->entries[i].cut) s += " ...";
  }
  if (who->entries.empty()) {
    s += "session ";
    put_u64(s, session);
    s += ", a sign-on without entries";
  }
  if (who->left_out) s += ", ...";
  if (who->damaged) s += " (damaged sign-on)";
}

void txn_print::who_json(json_writer& w, const who_ptr& who, bool lost) {
  if (!who) {
    w.null(json_key("who"));
    w.boolean(json_key("who_complete"), false);
    w.ascii(json_key("sign_on"), lost ? "not_kept" : "none");
    return;
  }
  w.begin_array(json_key("who"));
  for (size_t i = 0; i < who->entries.size(); ++i) {
    const std::string_view e = who->entry_text(i);
    w.string(e.data(), e.size());
  }
  w.end_array();
  w.boolean(json_key("who_complete"), who->complete());
  w.ascii(json_key("sign_on"), "found");
}

namespace {

// A line written straight into the report's buffer.
class line_out {
 public:
  explicit line_out(output& out) : out_(out) {}
  template <size_t n>
  void lit(const char (&text)[n]) {
    out_.write(text, n - 1);
  }
  void str(const char* text) { out_.write(text, std::strlen(text)); }
  void str(const std::string& text) { out_.write(text.data(), text.size()); }
  void put(char c) { out_.put(c); }
  void u64(uint64_t v) { out_.commit_to(json_put_u64(out_.reserve(20), v)); }
  void i64(int64_t v) {
    if (v < 0) {
      out_.put('-');
      u64(uint64_t{0} - static_cast<uint64_t>(v));
    } else {
      u64(static_cast<uint64_t>(v));
    }
  }

 private:
  output& out_;
};

// The opcodes' names and their lengths, looked up once.
struct opcode_names {
  opcode_names() {
    for (unsigned code = 0; code < 256; ++code) {
      const char* name = opcode_lookup(static_cast<uint8_t>(code)).name;
      text[code] = name;
      if (!opcode_known(static_cast<uint8_t>(code)))
        text[code] += " (" + std::to_string(code) + ")";
    }
  }
  std::string text[256];
};

}  // namespace

void txn_print::writer::txn(output& out, const txn_info& x) {
  static const opcode_names ops;
  line_out o(out);
  // ": NAME 3, NAME 1, REST 2": the records of each entry kept, then of
  // those not kept.
  auto counts = [&o](const auto& entries, auto name_of, const auto& rest, uint64_t rest_records) {
    bool first = true;
    for (const auto& e : entries) {
      first ? o.lit(": ") : o.lit(", ");
      first = false;
      o.str(name_of(e));
      o.put(' ');
      o.u64(e.records);
    }
    if (rest_records) {
      first ? o.lit(": ") : o.lit(", ");
      o.lit(rest);
      o.u64(rest_records);
    }
  };
  o.lit("txn ");
  o.u64(x.id);
  o.put(' ');
  switch (x.end) {
    case txn_end::end: o.lit("END"); break;
    case txn_end::begin_end: o.lit("BEGIN-END"); break;
    case txn_end::begun_again:
      o.lit("not ended, begun again at seq ");
      o.u64(x.again_sequence);
      break;
    case txn_end::log_finished: o.lit("never ended, its log ended with EOF_FINISH"); break;
    case txn_end::open: o.lit("still open at the end of the input"); break;
    case txn_end::stopped: o.lit("still open when the reading stopped"); break;
    case txn_end::gap:
      o.lit("not ended before a gap in its series, possibly continued there");
      break;
  }
  if (!x.begin_seen) o.lit(" (no BEGIN in the input)");
  o.lit(": session ");
  o.u64(x.session);
  o.lit(", seq ");
  o.u64(x.first.sequence);
  o.put('-');
  o.u64(x.last.sequence);
  o.lit(", offset ");
  o.i64(x.first.offset);
  if (x.first.log == x.last.log || std::strcmp(x.first.log, x.last.log) == 0) {
    o.put('-');
    o.i64(x.last.offset);
  } else {
    // Offsets count from the start of each input (whose name is shown as
    // the report shows it).
    o.lit(" in ");
    o.str(x.first.log);
    o.lit(" to ");
    o.i64(x.last.offset);
    o.lit(" in ");
    o.str(x.last.log);
  }
  o.lit(", ");
  first_times_.put(out, x.first.timestamp);
  o.lit(" to ");
  last_times_.put(out, x.last.timestamp);
  o.lit(" (");
  o.i64(x.duration());
  o.lit(" s); records ");
  o.u64(x.records);
  counts(
      x.ops, [](const txn_op& op) -> const std::string& { return ops.text[op.opcode]; }, "other ",
      x.other_op_records);
  o.lit("; nodes ");
  o.u64(x.node_count());
  if (!x.nodes_exact()) o.put('+');
  counts(
      x.nodes, [this](const txn_node& n) -> const std::string& { return node_text(n.node_id); },
      "further nodes ", x.other_node_records);
  o.lit("; before-images ");
  o.u64(x.before_images);
  o.lit("; who: ");
  // Transactions of one session share its who: written once, kept.
  if (who_cached_ != x.who || who_session_ != x.session || who_lost_ != x.sign_on_lost ||
      !who_valid_) {
    who_valid_ = true;
    who_cached_ = x.who;
    who_session_ = x.session;
    who_lost_ = x.sign_on_lost;
    who_text_.clear();
    who(who_text_, x.session, x.who, x.sign_on_lost);
  }
  o.str(who_text_);
}

void txn_print::txn_json(json_writer& w, const txn_info& x, const node_map& names) {
  std::string scratch;
  w.begin_object();
  w.ascii(json_key("type"), "txn");
  w.u64(json_key("transaction_id"), x.id);
  w.u64(json_key("session_id"), x.session);
  w.ascii(json_key("end"), end_key(x.end));
  if (x.end == txn_end::begun_again) w.u64(json_key("begun_again_sequence"), x.again_sequence);
  w.boolean(json_key("begin_seen"), x.begin_seen);
  place_json(w, json_key("first"), x.first);
  place_json(w, json_key("last"), x.last);
  w.i64(json_key("duration_seconds"), x.duration());
  w.u64(json_key("records"), x.records);
  w.begin_array(json_key("operations"));
  for (const txn_op& op : x.ops) {
    w.begin_object();
    w.u64(json_key("code"), op.opcode);
    if (opcode_known(op.opcode))
      w.ascii(json_key("name"), opcode_lookup(op.opcode).name);
    else
      w.null(json_key("name"));
    w.u64(json_key("records"), op.records);
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("other_operation_records"), x.other_op_records);
  w.begin_array(json_key("nodes"));
  for (const txn_node& n : x.nodes) {
    w.begin_object();
    w.u64(json_key("node_id"), static_cast<uint32_t>(n.node_id));  // unsigned, as everywhere
    node_name_json(w, names, n.node_id, scratch);
    w.u64(json_key("records"), n.records);
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("node_count"), x.node_count());
  w.boolean(json_key("nodes_exact"), x.nodes_exact());
  w.u64(json_key("other_node_records"), x.other_node_records);
  w.u64(json_key("records_without_node"), x.nodeless_records);
  w.u64(json_key("before_images"), x.before_images);
  who_json(w, x.who, x.sign_on_lost);
  w.end_object();
  w.end_line();
}

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
      txns_(*this, o.max_txns, &sessions_, !o.sessions) {
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

bool txns_sink::selected(const txn_info& x) const {
  const filter_settings& f = opt_.filter;
  if (f.from_txn != 0 && x.id < f.from_txn) return false;
  if (f.to_txn != 0 && x.id > f.to_txn) return false;
  if (f.node_id != 0 && !x.touched) return false;
  if (opt_.by_session && x.session != opt_.session) return false;
  return overlaps(x.first.timestamp, x.last.timestamp, f.from_time, f.to_time) &&
         overlaps(x.first.sequence, x.last.sequence, f.from_seq, f.to_seq);
}

bool txns_sink::selected(const session_info& s) const {
  const filter_settings& f = opt_.filter;
  if (opt_.by_session && s.id != opt_.session) return false;
  return overlaps(s.first.timestamp, s.last.timestamp, f.from_time, f.to_time) &&
         overlaps(s.first.sequence, s.last.sequence, f.from_seq, f.to_seq);
}

void txns_sink::txn_done(const txn_info& x) {
  if (opt_.sessions) return;
  ++txns_by_end_[static_cast<int>(x.end)];
  if (!selected(x)) return;
  ++listed_;
  if (opt_.rank != txn_rank::none)
    keep_ranked(x);
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

uint64_t txns_sink::rank_key(const txn_info& x) const {
  switch (opt_.rank) {
    case txn_rank::duration: return static_cast<uint64_t>(x.duration());
    case txn_rank::nodes: return x.node_count();
    default: return x.records;
  }
}

bool txns_sink::better(const txn_info& a, uint64_t order_a, const txn_info& b,
                       uint64_t order_b) const {
  const uint64_t ka = rank_key(a), kb = rank_key(b);
  if (ka != kb) return ka > kb;
  return order_a < order_b;
}

void txns_sink::keep_ranked(const txn_info& x) {
  const uint64_t order = told_++;
  if (opt_.top == 0) return;
  // A heap with the worst kept on top.
  auto worse_on_top = [this](const ranked& a, const ranked& b) {
    return better(a.x, a.order, b.x, b.order);
  };
  if (best_.size() < opt_.top) {
    best_.push_back({x, order});
    std::push_heap(best_.begin(), best_.end(), worse_on_top);
    return;
  }
  if (!better(x, order, best_.front().x, best_.front().order)) return;
  std::pop_heap(best_.begin(), best_.end(), worse_on_top);
  best_.back() = {x, order};
  std::push_heap(best_.begin(), best_.end(), worse_on_top);
}

void txns_sink::session_done(const session_info& s) {
  ++sessions_done_[static_cast<int>(s.end)];
  if (!selected(s)) return;
  ++listed_;
  write(s);
}

void txns_sink::write(const session_info& s) {
  if (opt_.json) {
    std::string scratch;
    w_.begin_object();
    w_.ascii(json_key("type"), "session");
    w_.u64(json_key("session_id"), s.id);
    txn_print::who_json(w_, s.who, false);
    if (s.who)
      place_json(w_, json_key("sign_on_at"), s.sign_on);
    else
      w_.null(json_key("sign_on_at"));
    w_.ascii(json_key("end"), session_end_key(s.end));
    if (s.end == session_end::sign_off || s.end == session_end::signed_on_again)
      place_json(w_, json_key("end_at"), s.sign_off);
    else
      w_.null(json_key("end_at"));
    place_json(w_, json_key("first"), s.first);
    place_json(w_, json_key("last"), s.last);
    w_.u64(json_key("transactions"), s.transactions);
    w_.u64(json_key("records"), s.records);
    w_.u64(json_key("memos"), s.memos);
    w_.u64(json_key("damaged_audit_bodies"), s.damaged);
    w_.begin_array(json_key("databases"));
    for (const session_db& d : s.dbs) {
      w_.begin_object();
      w_.u64(json_key("node_id"), static_cast<uint32_t>(d.node_id));
      node_name_json(w_, names_, d.node_id, scratch);
      w_.i64(json_key("mode"), d.mode);
      w_.ascii(json_key("list"), d.updated ? "DBLIST_UPD" : "DBLIST_SUM");
      w_.end_object();
    }
    w_.end_array();
    w_.u64(json_key("databases_left_out"), s.dbs_left_out);
    if (opt_.memo_texts) {
      w_.begin_array(json_key("memo_texts"));
      for (const session_memo& m : s.memo_texts) {
        w_.begin_object();
        w_.i64(json_key("mode"), m.mode);
        w_.u64(json_key("size"), m.size);
        w_.string(json_key("text"), m.text.data(), m.text.size());
        w_.end_object();
      }
      w_.end_array();
    }
    w_.end_object();
    w_.end_line();
    return;
  }
  std::string& l = line_;
  // "TIME (seq N)" of a tag.
  auto when = [&](const tag_place& p) {
    text_.time(l, p.timestamp);
    l += " (seq ";
    put_u64(l, p.sequence);
    l += ')';
  };
  l.assign("session ");
  put_u64(l, s.id);
  if (s.who) {
    l += ": signed on ";
    when(s.sign_on);
  } else {
    l += ": no sign-on in the input, first met ";
    when(s.first);
  }
  switch (s.end) {
    case session_end::sign_off:
      l += ", signed off ";
      when(s.sign_off);
      break;
    case session_end::signed_on_again:
      l += ", no sign-off before it signed on again at seq ";
      put_u64(l, s.sign_off.sequence);
      break;
    case session_end::log_finished: l += ", still signed on when its log ended (EOF_FINISH)"; break;
    case session_end::open: l += ", still signed on at the end of the input"; break;
    case session_end::stopped: l += ", still signed on when the reading stopped"; break;
    case session_end::gap:
      l += ", still signed on before a gap in its series, possibly continued there";
      break;
  }
  l += "; transactions ";
  put_u64(l, s.transactions);
  l += ", records ";
  put_u64(l, s.records);
  l += ", memos ";
  put_u64(l, s.memos);
  for (int updated = 0; updated < 2; ++updated) {
    const char* sep = updated ? "; updated: " : "; opened: ";
    for (const session_db& d : s.dbs) {
      if (d.updated != (updated == 1)) continue;
      l += sep;
      sep = ", ";
      text_.node(l, d.node_id);
    }
  }
  if (s.dbs_left_out) {
    l += "; further database entries ";
    put_u64(l, s.dbs_left_out);
  }
  if (s.damaged) {
    l += "; damaged AUDIT bodies ";
    put_u64(l, s.damaged);
  }
  if (s.who) {
    l += "; who: ";
    text_.who(l, s.id, s.who, false);
  }
  l += '\n';
  if (opt_.memo_texts) {
    for (const session_memo& m : s.memo_texts) {
      l += "  memo (mode ";
      l += std::to_string(m.mode);
      l += ", ";
      put_u64(l, m.size);
      l += " bytes): ";
      text_.text(l, m.text);
      if (m.size > m.text.size()) l += " ...";
      l += '\n';
    }
    if (s.memos > s.memo_texts.size()) {
      l += "  memos not shown: ";
      put_u64(l, s.memos - s.memo_texts.size());
      l += '\n';
    }
  }
  out_.write(l.data(), l.size());
}

void txns_sink::finish() {
  txns_.finish(stopped_);
  sessions_.finish(stopped_);
  if (!best_.empty()) {
    std::vector<ranked> order(std::move(best_));
    std::sort(order.begin(), order.end(), [this](const ranked& a, const ranked& b) {
      return better(a.x, a.order, b.x, b.order);
    });
    for (const ranked& r : order) write(r.x);
  }
  write_totals();
  out_.flush();
}

void txns_sink::write_totals() {
  static const char* const rank_names[] = {"", "records", "duration", "nodes"};
  const char* by = rank_names[static_cast<int>(opt_.rank)];
  if (opt_.sessions) {
    uint64_t all = 0;
    for (uint64_t n : sessions_done_) all += n;
    const uint64_t off = sessions_done_[static_cast<int>(session_end::sign_off)];
    if (opt_.json) {
      w_.begin_object();
      w_.ascii(json_key("type"), "sessions_total");
      w_.u64(json_key("sessions"), all);
      w_.u64(json_key("signed_off"), off);
      w_.u64(json_key("listed"), listed_);
      w_.u64(json_key("session_table"), opt_.max_sessions);
      w_.boolean(json_key("session_table_reached"), sessions_.bound_reached());
      w_.u64(json_key("tags_not_followed"), sessions_.not_followed());
      cut_keys(diag_, w_);
      w_.end_object();
      w_.end_line();
      return;
    }
    line_ = "sessions: " + std::to_string(all) + " (" + std::to_string(off) + " signed off, " +
            std::to_string(all - off) + " not), " + std::to_string(listed_) + " listed";
    if (sessions_.bound_reached())
      line_ += "; tags of sessions not followed: " + std::to_string(sessions_.not_followed()) +
               " (more than " + std::to_string(opt_.max_sessions) +
               " sessions at once; see --session-table)";
    line_ += '\n';
    cut_line(diag_, line_);
    out_.write(line_.data(), line_.size());
    return;
  }
  uint64_t all = 0;
  for (uint64_t n : txns_by_end_) all += n;
  const uint64_t ended = txns_by_end_[static_cast<int>(txn_end::end)];
  const uint64_t one = txns_by_end_[static_cast<int>(txn_end::begin_end)];
  if (opt_.json) {
    w_.begin_object();
    w_.ascii(json_key("type"), "txns_total");
    w_.u64(json_key("transactions"), all);
    w_.u64(json_key("ended"), ended);
    w_.u64(json_key("begin_end"), one);
    w_.u64(json_key("not_ended"), all - ended - one);
    w_.u64(json_key("listed"), listed_);
    if (opt_.rank != txn_rank::none) {
      w_.u64(json_key("top"), opt_.top);
      w_.ascii(json_key("by"), by);
    }
    w_.u64(json_key("records_in_no_transaction"), txns_.records_outside());
    w_.u64(json_key("txn_table"), opt_.max_txns);
    w_.boolean(json_key("txn_table_reached"), txns_.bound_reached());
    w_.u64(json_key("tags_not_followed"), txns_.not_followed());
    cut_keys(diag_, w_);
    w_.end_object();
    w_.end_line();
    return;
  }
  line_ = "transactions: " + std::to_string(all) + " (" + std::to_string(ended) + " END, " +
          std::to_string(one) + " BEGIN-END, " + std::to_string(all - ended - one) +
          " not ended), " + std::to_string(listed_) + " listed";
  if (opt_.rank != txn_rank::none)
    line_ += ", the top " + std::to_string(std::min<uint64_t>(opt_.top, listed_)) + " by " + by +
             " shown";
  line_ += "; records in no transaction: " + std::to_string(txns_.records_outside());
  if (txns_.bound_reached())
    line_ += "; records and before-images of transactions not followed: " +
             std::to_string(txns_.not_followed()) + " (more than " + std::to_string(opt_.max_txns) +
             " open at once; see --txn-table)";
  line_ += '\n';
  cut_line(diag_, line_);
  out_.write(line_.data(), line_.size());
}

}  // namespace jrn
