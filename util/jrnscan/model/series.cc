#include "model/series.h"

#include <cstdio>

namespace jrn {

std::string series_label(const series_key& s) {
  char l[64];
  std::snprintf(l, sizeof l, "series 0x%x generation %u", s.volume_set, s.generation);
  return l;
}

series_placement series_model::place(uint32_t volume_set, uint32_t generation,
                                     int32_t file_sequence, uint64_t log_number) {
  series_placement p;
  p.series = {volume_set, generation};
  p.file_sequence = file_sequence;
  current_log_ = nullptr;
  auto s = series_.find(p.series);
  if (s == series_.end()) {
    s = series_.emplace(p.series, series_state()).first;
    s->second.highest = file_sequence;
    p.place = series_place::first;
  } else {
    const auto read = logs_.find({p.series, file_sequence});
    const int64_t highest = s->second.highest;
    if (read != logs_.end()) {
      p.place = series_place::repeat;
      p.first_log = read->second.log_number;
      p.first_digest = read->second.digest;
      p.first_complete = read->second.complete;
    } else if (file_sequence == highest + 1) {
      p.place = series_place::next;
    } else if (file_sequence > highest) {
      p.place = series_place::after_gap;
      p.missing_from = highest + 1;
      p.missing_to = int64_t{file_sequence} - 1;
    } else {
      p.place = series_place::earlier;
      p.missing_to = highest;
    }
    if (file_sequence > s->second.highest) s->second.highest = file_sequence;
  }
  current_ = &s->second;
  if (p.place != series_place::repeat && logs_.size() < logs_remembered) {
    log_state l;
    l.log_number = log_number;
    current_log_ = &logs_.emplace(std::make_pair(p.series, file_sequence), l).first->second;
  }
  return p;
}

void series_model::log_digest(uint64_t digest) {
  if (!current_log_) return;
  current_log_->digest = digest;
  current_log_->complete = true;
}

bool series_model::first_time(const series_key& s, uint32_t* timestamp) const {
  const auto it = series_.find(s);
  if (it == series_.end() || !it->second.have_time) return false;
  *timestamp = it->second.first_time;
  return true;
}

}  // namespace jrn
