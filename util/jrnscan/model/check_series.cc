#include "model/check_series.h"

#include <algorithm>

namespace jrn {

uint64_t series_judgement::logs_with_errors() const {
  uint64_t n = 0;
  for (const check_log_record* r = begin; r != end; ++r) n += r->had_errors;
  return n;
}

check_continuity::remembered check_continuity::remember(check_log_record r,
                                                        const std::string& input_name) {
  const series_key key{r.volume_set, r.generation};
  if (records_.size() >= logs_remembered) {
    remembered said = remembered::no;
    if (remembered_all_) {
      remembered_all_ = false;
      said = remembered::full_now;
      for (const check_log_record& x : records_)
        recorded_series_.push_back(series_key{x.volume_set, x.generation});
      std::sort(recorded_series_.begin(), recorded_series_.end());
      recorded_series_.erase(std::unique(recorded_series_.begin(), recorded_series_.end()),
                             recorded_series_.end());
    }
    // A series with records must not be judged as if these logs were
    // missing; a series without any gets no line at all.
    if (std::binary_search(recorded_series_.begin(), recorded_series_.end(), key))
      ++not_remembered_[key];
    return said;
  }
  if (names_.empty() || names_.back() != input_name) names_.push_back(input_name);
  r.name = static_cast<uint32_t>(names_.size() - 1);
  records_.push_back(r);
  return remembered::yes;
}

std::string check_continuity::label(const check_log_record& r) const {
  std::string label = names_[r.name];
  if (r.log_index > 1) label += " (log " + std::to_string(r.log_index) + ")";
  return label;
}

// By series and file sequence; the copies of a file sequence stay in the
// order they were read.
void check_continuity::sort() {
  std::stable_sort(records_.begin(), records_.end(),
                   [](const check_log_record& a, const check_log_record& b) {
                     if (a.volume_set != b.volume_set) return a.volume_set < b.volume_set;
                     if (a.generation != b.generation) return a.generation < b.generation;
                     return a.file_sequence < b.file_sequence;
                   });
}

size_t check_continuity::series_end(size_t i) const {
  size_t j = i + 1;
  while (j < records_.size() && records_[j].volume_set == records_[i].volume_set &&
         records_[j].generation == records_[i].generation)
    ++j;
  return j;
}

namespace {

// Walks the records of one series, file sequence by file sequence.
class series_judge {
 public:
  series_judge(series_judgement& j, bool all_remembered) : j_(j), all_(all_remembered) {}

  void run() {
    const check_log_record* prev = nullptr;  // the first copy of the file sequence before
    for (const check_log_record* g = j_.begin; g != j_.end;) {
      const check_log_record* next = g + 1;
      while (next != j_.end && next->file_sequence == g->file_sequence) ++next;
      if (prev) between(prev, g);
      if (next - g > 1) copies(g, next);
      prev = g;
      g = next;
    }
    if (all_ && prev->how == log_end::eof_cont) {
      ++j_.warnings;
      add({series_finding::ends_cont, prev, prev});
    }
  }

 private:
  void add(const series_finding& f) { j_.findings.push_back(f); }
  static bool listed(uint64_t n) { return n <= check_continuity::listed_per_kind; }

  // The file sequence g after prev, the one read before it.
  void between(const check_log_record* prev, const check_log_record* g) {
    const int64_t from = int64_t{prev->file_sequence} + 1, to = int64_t{g->file_sequence} - 1;
    if (from <= to && all_) {
      ++j_.errors;
      ++j_.gaps;
      j_.missing += static_cast<uint64_t>(to - from + 1);
      if (j_.missing_ranges.size() < check_continuity::kept_per_kind)
        j_.missing_ranges.emplace_back(static_cast<int32_t>(from), static_cast<int32_t>(to));
      else
        ++j_.missing_omitted;
      series_finding f{series_finding::gap, prev, g};
      f.from = from;
      f.to = to;
      if (listed(j_.gaps)) add(f);
    } else if (from > to && prev->has_tags && g->has_tags) {
      if (g->first_seq != prev->last_seq + 1) {
        ++j_.warnings;
        if (listed(++j_.breaks)) add({series_finding::break_, prev, g});
      }
      if (g->first_ts < prev->last_ts) {
        ++j_.warnings;
        if (listed(++j_.backs)) add({series_finding::time_back, prev, g});
      }
    }
  }

  // Further copies [g + 1, next) of a file sequence, each against the
  // first read g.
  void copies(const check_log_record* g, const check_log_record* next) {
    ++j_.duplicated;
    series_judgement::duplicate d = {g->file_sequence, static_cast<uint32_t>(next - g), true};
    for (const check_log_record* c = g + 1; c != next; ++c) {
      const bool same = c->digest == g->digest;
      d.identical = d.identical && same;
      if (same)
        ++j_.warnings;
      else
        ++j_.errors;
      if (!listed(++j_.copies)) continue;
      series_finding f{series_finding::copy, g, c};
      f.copy_number = static_cast<uint32_t>(c - g + 1);
      f.same = same;
      add(f);
    }
    if (j_.duplicates.size() < check_continuity::kept_per_kind)
      j_.duplicates.push_back(d);
    else
      ++j_.duplicates_omitted;
  }

  series_judgement& j_;
  const bool all_;
};

}  // namespace

series_judgement check_continuity::judge(size_t i, size_t j, bool stopped) const {
  series_judgement out;
  out.begin = records_.data() + i;
  out.end = records_.data() + j;
  out.key = series_key{out.begin->volume_set, out.begin->generation};
  const auto n = not_remembered_.find(out.key);
  out.not_judged = n == not_remembered_.end() ? 0 : n->second;
  // With logs of the series not remembered, what is absent from the
  // records may have been read, and in a run that was stopped it may not
  // have been read yet: gaps and the series' end are not judged then.
  series_judge(out, out.not_judged == 0 && !stopped).run();
  return out;
}

}  // namespace jrn
