// --txns and --sessions as text: a line per transaction or session, and
// the line of totals.
#include <cstring>

#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "report/txns_sink.h"
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

// How the transaction ended, as its line says it.
void put_end(line_out& o, const txn_info& x) {
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
}

// "N-M", or "N in LOG to M in LOG" when it spans two inputs.
void put_offsets(line_out& o, const txn_info& x) {
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
  put_end(o, x);
  if (!x.begin_seen) o.lit(" (no BEGIN in the input)");
  o.lit(": session ");
  o.u64(x.session);
  o.lit(", seq ");
  o.u64(x.first.sequence);
  o.put('-');
  o.u64(x.last.sequence);
  o.lit(", offset ");
  put_offsets(o, x);
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

// With -v, a session's memos: "  memo (mode M, N bytes): TEXT", and how
// many were not kept.
void append_memos(txn_print::writer& text, const session_info& s, std::string& l) {
  for (const session_memo& m : s.memo_texts) {
    l += "  memo (mode ";
    l += std::to_string(m.mode);
    l += ", ";
    put_u64(l, m.size);
    l += " bytes): ";
    text.text(l, m.text);
    if (m.size > m.text.size()) l += " ...";
    l += '\n';
  }
  if (s.memos > s.memo_texts.size()) {
    l += "  memos not shown: ";
    put_u64(l, s.memos - s.memo_texts.size());
    l += '\n';
  }
}

void txns_sink::session_text(const session_info& s) {
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
  if (opt_.memo_texts) append_memos(text_, s, l);
  out_.write(l.data(), l.size());
}

void txns_sink::sessions_total_text() {
  const uint64_t all = counts_.sessions(), off = counts_.signed_off(), listed = counts_.listed;
  line_ = "sessions: " + std::to_string(all) + " (" + std::to_string(off) + " signed off, " +
          std::to_string(all - off) + " not), " + std::to_string(listed) + " listed";
  if (sessions_.bound_reached())
    line_ += "; tags of sessions not followed: " + std::to_string(sessions_.not_followed()) +
             " (more than " + std::to_string(opt_.max_sessions) +
             " sessions at once; see --session-table)";
  line_ += '\n';
  cut_line(diag_, line_);
  out_.write(line_.data(), line_.size());
}

void txns_sink::txns_total_text() {
  const uint64_t all = counts_.transactions(), ended = counts_.ended(), one = counts_.begin_end();
  const uint64_t listed = counts_.listed;
  const char* by = txn_rank_name(opt_.rank);
  line_ = "transactions: " + std::to_string(all) + " (" + std::to_string(ended) + " END, " +
          std::to_string(one) + " BEGIN-END, " + std::to_string(all - ended - one) +
          " not ended), " + std::to_string(listed) + " listed";
  if (opt_.rank != txn_rank::none)
    line_ += ", the top " + std::to_string(std::min<uint64_t>(opt_.top, listed)) + " by " + by +
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
