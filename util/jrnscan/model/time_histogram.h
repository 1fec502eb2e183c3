// Counts per time bucket for the summary's activity histogram. Buckets are
// aligned on the local clock (or UTC): a tag's time is first turned into the
// local clock time it shows, as seconds since 1970 on that clock, so that a
// bucket of a day starts at local midnight on either side of a change of
// the clock (daylight saving time), and the hour that a change back to
// standard time repeats falls into the same buckets twice.
//
// Buckets are whole multiples of their width counted from a Monday
// midnight; the stored width grows (1 s, 10 s, 1 min, 10 min, 1 h, 6 h,
// 1 day, 1 week, 52 weeks) so that the span fits in slot_count buckets,
// and the width shown is chosen from the span.
#pragma once

#include <cstdint>
#include <vector>

namespace jrn {

class time_histogram {
 public:
  static constexpr int64_t slot_count = 4096;
  // The rows aimed at: at least min_rows where the span allows, at most
  // max_rows.
  static constexpr int64_t min_rows = 10, max_rows = 40;

  // Buckets on the UTC clock instead of the local one.
  void set_utc(bool utc) { utc_ = utc; }
  void add(uint32_t t, uint64_t n = 1) {
    if (static_cast<uint32_t>(t - cur_start_) < cur_width_) {
      *cur_ += n;
      return;
    }
    add_slow(t, n);
  }
  bool empty() const { return used_lo_ > used_hi_; }

  struct row {
    int64_t clock;  // the bucket's start on the clock it is aligned to
    int64_t start;  // the same as seconds since 1970 (UTC)
    uint64_t count;
  };
  // The buckets to show (from the first to the last one with counts,
  // empty ones between included); returns their width in seconds, 0 when
  // nothing was counted.
  int64_t rows(std::vector<row>& out) const;
  // Adds every count to other (which is on the same clock).
  void merge_into(time_histogram& other) const;
  void clear();

 private:
  void add_slow(uint32_t t, uint64_t n);
  uint64_t& slot_at(int64_t clock);
  void relayout(int64_t width, int64_t lo);
  // Seconds east of UTC at t, and the times [*from, *to) around t that
  // have the same.
  int64_t offset_at(int64_t t, int64_t* from, int64_t* to);

  bool utc_ = false;
  std::vector<uint64_t> counts_;
  int64_t width_ = 1;
  int64_t lo_ = 0;  // bucket number of counts_[0]
  int64_t used_lo_ = 1, used_hi_ = 0;
  // The times (UTC) that fall into the bucket met last: a width of 0
  // caches nothing.
  uint32_t cur_start_ = 0, cur_width_ = 0;
  uint64_t* cur_ = nullptr;
  // The last offset from UTC looked up, and the times it holds for.
  int64_t zone_from_ = 0, zone_to_ = 0, zone_offset_ = 0;
};

}  // namespace jrn
