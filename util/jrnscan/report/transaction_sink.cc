#include "report/transaction_sink.h"

#include <utility>

#include "report/cut_mark.h"
#include "scan/format.h"

namespace jrn {

transaction_sink::transaction_sink(std::unique_ptr<report_sink> report, output& out,
                                   diagnostics& diag, const node_map& names, uint32_t id,
                                   const txns_options& o)
    : relay_sink(std::move(report)),
      out_(out),
      diag_(diag),
      names_(names),
      id_(id),
      opt_(o),
      text_(names, o.utc, o.escape),
      w_(out),
      sessions_(nullptr, o.max_sessions, false, false, false),
      txns_(*this, o.max_txns, &sessions_, true, id) {
  sessions_.on_full = [this](const tag_summary& t) {
    txn_print::warn_session_bound(diag_, log_name_.c_str(), t, opt_.max_sessions);
  };
  txns_.on_full = [this](const tag_summary& t) {
    txn_print::warn_txn_bound(diag_, log_name_.c_str(), t, opt_.max_txns);
  };
}

// A log's header is shown before its first tag of the transaction.
void transaction_sink::begin_log(const char* log_name, const fwlog_header& h) {
  log_name_ = log_name;
  txns_.set_log(log_name);
  sessions_.set_log(log_name);
  header_ = h;
  header_pending_ = true;
}

void transaction_sink::write_who(uint32_t session, const who_ptr& who, bool lost) {
  if (opt_.json) {
    w_.begin_object();
    w_.ascii(json_key("type"), "who");
    w_.u64(json_key("transaction_id"), id_);
    w_.u64(json_key("session_id"), session);
    txn_print::who_json(w_, who, lost);
    w_.end_object();
    w_.end_line();
  } else {
    line_ = "transaction " + std::to_string(id_) + ": ";
    if (who) line_ += "session " + std::to_string(session) + ", ";
    text_.who(line_, session, who, lost);
    line_ += '\n';
    out_.write(line_.data(), line_.size());
  }
  who_written_ = true;
}

void transaction_sink::show_tag(const tag_summary& t) {
  // The filters show the records and before-images of the id, and the end
  // tags, which are not the transaction's; nor is a record of state GLOBAL,
  // which belongs to no transaction.
  passing_ =
      ((t.is_record && t.txn_state != txn_state::global) || t.letter == tag_letter::before_image) &&
      t.transaction_id == id_;
  if (!passing_) return;
  shown_ = t;
  shown_.payload = nullptr;  // valid only while the tag is read
  if (!who_written_)
    write_who(t.session_id, sessions_.who(t.session_id), sessions_.may_have_lost(t.session_id));
  if (header_pending_) {
    first_->begin_log(log_name_.c_str(), header_);
    header_pending_ = false;
  }
  first_->show_tag(t);
}

void transaction_sink::tag_done(const tag_summary& t) {
  // The report back-end closes what it opened (a JSON object) and forgets
  // what it kept for a tag it did not show.
  first_->tag_done(t);
  passing_ = false;
  txns_.tag(t);
}

void transaction_sink::audit(const tag_summary& t, const audit_event& e) { sessions_.audit(t, e); }

void transaction_sink::end_log(log_end how, int64_t offset) {
  first_->end_log(how, offset);
  // A tag of the transaction cut short was shown: it counts in the
  // transaction, whose line then follows.
  if (passing_) txns_.tag(shown_);
  passing_ = false;
  stopped_ = how == log_end::stopped;
  txns_.end_log(how);
  sessions_.end_log(how);
}

void transaction_sink::series_gap(const series_gap_info&) {
  txns_.cut();
  sessions_.cut();
}

void transaction_sink::txn_done(const txn_info& x) {
  if (!who_written_) write_who(x.session, x.who, x.sign_on_lost);
  ++found_;
  if (opt_.json) {
    txn_print::txn_json(w_, x, names_);
  } else {
    out_.put('\n');
    text_.txn(out_, x);
    out_.put('\n');
  }
  who_written_ = false;
}

void transaction_sink::finish() {
  txns_.finish(stopped_);
  first_->finish();
  if (opt_.json) {
    w_.begin_object();
    w_.ascii(json_key("type"), "transaction_total");
    w_.u64(json_key("transaction_id"), id_);
    w_.u64(json_key("transactions"), found_);
    cut_keys(diag_, w_);
    w_.end_object();
    w_.end_line();
  } else {
    line_.clear();
    if (found_ == 0) line_ = "transaction " + std::to_string(id_) + ": not in the input\n";
    cut_line(diag_, line_);
    out_.write(line_.data(), line_.size());
  }
  out_.flush();
}

}  // namespace jrn
