// --txns and --sessions: who did what, joined across the log.
//
// --txns writes one line (a JSON object with --json) per transaction, as
// the transactions end, then the ones left open: its id, how it ended, its
// session and who signed that session on, its first and last tag
// (sequence, input offset, time), its records by opcode and by node, its
// before-images. The filters select transactions: -x its id, -n a node it
// touched, -t/--since/--until a time window it was active in, -s likewise
// for sequences, --session its session. With --top N (--by records,
// duration or nodes) only the N best are kept and written at the end.
//
// --sessions writes one line per session as it signs off, then the ones
// still signed on: its sign-on entries, sign-on and sign-off, the
// databases of its DBLIST tags, its transactions, records and memos (with
// -v the memo texts). Its filters: --session, the time and sequence windows.
//
// Both end with a line of totals. What is kept is what txn_table keeps:
// memory grows with the transactions open and the sessions signed on at
// once, up to their bounds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/txn_select.h"
#include "model/txn_table.h"
#include "report/json_writer.h"
#include "report/out.h"
#include "scan/audit_events.h"
#include "scan/diag.h"
#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/report.h"
#include "scan/time_text.h"

namespace jrn {

struct txns_options {
  bool sessions = false;  // --sessions, else --txns
  bool json = false;
  bool utc = false;
  bool escape = false;      // texts from the log are escaped (a terminal reads them)
  filter_settings filter;   // -x, -n, the time and sequence windows
  bool by_session = false;  // --session
  uint32_t session = 0;
  txn_rank rank = txn_rank::none;  // --top with --by
  uint32_t top = 10;
  uint32_t max_txns = 50000;      // --txn-table
  uint32_t max_sessions = 20000;  // --session-table
  bool memo_texts = false;        // -v
};

// How transactions and who ran them are written; --transaction shares it.
namespace txn_print {

// Writes the text of transactions and sessions: times as the report shows
// them, texts from the log escaped for a terminal when asked, and node
// names (the displays of the nodes met last are kept: a name changes only
// when one is learnt).
class writer {
 public:
  writer(const node_map& names, bool utc, bool escape);

  // The who of a transaction or session: "user=alice, program=pay", or
  // "session 12, no sign-on in the input".
  void who(std::string& s, uint32_t session, const who_ptr& who, bool lost);
  // One transaction's line, without its line break, into the report.
  void txn(output& out, const txn_info& x);
  void time(std::string& s, uint32_t t);
  // "SHOP.ORDERS (#102)", or "#102".
  void node(std::string& s, int32_t id);
  // A text from the log.
  void text(std::string& s, const std::string& t);

 private:
  struct node_slot {
    bool used = false;
    int32_t id = 0;
    size_t entries = 0;
    uint64_t bytes = 0;
    std::string text;
  };
  static constexpr uint32_t node_slots = 64;
  // Times as the report shows them: within an hour that the clock runs
  // through evenly (no change of UTC offset in it) from the hour's text
  // and the minutes and seconds, else through a time_formatter.
  class hour_times {
   public:
    explicit hour_times(bool utc) : utc_(utc), minutes_(utc) {}
    void put(output& out, uint32_t t);
    void put(std::string& s, uint32_t t);

   private:
    bool utc_;
    time_formatter minutes_;
    bool known_ = false, even_ = false;
    uint32_t hour_ = 0;
    char text_[20] = {};  // "YYYY-MM-DD HH:" of the hour
  };
  const std::string& node_text(int32_t id);
  const node_map& names_;
  bool escape_;
  hour_times first_times_, last_times_;
  node_slot nodes_[node_slots];
  // The who written last.
  bool who_valid_ = false;
  who_ptr who_cached_;
  uint32_t who_session_ = 0;
  bool who_lost_ = false;
  std::string who_text_;
};

// The members "who", "who_complete" and "sign_on" of an object.
void who_json(json_writer& w, const who_ptr& who, bool lost);
// One transaction's object, on a line of its own.
void txn_json(json_writer& w, const txn_info& x, const node_map& names);
// The warnings that a table's bound was reached (standard error, once).
void warn_txn_bound(diagnostics& diag, const char* log_name, const tag_summary& t, uint32_t max);
void warn_session_bound(diagnostics& diag, const char* log_name, const tag_summary& t,
                        uint32_t max);

}  // namespace txn_print

class txns_sink : public report_sink,
                  public audit_observer,
                  private txn_listener,
                  private session_listener {
 public:
  txns_sink(output& out, diagnostics& diag, const txns_options& o, const node_map& names);

  // Every item is validated, shown or not: a malformed record fails the run
  // as it does in every mode.
  bool wants_all_problems() const override { return true; }
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  // A gap in the series, or a log of another: the open transactions and
  // sessions end there, possibly continued in the gap.
  void series_gap(const series_gap_info& g) override;
  void flush() override;
  void finish() override;
  void audit(const tag_summary& t, const audit_event& e) override;

 private:
  void txn_done(const txn_info& x) override;
  void session_done(const session_info& s) override;
  void write(const txn_info& x);
  void write(const session_info& s);
  void write_totals();
  // Text (txns_text.cc).
  void session_text(const session_info& s);
  void sessions_total_text();
  void txns_total_text();
  // JSON (txns_json.cc).
  void session_json(const session_info& s);
  void sessions_total_json();
  void txns_total_json();

  output& out_;
  diagnostics& diag_;
  txns_options opt_;
  const node_map& names_;
  txn_print::writer text_;
  json_writer w_;
  session_table sessions_;
  txn_table txns_;
  txn_selection selection_;
  txn_ranking ranking_;
  txn_counts counts_;
  std::string log_name_ = "(input)";
  bool stopped_ = false;
  std::string line_;
};

}  // namespace jrn
