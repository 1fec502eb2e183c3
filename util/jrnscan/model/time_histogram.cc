#include "model/time_histogram.h"

#include <algorithm>
#include <ctime>
#include <iterator>

namespace jrn {

namespace {

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Bucket numbers count from Monday 1970-01-05 00:00 on the clock, so that
// buckets of a day or a week start at midnight and on Mondays.
constexpr int64_t bucket_origin = 4 * 86400;

constexpr int64_t week = 7 * 86400;
// The widths the counts are kept in: each divides the next.
constexpr int64_t stored_widths[] = {1, 10, 60, 600, 3600, 21600, 86400, week, 52 * week};
// The widths a histogram is shown in: successive ones differ by four
// times at most, so that a span that needs more than 40 rows in one needs
// at least 10 in the next.
constexpr int64_t shown_widths[] = {
    1,          2,          5,          10,          20,          30,         60,        120,
    300,        600,        1200,       1800,        3600,        7200,       10800,     21600,
    43200,      86400,      172800,     week,        2 * week,    4 * week,   13 * week, 52 * week,
    104 * week, 260 * week, 520 * week, 1040 * week, 2600 * week, 5200 * week};

// Seconds east of UTC of the local time at t.
int64_t local_offset(int64_t t) {
  const time_t wide = static_cast<time_t>(t);
  struct tm tm;
  return localtime_r(&wide, &tm) ? tm.tm_gmtoff : 0;
}

// The time (UTC) at which the local clock shows `clock` (seconds since 1970
// on that clock). A clock time shown twice (the clock was put back) gives
// the first; one the clock skips, the moment it jumps past it. The offset
// is taken to change at most once in the two days around.
int64_t utc_of_local(int64_t clock) {
  const int64_t a = clock - local_offset(clock - 86400), b = clock - local_offset(clock + 86400);
  const bool a_shows = a + local_offset(a) == clock, b_shows = b + local_offset(b) == clock;
  if (a_shows && b_shows) return std::min(a, b);
  if (a_shows) return a;
  if (b_shows) return b;
  // The first moment whose clock time is past `clock`.
  int64_t lo = std::min(a, b), hi = std::max(a, b);
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (mid + local_offset(mid) > clock ? hi : lo) = mid;
  }
  return hi;
}

}  // namespace

int64_t time_histogram::offset_at(int64_t t, int64_t* from, int64_t* to) {
  if (t >= zone_from_ && t < zone_to_) {
    *from = zone_from_;
    *to = zone_to_;
    return zone_offset_;
  }
  // A zone's offset changes a few times a year at most: a day (or an hour)
  // whose ends have t's offset has it throughout.
  const int64_t offset = local_offset(t);
  int64_t lo = t, hi = t + 1;
  for (int64_t span : {int64_t{86400}, int64_t{3600}}) {
    const int64_t s = t - (t % span);
    if (local_offset(s) == offset && local_offset(s + span - 1) == offset) {
      lo = s;
      hi = s + span;
      break;
    }
  }
  zone_from_ = *from = lo;
  zone_to_ = *to = hi;
  zone_offset_ = offset;
  return offset;
}

void time_histogram::relayout(int64_t width, int64_t lo) {
  std::vector<uint64_t> counts(slot_count, 0);
  const int64_t factor = width / width_;
  if (!counts_.empty()) {
    for (int64_t b = used_lo_; b <= used_hi_; ++b) {
      const uint64_t n = counts_[b - lo_];
      if (n != 0) counts[floor_div(b, factor) - lo] += n;
    }
  }
  counts_.swap(counts);
  if (!empty()) {
    used_lo_ = floor_div(used_lo_, factor);
    used_hi_ = floor_div(used_hi_, factor);
  }
  width_ = width;
  lo_ = lo;
  cur_width_ = 0;  // the cached bucket moved
}

uint64_t& time_histogram::slot_at(int64_t x) {
  int64_t b = floor_div(x - bucket_origin, width_);
  if (empty()) {
    relayout(width_, b);
    used_lo_ = used_hi_ = b;
  } else if (b < lo_ || b >= lo_ + slot_count) {
    int64_t first = std::min(used_lo_, b), last = std::max(used_hi_, b);
    int64_t width = width_;
    size_t level = 0;
    while (stored_widths[level] != width) ++level;
    // Wider buckets until the whole span fits.
    while (last - first >= slot_count && level + 1 < std::size(stored_widths)) {
      const int64_t factor = stored_widths[level + 1] / width;
      first = floor_div(first, factor);
      last = floor_div(last, factor);
      width = stored_widths[++level];
    }
    // Moving down: the counts go to the top of the window, so that times
    // that keep going back fit for a while.
    const int64_t lo =
        b < used_lo_ ? std::max(last - (slot_count - 1), first - slot_count / 4) : first;
    relayout(width, std::min(lo, first));
    b = floor_div(x - bucket_origin, width_);
    used_lo_ = std::min(used_lo_, b);
    used_hi_ = std::max(used_hi_, b);
  } else {
    used_lo_ = std::min(used_lo_, b);
    used_hi_ = std::max(used_hi_, b);
  }
  return counts_[b - lo_];
}

void time_histogram::add_slow(uint32_t t, uint64_t n) {
  int64_t from = 0, to = int64_t{1} << 32;
  const int64_t offset = utc_ ? 0 : offset_at(t, &from, &to);
  const int64_t x = int64_t{t} + offset;
  uint64_t& slot = slot_at(x);
  slot += n;
  // Cached for the times that share the bucket and the offset.
  const int64_t bucket = bucket_origin + floor_div(x - bucket_origin, width_) * width_ - offset;
  const int64_t start = std::max({bucket, from, int64_t{0}});
  const int64_t end = std::min({bucket + width_, to, int64_t{1} << 32});
  cur_start_ = static_cast<uint32_t>(start);
  cur_width_ = static_cast<uint32_t>(end - start);
  cur_ = &slot;
}

int64_t time_histogram::rows(std::vector<row>& out) const {
  out.clear();
  if (empty()) return 0;
  int64_t width = 0, factor = 1, first = 0, last = 0;
  for (int64_t w : shown_widths) {
    if (w < width_ || w % width_ != 0) continue;
    width = w;
    factor = w / width_;
    first = floor_div(used_lo_, factor);
    last = floor_div(used_hi_, factor);
    if (last - first + 1 <= max_rows) break;
  }
  for (int64_t k = first; k <= last; ++k) {
    uint64_t n = 0;
    const int64_t from = std::max(k * factor, used_lo_),
                  to = std::min((k + 1) * factor, used_hi_ + 1);
    for (int64_t b = from; b < to; ++b) n += counts_[b - lo_];
    const int64_t clock = bucket_origin + k * width;
    out.push_back({clock, utc_ ? clock : utc_of_local(clock), n});
  }
  return width;
}

void time_histogram::merge_into(time_histogram& other) const {
  if (empty()) return;
  for (int64_t b = used_lo_; b <= used_hi_; ++b) {
    const uint64_t n = counts_[b - lo_];
    if (n != 0) other.slot_at(bucket_origin + b * width_) += n;
  }
  other.cur_width_ = 0;
}

void time_histogram::clear() {
  std::vector<uint64_t>().swap(counts_);
  width_ = 1;
  lo_ = 0;
  used_lo_ = 1;
  used_hi_ = 0;
  cur_width_ = 0;
  cur_ = nullptr;
}

}  // namespace jrn
