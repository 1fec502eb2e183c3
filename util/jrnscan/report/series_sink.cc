#include "report/series_sink.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace jrn {

series_sink::series_sink(std::unique_ptr<report_sink> inner, record_observer* records,
                         audit_observer* audits, diagnostics& diag, bool first_logs_unique)
    : relay_sink(std::move(inner)),
      records_(records),
      audits_(audits),
      diag_(diag),
      lines_(first_->wants_lines()),
      all_problems_(first_->wants_all_problems()),
      first_logs_unique_(first_logs_unique) {}

int series_sink::exit_status() const {
  return std::max(first_->exit_status(), differing_ ? 1 : -1);
}

std::string series_sink::log_text(uint64_t log_number) const {
  return log_number < names_.size() ? names_[log_number] : std::string("an earlier log");
}

void series_sink::begin_log(const char* log_name, const fwlog_header& h) {
  // A log is named by its input, and by its offset when it is not the
  // input's first.
  std::string name = log_name;
  if (h.start > 0) {
    char at[64];
    std::snprintf(at, sizeof at, " (the log at offset %" PRId64 ")", h.start);
    name += at;
  }
  const uint64_t number = logs_++;
  const series_placement p =
      model_.place(h.volume_set_id, h.volume_generation, h.file_sequence, number);
  if (names_.size() < series_model::logs_remembered) names_.push_back(name);
  in_log_ = true;
  digest_ = 0;
  digesting_ = !(first_logs_unique_ && first_in_input_);
  first_in_input_ = false;
  if (p.place == series_place::repeat) {
    muted_ = true;
    copy_ = p;
    copy_name_ = log_name;
    copy_offset_ = h.start;
    return;
  }
  first_->begin_log(log_name, h);
  tell_gap(p, h.start);
  have_previous_ = true;
  previous_ = p.series;
}

// The gap before a log, if it does not follow the one read before it.
void series_sink::tell_gap(const series_placement& p, int64_t offset) {
  series_gap_info g;
  g.offset = offset;
  g.volume_set = p.series.volume_set;
  g.generation = p.series.generation;
  g.have_first_time = model_.first_time(p.series, &g.first_time);
  const std::string label = series_label(p.series);
  char n[160];
  if (p.place == series_place::after_gap) {
    g.kind = series_gap_info::missing;
    if (p.missing_from == p.missing_to)
      std::snprintf(n, sizeof n, "file sequence %" PRId64 " of %s is missing", p.missing_from,
                    label.c_str());
    else
      std::snprintf(n, sizeof n, "file sequences %" PRId64 " to %" PRId64 " of %s are missing",
                    p.missing_from, p.missing_to, label.c_str());
    reason_ = n;
  } else if (p.place == series_place::earlier) {
    g.kind = series_gap_info::out_of_order;
    std::snprintf(n, sizeof n, "file sequence %d of %s is read after file sequence %" PRId64,
                  p.file_sequence, label.c_str(), p.missing_to);
    reason_ = n;
  } else if (have_previous_ && previous_ != p.series) {
    g.kind = series_gap_info::other_series;
    reason_ = "the log is of " + label + ", the log read before it of " + series_label(previous_);
  } else {
    return;
  }
  g.reason = reason_.c_str();
  first_->series_gap(g);
}

void series_sink::tag_done(const tag_summary& t) {
  if (digesting_) digest_ = digest_tag(digest_, t);
  if (muted_) return;
  model_.tag_time(t.timestamp);
  first_->tag_done(t);
}

void series_sink::end_log(log_end how, int64_t offset) {
  // A refused file header ends a log that never began.
  if (!in_log_) {
    first_->end_log(how, offset);
    return;
  }
  in_log_ = false;
  digest_ = digest_end(digest_, how);
  if (!muted_) {
    // A log not digested has no digest to compare a copy with.
    if (digesting_) model_.log_digest(digest_);
    first_->end_log(how, offset);
    return;
  }
  muted_ = false;
  const std::string first = log_text(copy_.first_log);
  first_->flush();
  const bool same = copy_.first_complete && copy_.first_digest == digest_;
  diag_.say("jrnscan: %s%s: the log at offset %" PRId64
            " is file sequence %d of %s, read before as %s, with %s\n",
            same ? "warning: " : "", copy_name_.c_str(), copy_offset_, copy_.file_sequence,
            series_label(copy_.series).c_str(), first.c_str(),
            same                   ? "the same tags: it is read once"
            : copy_.first_complete ? "other tags: the copies are not merged, this one is left out"
                                   : "tags that were not kept to compare: the copies are not "
                                     "merged, this one is left out");
  differing_ = differing_ || !same;
}

}  // namespace jrn
