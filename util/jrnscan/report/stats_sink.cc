#include "report/stats_sink.h"

#include <langinfo.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <new>

#include "log/scan.h"
#include "records/opcodes.h"
#include "report/json_sink.h"
#include "report/out.h"
#include "scan/keyed_hash.h"
#include "scan/time_text.h"

namespace jrn {

namespace stats_detail {

namespace {

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Bucket numbers count from Monday 1970-01-05 00:00 (local time), so that
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

}  // namespace

// Keys come in runs (transaction ids count up): sixteen neighbouring keys
// share a block of slots, placed by the keyed hash, so that a run fills
// slots one behind the other instead of one cache line each.
void* map_zeroed(size_t bytes, size_t* mapped) {
  constexpr size_t huge = size_t{2} << 20;
  if (bytes < huge) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    *mapped = bytes;
    return p;
  }
  // Huge pages need a start on a 2 MiB boundary: the excess is given back.
  const size_t want = (bytes + huge - 1) / huge * huge;
  void* p = mmap(nullptr, want + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + huge - 1) & ~(uintptr_t{huge} - 1);
  if (aligned > start) munmap(p, aligned - start);
  if (aligned + want < start + want + huge)
    munmap(reinterpret_cast<void*>(aligned + want), start + want + huge - (aligned + want));
  madvise(reinterpret_cast<void*>(aligned), want, MADV_HUGEPAGE);
  *mapped = want;
  return reinterpret_cast<void*>(aligned);
}

void unmap(void* p, size_t mapped) {
  if (p) munmap(p, mapped);
}

// Keys come in runs (transaction ids count up): sixteen neighbouring keys
// share a block of slots, placed by the keyed hash, so that a run fills
// slots one behind the other instead of one cache line each. The table
// has any whole number of blocks (scaled by multiplication, not a mask),
// so that it can be sized to what it is expected to hold.
template <typename Entry, typename Key>
size_t capped_table<Entry, Key>::slot_of(Key key) const {
  const uint64_t k = static_cast<uint64_t>(key);
  const uint64_t blocks = slots_.size() / block;
  const uint64_t b = static_cast<uint64_t>(
      (static_cast<unsigned __int128>(hash_mix((k >> 4) ^ seed_)) * blocks) >> 64);
  return static_cast<size_t>(b * block + (k & (block - 1)));
}

template <typename Entry, typename Key>
void capped_table<Entry, Key>::resize(size_t slots) {
  ++moves_;
  slot_array<Entry> old;
  old.swap(slots_);
  slot_array<Entry> bigger((slots + block - 1) / block * block);
  slots_.swap(bigger);
  for (const Entry& e : old) {
    if (e.key == 0) continue;
    size_t s = slot_of(e.key);
    while (slots_[s].key != 0) s = s + 1 == slots_.size() ? 0 : s + 1;
    slots_[s] = e;
  }
}

template <typename Entry, typename Key>
Entry* capped_table<Entry, Key>::add(Key key, bool* added) {
  *added = false;
  if (slots_.empty()) resize(1024);
  for (;;) {
    const size_t n = slots_.size();
    for (size_t s = slot_of(key);; s = s + 1 == n ? 0 : s + 1) {
      Entry& e = slots_[s];
      if (e.key == key) return &e;
      if (e.key != 0) continue;
      if (count_ >= cap_) {
        capped_ = true;
        return nullptr;
      }
      // At most three slots in four are used, which keeps the probe runs
      // short.
      if ((count_ + 1) * 4 > n * 3) break;
      e.key = key;
      ++count_;
      *added = true;
      return &e;
    }
    resize(slots_.size() * 2);
  }
}

template <typename Entry, typename Key>
void capped_table<Entry, Key>::reserve(size_t keys) {
  keys = std::min(keys, cap_);
  if (slots_.size() * 3 < keys * 4) resize(keys * 4 / 3 + block);
}

template <typename Entry, typename Key>
Entry* capped_table<Entry, Key>::find(Key key) {
  if (slots_.empty()) return nullptr;
  const size_t n = slots_.size();
  for (size_t s = slot_of(key);; s = s + 1 == n ? 0 : s + 1) {
    Entry& e = slots_[s];
    if (e.key == key) return &e;
    if (e.key == 0) return nullptr;
  }
}

template <typename Entry, typename Key>
void capped_table<Entry, Key>::clear() {
  slot_array<Entry>().swap(slots_);
  ++moves_;
  count_ = 0;
  capped_ = false;
}

template class capped_table<node_entry, uint32_t>;
template class capped_table<txn_entry, uint32_t>;
template class capped_table<pair_entry, uint64_t>;

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

void time_histogram::add_local(int64_t x, uint64_t n) {
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
  uint64_t& slot = counts_[b - lo_];
  slot += n;
  // Cached unless it reaches outside the times a tag can have.
  const int64_t start = bucket_origin + b * width_ - offset_;
  const bool cacheable = start >= 0 && start + width_ <= (int64_t{1} << 32);
  cur_start_ = cacheable ? static_cast<uint32_t>(start) : 0;
  cur_width_ = cacheable ? static_cast<uint32_t>(width_) : 0;
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
    out.push_back({bucket_origin + k * width - offset_, n});
  }
  return width;
}

void time_histogram::merge_into(time_histogram& other) const {
  if (empty()) return;
  for (int64_t b = used_lo_; b <= used_hi_; ++b) {
    const uint64_t n = counts_[b - lo_];
    if (n != 0) other.add_local(bucket_origin + b * width_, n);
  }
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

summary::summary(uint64_t seed)
    : nodes(seed, stats_sink::max_nodes),
      txns(seed ^ 0x5bd1e995u, stats_sink::max_transactions),
      pairs(seed ^ 0x27d4eb2full, stats_sink::max_pairs) {}

void summary::clear() {
  logs = 0;
  any_tag = false;
  first_seq = last_seq = first_ts = last_ts = 0;
  malformed = 0;
  header_bytes = bytes_read = 0;
  filtered_tags = 0;
  filtered_bytes = 0;
  std::memset(kind_count, 0, sizeof kind_count);
  std::memset(kind_bytes, 0, sizeof kind_bytes);
  std::memset(op_count, 0, sizeof op_count);
  std::memset(op_bytes, 0, sizeof op_bytes);
  no_node = dropped_node = node_entry();
  no_txn = dropped_txn = txn_entry();
  nodes.clear();
  txns.clear();
  pairs.clear();
  pairs_capped = false;
  histogram.clear();
}

uint64_t summary::counted_tags() const {
  uint64_t n = 0;
  for (uint64_t k : kind_count) n += k;
  return n;
}

int64_t summary::counted_bytes() const {
  int64_t n = 0;
  for (int64_t b : kind_bytes) n += b;
  return n;
}

namespace {

// A node that is neither of the transaction's first two.
void note_other_node(summary& s, txn_entry& e, int32_t node) {
  // Node 0 names no node; an entry with key 0 counts records outside the
  // table.
  if (node == 0 || e.key == 0) return;
  if (e.node_a == 0) {
    e.node_a = node;
    ++e.nodes;
    return;
  }
  if (e.node_b == 0) {
    e.node_b = node;
    ++e.nodes;
    return;
  }
  bool added;
  const uint64_t key = static_cast<uint64_t>(e.key) << 32 | static_cast<uint32_t>(node);
  if (!s.pairs.add(key, &added))
    s.pairs_capped = true;
  else if (added)
    ++e.nodes;
}

// Counts the node of a transaction's record when it is a further one.
inline void note_node(summary& s, txn_entry& e, int32_t node) {
  // Mostly one of the first two (or 0 while they are unset). The product
  // is 0 exactly when one of the differences is, which tests both with
  // one branch that the order of the nodes does not steer.
  const uint64_t a = static_cast<uint32_t>(node) ^ static_cast<uint32_t>(e.node_a);
  const uint64_t b = static_cast<uint32_t>(node) ^ static_cast<uint32_t>(e.node_b);
  if (__builtin_expect(a * b == 0, 1)) return;
  note_other_node(s, e, node);
}

}  // namespace

}  // namespace stats_detail

using stats_detail::node_entry;
using stats_detail::pair_entry;
using stats_detail::time_histogram;
using stats_detail::txn_entry;

namespace {

// Columns of standard output: its terminal's width, 80 otherwise.
int terminal_columns() {
  struct winsize ws;
  if (isatty(1) && ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

bool utf8_name(const char* s) {
  if (!s) return false;
  for (; *s; ++s)
    if (strncasecmp(s, "utf-8", 5) == 0 || strncasecmp(s, "utf8", 4) == 0) return true;
  return false;
}

// Whether the user's character type locale is UTF-8 (the locale of the
// program is left as it was).
bool utf8_locale() {
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = current ? current : "C";
  bool utf8 = false;
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    utf8 = utf8_name(nl_langinfo(CODESET));
    std::setlocale(LC_CTYPE, saved.c_str());
  } else {
    // A locale that is not installed: what its name says.
    const char* name = std::getenv("LC_ALL");
    if (!name || !*name) name = std::getenv("LC_CTYPE");
    if (!name || !*name) name = std::getenv("LANG");
    utf8 = utf8_name(name);
  }
  return utf8;
}

}  // namespace

const char* log_end_text(log_end how) {
  switch (how) {
    case log_end::eof_finish: return "end tag EOF_FINISH";
    case log_end::eof_cont: return "end tag EOF_CONT";
    case log_end::next_log: return "a further log began without an end tag";
    case log_end::input_between: return "end of input between tags, without an end tag";
    case log_end::input_inside: return "end of input inside a tag";
    case log_end::unknown_letter: return "an unrecognized tag letter";
    case log_end::read_failure: return "a read failure";
    case log_end::header_failure: return "the file header was refused";
    case log_end::body_failure: return "a tag body that could not be read";
    case log_end::stopped: return "the run stopped (--limit or a signal)";
  }
  return "?";
}

namespace {

const char* end_key(log_end how) {
  switch (how) {
    case log_end::eof_finish: return "eof_finish";
    case log_end::eof_cont: return "eof_cont";
    case log_end::next_log: return "next_log";
    case log_end::input_between: return "input_between";
    case log_end::input_inside: return "input_inside";
    case log_end::unknown_letter: return "unknown_letter";
    case log_end::read_failure: return "read_failure";
    case log_end::header_failure: return "header_failure";
    case log_end::body_failure: return "body_failure";
    case log_end::stopped: return "stopped";
  }
  return "?";
}

bool letter_known(unsigned letter) {
  return tag_kind_of(static_cast<uint8_t>(letter)).handler || letter == 'C' || letter == 'F';
}

// "01:02:03", or "2d 01:02:03".
std::string duration_text(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  const long long d = seconds / 86400, h = seconds / 3600 % 24, m = seconds / 60 % 60,
                  s = seconds % 60;
  if (d > 0)
    std::snprintf(buf, sizeof buf, "%lldd %02lld:%02lld:%02lld", d, h, m, s);
  else
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", h, m, s);
  return buf;
}

std::string width_text(int64_t w) {
  char buf[48];
  struct unit {
    int64_t seconds;
    const char* one;
    const char* many;
  };
  static const unit units[] = {{7 * 86400, "week", "weeks"},
                               {86400, "day", "days"},
                               {3600, "h", "h"},
                               {60, "min", "min"},
                               {1, "s", "s"}};
  for (const unit& u : units) {
    if (w % u.seconds != 0) continue;
    const long long n = w / u.seconds;
    std::snprintf(buf, sizeof buf, "%lld %s", n, n == 1 ? u.one : u.many);
    return buf;
  }
  return "?";
}

double share(int64_t part, int64_t whole) {
  return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

void out_json_string(const char* s, size_t n, std::string& scratch) {
  scratch.assign(1, '"');
  append_json_string(s, n, scratch);
  scratch += '"';
  out_write(scratch.data(), scratch.size());
}

// Time as the JSON keys give it: ISO 8601 UTC and seconds.
void out_json_time(const char* key, const char* stamp_key, uint32_t t) {
  out_printf(",\"%s\":\"%s\",\"%s\":%u", key, format_iso_utc(t).c_str(), stamp_key, t);
}

template <typename Entry>
std::vector<const Entry*> top_entries(const stats_detail::slot_array<Entry>& slots, uint32_t top) {
  std::vector<const Entry*> all;
  for (const Entry& e : slots)
    if (e.key != 0) all.push_back(&e);
  auto before = [](const Entry* a, const Entry* b) {
    if (a->records != b->records) return a->records > b->records;
    return static_cast<int32_t>(a->key) < static_cast<int32_t>(b->key);
  };
  const size_t n = std::min<size_t>(top, all.size());
  std::partial_sort(all.begin(), all.begin() + n, all.end(), before);
  all.resize(n);
  return all;
}

}  // namespace

stats_sink::stats_sink(const stats_options& o, const node_map& names)
    : opt_(o),
      names_(names),
      progress_(o.progress),
      log_(random_hash_key()),
      total_(random_hash_key()) {}

void stats_sink::begin_input(const char* name, int64_t size) {
  input_size_ = size;
  input_name_ = name;
  input_base_ = 0;
  log_index_ = 0;
  progress_.begin_input(name, size);
}

void stats_sink::start_log() {
  if (log_.logs != 0) merge_log_into_total();
  log_.logs = 1;
  ++log_index_;
  // A transaction takes a few kilobytes of a busy log: a table that large
  // is made at once rather than moved over and over as it fills.
  if (log_index_ == 1 && input_size_ > 0)
    log_.txns.reserve(static_cast<size_t>(input_size_ / 4096));
  log_open_ = true;
  have_header_ = false;
  recent_txns_.forget(log_.txns.moves(), &log_.no_txn);
  recent_nodes_.forget(log_.nodes.moves(), &log_.no_node);
}

void stats_sink::begin_log(const char* log_name, const fwlog_header& h) {
  input_name_ = log_name;
  start_log();
  have_header_ = true;
  header_ = h;
  log_.header_bytes = h.bytes;
}

node_entry* stats_sink::node_entry_of(uint32_t node) {
  summary& s = log_;
  node_entry* e = &s.no_node;
  if (node != 0) {
    bool added;
    e = s.nodes.add(node, &added);
    if (s.nodes.moves() != recent_nodes_.moves) recent_nodes_.forget(s.nodes.moves(), &s.no_node);
    if (!e) e = &s.dropped_node;
  }
  recent_nodes_.of(node) = {node, e};
  return e;
}

txn_entry* stats_sink::txn_entry_of(uint32_t id, uint32_t timestamp) {
  summary& s = log_;
  txn_entry* e = &s.no_txn;
  if (id != 0) {
    bool added;
    e = s.txns.add(id, &added);
    if (s.txns.moves() != recent_txns_.moves) recent_txns_.forget(s.txns.moves(), &s.no_txn);
    if (!e)
      e = &s.dropped_txn;
    else if (added)
      e->first_ts = timestamp;
  }
  recent_txns_.of(id) = {id, e};
  return e;
}

// Per record: the entries of its node and transaction come from the recent
// ones nearly always, and the counting itself has no branch that the data
// steer.
inline void stats_sink::count_record(const tag_summary& t) {
  summary& s = log_;
  ++s.op_count[t.opcode];
  s.op_bytes[t.opcode] += t.bytes;
  const uint32_t node = static_cast<uint32_t>(t.node_id);
  const auto& ns = recent_nodes_.of(node);
  node_entry* n = ns.key == node ? ns.entry : node_entry_of(node);
  ++n->records;
  n->bytes += t.bytes;
  const uint32_t id = t.transaction_id;
  const auto& ts = recent_txns_.of(id);
  txn_entry* e = ts.key == id ? ts.entry : txn_entry_of(id, t.timestamp);
  ++e->records;
  e->last_ts = t.timestamp;
  stats_detail::note_node(s, *e, t.node_id);
}

void stats_sink::tag_done(const tag_summary& t) {
  summary& s = log_;
  if (!s.any_tag) {
    s.any_tag = true;
    s.first_seq = t.sequence;
    s.first_ts = t.timestamp;
    if (!offset_known_) {
      // Buckets align to local time as of the first tag of the run.
      offset_known_ = true;
      if (!opt_.utc) {
        time_t wide = static_cast<time_t>(t.timestamp);
        struct tm tm;
        if (localtime_r(&wide, &tm)) local_offset_ = tm.tm_gmtoff;
      }
      log_.histogram.set_offset(local_offset_);
      total_.histogram.set_offset(local_offset_);
    }
  }
  s.last_seq = t.sequence;
  s.last_ts = t.timestamp;
  if (t.shown) {
    ++s.kind_count[t.letter];
    s.kind_bytes[t.letter] += t.bytes;
    s.histogram.add(t.timestamp);
    if (t.is_record) count_record(t);
  } else {
    ++s.filtered_tags;
    s.filtered_bytes += t.bytes;
  }
  progress_.tick(input_base_ + t.offset + t.bytes);
}

void stats_sink::problem(problem_kind kind, int64_t, const char*) {
  if (kind == problem_kind::malformed) ++log_.malformed;
}

void stats_sink::end_log(log_end how, int64_t offset) {
  // A run stopped before a further log's header read nothing of it.
  if (!log_open_ && how == log_end::stopped) return;
  if (!log_open_) start_log();
  log_open_ = false;
  end_how_ = how;
  log_.bytes_read = offset;
  input_base_ += offset;
  progress_.clear();
  if (opt_.json) {
    out_str(json_started_ ? ",\n" : "{\"logs\":[\n");
    json_started_ = true;
    print_json(log_, false);
  } else {
    print_text(log_, false);
  }
}

void stats_sink::merge_log_into_total() {
  summary& t = total_;
  const summary& s = log_;
  if (s.any_tag) {
    if (!t.any_tag) {
      t.any_tag = true;
      t.first_seq = s.first_seq;
      t.first_ts = s.first_ts;
    }
    t.last_seq = s.last_seq;
    t.last_ts = s.last_ts;
  }
  total_used_ = true;
  t.logs += s.logs;
  t.malformed += s.malformed;
  t.header_bytes += s.header_bytes;
  t.bytes_read += s.bytes_read;
  t.filtered_tags += s.filtered_tags;
  t.filtered_bytes += s.filtered_bytes;
  for (int i = 0; i < 256; ++i) {
    t.kind_count[i] += s.kind_count[i];
    t.kind_bytes[i] += s.kind_bytes[i];
    t.op_count[i] += s.op_count[i];
    t.op_bytes[i] += s.op_bytes[i];
  }
  t.no_node.records += s.no_node.records;
  t.no_node.bytes += s.no_node.bytes;
  t.dropped_node.records += s.dropped_node.records;
  t.dropped_node.bytes += s.dropped_node.bytes;
  t.no_txn.records += s.no_txn.records;
  t.dropped_txn.records += s.dropped_txn.records;
  bool added;
  for (const node_entry& e : s.nodes.slots()) {
    if (e.key == 0) continue;
    node_entry* n = t.nodes.add(e.key, &added);
    if (!n) n = &t.dropped_node;
    n->records += e.records;
    n->bytes += e.bytes;
  }
  for (const txn_entry& e : s.txns.slots()) {
    if (e.key == 0) continue;
    txn_entry* x = t.txns.add(e.key, &added);
    if (!x) {
      t.dropped_txn.records += e.records;
      continue;
    }
    if (added) x->first_ts = e.first_ts;
    x->last_ts = e.last_ts;
    x->records += e.records;
    if (e.node_a) stats_detail::note_node(t, *x, e.node_a);
    if (e.node_b) stats_detail::note_node(t, *x, e.node_b);
  }
  for (const pair_entry& e : s.pairs.slots()) {
    if (e.key == 0) continue;
    if (txn_entry* x = t.txns.find(static_cast<uint32_t>(e.key >> 32)))
      stats_detail::note_node(t, *x, static_cast<int32_t>(static_cast<uint32_t>(e.key)));
  }
  if (s.pairs_capped) t.pairs_capped = true;
  s.histogram.merge_into(t.histogram);
  log_.clear();
}

namespace {

struct bar_style {
  bool utf8;
  // The block of n eighths (1 to 8).
  const char* block(int n) const {
    static const char* const eighths[] = {"",       "\u258f", "\u258e", "\u258d", "\u258c",
                                          "\u258b", "\u258a", "\u2589", "\u2588"};
    return eighths[n];
  }
};

void print_histogram(const time_histogram& h, bool utc) {
  std::vector<time_histogram::row> rows;
  const int64_t width = h.rows(rows);
  if (width == 0) return;
  uint64_t widest = 0;
  for (const auto& r : rows) widest = std::max(widest, r.count);
  char count_text[24];
  const int count_width =
      std::snprintf(count_text, sizeof count_text, "%llu", static_cast<unsigned long long>(widest));
  out_printf("\n  activity: counted tags per %s (%zu %s)\n", width_text(width).c_str(), rows.size(),
             plural(rows.size(), "row", "rows"));
  // "    <time>  <count>  <bar>"
  const int prefix = 4 + 19 + 2 + count_width + 2;
  const int bar_cols = std::max(10, terminal_columns() - prefix - 1);
  const bar_style style{utf8_locale()};
  time_formatter times(utc);
  std::string bar;
  for (const auto& r : rows) {
    const uint32_t start = r.start < 0            ? 0
                           : r.start > UINT32_MAX ? UINT32_MAX
                                                  : static_cast<uint32_t>(r.start);
    bar.clear();
    if (r.count != 0) {
      // In eighths of a column; a row with counts shows at least one.
      const double units = style.utf8 ? 8.0 : 1.0;
      int64_t n = static_cast<int64_t>(
          static_cast<double>(r.count) * bar_cols * units / static_cast<double>(widest) + 0.5);
      if (n < 1) n = 1;
      if (style.utf8) {
        for (int64_t i = 0; i < n / 8; ++i) bar += style.block(8);
        bar += style.block(static_cast<int>(n % 8));
      } else {
        bar.append(static_cast<size_t>(n), '#');
      }
    }
    out_printf("    %-19s  %*llu  %s\n", times(start), count_width,
               static_cast<unsigned long long>(r.count), bar.c_str());
  }
}

}  // namespace

void stats_sink::print_text(const summary& s, bool is_total) {
  if (is_total) {
    out_printf("\nAll %llu logs\n", static_cast<unsigned long long>(s.logs));
  } else {
    out_printf("\nLog: %s", input_name_.c_str());
    if (log_index_ > 1) out_printf(" (log %u of the input)", log_index_);
    out_char('\n');
    if (have_header_)
      out_printf("  signature %.10s, version %d.%02d, file sequence %d\n", header_.signature,
                 header_.major, header_.minor, header_.file_sequence);
  }
  time_formatter times(opt_.utc);
  if (s.any_tag) {
    out_printf("  %llu %s, sequence %u to %u\n", static_cast<unsigned long long>(s.tags()),
               plural(s.tags(), "tag", "tags"), s.first_seq, s.last_seq);
    const std::string first = times(s.first_ts);
    out_printf("  time %s to %s (%s)\n", first.c_str(), times(s.last_ts),
               duration_text(static_cast<int64_t>(s.last_ts) - s.first_ts).c_str());
  } else {
    out_str("  no tags\n");
  }
  if (!is_total)
    out_printf("  ended by %s at offset %lld\n", log_end_text(end_how_),
               static_cast<long long>(s.bytes_read));
  out_printf("  malformed items: %llu\n", static_cast<unsigned long long>(s.malformed));

  // The byte identity.
  const int64_t counted = s.counted_bytes();
  const int64_t cut = s.bytes_read - s.header_bytes - s.tag_bytes();
  const unsigned long long counted_tags = s.counted_tags();
  out_printf("\n  %-26s %16lld\n", "bytes read", static_cast<long long>(s.bytes_read));
  out_printf("    %-24s %16lld\n", "file header", static_cast<long long>(s.header_bytes));
  out_printf("    %-24s %16lld  (%llu %s)\n", "tags counted", static_cast<long long>(counted),
             counted_tags, plural(counted_tags, "tag", "tags"));
  out_printf("    %-24s %16lld  (%llu %s)\n", "tags filtered out",
             static_cast<long long>(s.filtered_bytes),
             static_cast<unsigned long long>(s.filtered_tags),
             plural(s.filtered_tags, "tag", "tags"));
  out_printf("    %-24s %16lld\n", "cut short at the end", static_cast<long long>(cut));

  // Tag kinds and record opcodes.
  char label[64];
  uint64_t kinds_total = 0;
  for (uint64_t n : s.kind_count) kinds_total += n;
  if (kinds_total != 0) {
    out_printf("\n  %-26s %12s %16s %7s\n", "tag kind", "count", "bytes", "share");
    for (unsigned letter = 0; letter < 256; ++letter) {
      if (s.kind_count[letter] == 0) continue;
      if (letter_known(letter))
        std::snprintf(label, sizeof label, "%c %s", letter,
                      tag_kind_of(static_cast<uint8_t>(letter)).name);
      else
        std::snprintf(label, sizeof label, "0x%02x (unrecognized)", letter);
      out_printf("    %-24s %12llu %16lld %6.1f%%\n", label,
                 static_cast<unsigned long long>(s.kind_count[letter]),
                 static_cast<long long>(s.kind_bytes[letter]),
                 100.0 * share(s.kind_bytes[letter], counted));
    }
    out_printf("    %-24s %12llu %16lld %6.1f%%\n", "total",
               static_cast<unsigned long long>(kinds_total), static_cast<long long>(counted),
               counted > 0 ? 100.0 : 0.0);
  } else {
    out_str("\n  no tags counted\n");
  }
  uint64_t records = 0;
  int64_t record_bytes = 0;
  for (int i = 0; i < 256; ++i) {
    records += s.op_count[i];
    record_bytes += s.op_bytes[i];
  }
  if (records != 0) {
    out_printf("\n  %-26s %12s %16s %7s\n", "record opcode", "count", "bytes", "share");
    for (unsigned code = 0; code < 256; ++code) {
      if (s.op_count[code] == 0) continue;
      std::snprintf(label, sizeof label, "%3u %s", code,
                    opcode_lookup(static_cast<uint8_t>(code)).name);
      out_printf("    %-24s %12llu %16lld %6.1f%%\n", label,
                 static_cast<unsigned long long>(s.op_count[code]),
                 static_cast<long long>(s.op_bytes[code]),
                 100.0 * share(s.op_bytes[code], record_bytes));
    }
    out_printf("    %-24s %12llu %16lld %6.1f%%\n", "total",
               static_cast<unsigned long long>(records), static_cast<long long>(record_bytes),
               100.0);
  }

  // The busiest nodes and transactions.
  if (records != 0 && opt_.top > 0) {
    const auto nodes = top_entries(s.nodes.slots(), opt_.top);
    out_printf("\n  top %zu %s by records (%zu %s; %llu %s without a node)\n", nodes.size(),
               plural(nodes.size(), "node", "nodes"), s.nodes.size(),
               plural(s.nodes.size(), "node", "nodes"),
               static_cast<unsigned long long>(s.no_node.records),
               plural(s.no_node.records, "record", "records"));
    if (s.nodes.capped())
      out_printf(
          "  note: more than %zu nodes; the %llu records of the others are not counted "
          "per node\n",
          max_nodes, static_cast<unsigned long long>(s.dropped_node.records));
    if (!nodes.empty()) out_printf("    %12s %16s %12s  %s\n", "records", "bytes", "node", "name");
    for (const node_entry* e : nodes) {
      const int32_t id = static_cast<int32_t>(e->key);
      scratch_.clear();
      names_.append_display(id, false, opt_.escape, scratch_);
      out_printf("    %12llu %16llu %12d  %s\n", static_cast<unsigned long long>(e->records),
                 static_cast<unsigned long long>(e->bytes), id, scratch_.c_str());
    }
    const auto txns = top_entries(s.txns.slots(), opt_.top);
    out_printf("\n  top %zu %s by records (%zu %s; %llu %s outside a transaction)\n", txns.size(),
               plural(txns.size(), "transaction", "transactions"), s.txns.size(),
               plural(s.txns.size(), "transaction", "transactions"),
               static_cast<unsigned long long>(s.no_txn.records),
               plural(s.no_txn.records, "record", "records"));
    if (s.txns.capped())
      out_printf(
          "  note: more than %zu transactions; the %llu records of the others are not "
          "counted per transaction\n",
          max_transactions, static_cast<unsigned long long>(s.dropped_txn.records));
    if (s.pairs_capped)
      out_printf(
          "  note: more than %zu nodes of transactions beyond their first two; some node "
          "counts are too low\n",
          max_pairs);
    if (!txns.empty())
      out_printf("    %12s %12s %6s  %-19s  %-19s  %s\n", "transaction", "records", "nodes",
                 "first", "last", "duration");
    for (const txn_entry* e : txns) {
      const std::string first = times(e->first_ts);
      out_printf("    %12u %12llu %6u  %-19s  %-19s  %s\n", e->key,
                 static_cast<unsigned long long>(e->records), e->nodes, first.c_str(),
                 times(e->last_ts),
                 duration_text(static_cast<int64_t>(e->last_ts) - e->first_ts).c_str());
    }
  }
  print_histogram(s.histogram, opt_.utc);
}

void stats_sink::print_json(const summary& s, bool is_total) {
  out_char('{');
  if (is_total) {
    out_printf("\"logs\":%llu,", static_cast<unsigned long long>(s.logs));
  } else {
    out_str("\"log\":");
    out_json_string(input_name_.data(), input_name_.size(), scratch_);
    out_printf(",\"log_index\":%u,\"header\":", log_index_);
    if (have_header_) {
      out_str("{\"signature\":");
      out_json_string(header_.signature, sizeof header_.signature, scratch_);
      out_str(",\"version\":");
      out_json_string(header_.version, strnlen(header_.version, sizeof header_.version), scratch_);
      out_printf(",\"major\":%d,\"minor\":%d,\"file_sequence\":%d,\"bytes\":%lld}", header_.major,
                 header_.minor, header_.file_sequence, static_cast<long long>(header_.bytes));
    } else {
      out_str("null");
    }
    out_printf(",\"end\":\"%s\",\"end_offset\":%lld,", end_key(end_how_),
               static_cast<long long>(s.bytes_read));
  }
  out_printf("\"tags\":%llu", static_cast<unsigned long long>(s.tags()));
  if (s.any_tag) {
    out_printf(",\"first_sequence\":%u,\"last_sequence\":%u", s.first_seq, s.last_seq);
    out_json_time("first_time", "first_timestamp", s.first_ts);
    out_json_time("last_time", "last_timestamp", s.last_ts);
  } else {
    out_str(
        ",\"first_sequence\":null,\"last_sequence\":null,\"first_time\":null,"
        "\"first_timestamp\":null,\"last_time\":null,\"last_timestamp\":null");
  }
  const int64_t duration = s.any_tag ? std::max<int64_t>(0, int64_t{s.last_ts} - s.first_ts) : 0;
  out_printf(",\"duration_seconds\":%lld,\"malformed\":%llu", static_cast<long long>(duration),
             static_cast<unsigned long long>(s.malformed));
  const int64_t counted = s.counted_bytes();
  out_printf(
      ",\"bytes\":{\"read\":%lld,\"header\":%lld,\"counted\":%lld,\"filtered_out\":%lld,"
      "\"cut_short\":%lld}",
      static_cast<long long>(s.bytes_read), static_cast<long long>(s.header_bytes),
      static_cast<long long>(counted), static_cast<long long>(s.filtered_bytes),
      static_cast<long long>(s.bytes_read - s.header_bytes - s.tag_bytes()));
  out_printf(",\"counted_tags\":%llu,\"filtered_out_tags\":%llu",
             static_cast<unsigned long long>(s.counted_tags()),
             static_cast<unsigned long long>(s.filtered_tags));

  out_str(",\"kinds\":[");
  bool first = true;
  for (unsigned letter = 0; letter < 256; ++letter) {
    if (s.kind_count[letter] == 0) continue;
    out_str(first ? "{\"letter\":" : ",{\"letter\":");
    first = false;
    const char c = static_cast<char>(letter);
    out_json_string(&c, 1, scratch_);
    out_printf(",\"code\":%u,\"name\":", letter);
    if (letter_known(letter))
      out_printf("\"%s\"", tag_kind_of(static_cast<uint8_t>(letter)).name);
    else
      out_str("null");
    out_printf(",\"count\":%llu,\"bytes\":%lld,\"share\":%.4f}",
               static_cast<unsigned long long>(s.kind_count[letter]),
               static_cast<long long>(s.kind_bytes[letter]), share(s.kind_bytes[letter], counted));
  }
  uint64_t records = 0;
  int64_t record_bytes = 0;
  for (int i = 0; i < 256; ++i) {
    records += s.op_count[i];
    record_bytes += s.op_bytes[i];
  }
  out_str("],\"opcodes\":[");
  first = true;
  for (unsigned code = 0; code < 256; ++code) {
    if (s.op_count[code] == 0) continue;
    const uint8_t c = static_cast<uint8_t>(code);
    out_printf("%s{\"code\":%u,\"name\":", first ? "" : ",", code);
    first = false;
    if (opcode_known(c))
      out_json_string(opcode_lookup(c).name, std::strlen(opcode_lookup(c).name), scratch_);
    else
      out_str("null");
    out_printf(",\"count\":%llu,\"bytes\":%lld,\"share\":%.4f}",
               static_cast<unsigned long long>(s.op_count[code]),
               static_cast<long long>(s.op_bytes[code]), share(s.op_bytes[code], record_bytes));
  }
  out_printf(
      "],\"records\":%llu,\"records_without_node\":%llu,"
      "\"records_without_transaction\":%llu",
      static_cast<unsigned long long>(records), static_cast<unsigned long long>(s.no_node.records),
      static_cast<unsigned long long>(s.no_txn.records));

  out_printf(",\"nodes\":%zu,\"nodes_capped\":%s,\"top_nodes\":[", s.nodes.size(),
             s.nodes.capped() ? "true" : "false");
  first = true;
  std::string name;
  for (const node_entry* e : top_entries(s.nodes.slots(), opt_.top)) {
    const int32_t id = static_cast<int32_t>(e->key);
    out_printf("%s{\"node_id\":%d,\"name\":", first ? "" : ",", id);
    first = false;
    if (names_.has(id)) {
      name.clear();
      names_.append_display(id, false, false, name);
      out_json_string(name.data(), name.size(), scratch_);
    } else {
      out_str("null");
    }
    out_printf(",\"records\":%llu,\"bytes\":%llu}", static_cast<unsigned long long>(e->records),
               static_cast<unsigned long long>(e->bytes));
  }
  out_printf(
      "],\"transactions\":%zu,\"transactions_capped\":%s,\"node_sets_capped\":%s,"
      "\"top_transactions\":[",
      s.txns.size(), s.txns.capped() ? "true" : "false", s.pairs_capped ? "true" : "false");
  first = true;
  for (const txn_entry* e : top_entries(s.txns.slots(), opt_.top)) {
    out_printf("%s{\"transaction_id\":%u,\"records\":%llu,\"nodes\":%u", first ? "" : ",", e->key,
               static_cast<unsigned long long>(e->records), e->nodes);
    first = false;
    out_json_time("first_time", "first_timestamp", e->first_ts);
    out_json_time("last_time", "last_timestamp", e->last_ts);
    out_printf(",\"duration_seconds\":%lld}",
               static_cast<long long>(std::max<int64_t>(0, int64_t{e->last_ts} - e->first_ts)));
  }
  std::vector<time_histogram::row> rows;
  const int64_t width = s.histogram.rows(rows);
  out_printf("],\"histogram\":{\"bucket_seconds\":%lld,\"buckets\":[",
             static_cast<long long>(width));
  first = true;
  for (const auto& r : rows) {
    const uint32_t start = r.start < 0            ? 0
                           : r.start > UINT32_MAX ? UINT32_MAX
                                                  : static_cast<uint32_t>(r.start);
    out_printf("%s{\"time\":\"%s\",\"timestamp\":%u,\"count\":%llu}", first ? "" : ",",
               format_iso_utc(start).c_str(), start, static_cast<unsigned long long>(r.count));
    first = false;
  }
  out_str("]}}");
}

void stats_sink::flush() {
  progress_.clear();
  out_flush();
}

void stats_sink::finish() {
  progress_.end_input();
  const bool several = total_used_;
  if (several) merge_log_into_total();
  const summary& all = several ? total_ : log_;
  if (opt_.json) {
    out_str(json_started_ ? "\n],\"total\":" : "{\"logs\":[],\"total\":");
    print_json(all, true);
    out_str("}\n");
  } else if (several) {
    print_text(all, true);
  }
  out_flush();
}

}  // namespace jrn
