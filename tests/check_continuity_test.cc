// The judgement of a series' continuity as values: per case a series read
// as a list of logs, the counts and the kinds of findings it gives, and
// that the order the logs were read in changes none of it (but which copy
// of a file sequence is the first).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model/check_series.h"

namespace {

using jrn::check_continuity;
using jrn::check_log_record;
using jrn::series_finding;
using jrn::series_judgement;

// A log of file sequence fs: ten tags that go on from file sequence fs - 1
// (tag sequence and time), a digest that tells a copy apart when variant
// is not 0, and how it ended.
check_log_record log_of(int32_t fs, uint64_t variant = 0,
                        jrn::log_end how = jrn::log_end::eof_cont) {
  check_log_record r{};
  r.volume_set = 0x5eed;
  r.generation = 3;
  r.file_sequence = fs;
  r.log_index = 1;
  r.first_seq = static_cast<uint32_t>(fs) * 10;
  r.last_seq = r.first_seq + 9;
  r.first_ts = r.first_seq;
  r.last_ts = r.last_seq;
  r.digest = static_cast<uint64_t>(fs) * 1000 + variant;
  r.how = how;
  r.has_tags = true;
  return r;
}

struct outcome {
  uint64_t errors = 0, warnings = 0, gaps = 0, missing = 0, duplicated = 0;
  std::string kinds;  // one letter per finding: g b t c e
  bool operator==(const outcome& o) const {
    return errors == o.errors && warnings == o.warnings && gaps == o.gaps && missing == o.missing &&
           duplicated == o.duplicated && kinds == o.kinds;
  }
};

outcome judge(const std::vector<check_log_record>& logs, bool stopped) {
  check_continuity c;
  for (const check_log_record& r : logs) c.remember(r, "t.fwlog");
  std::vector<outcome> all;
  c.judge_all(stopped, [&](const series_judgement& j) {
    outcome o{j.errors, j.warnings, j.gaps, j.missing, j.duplicated, ""};
    for (const series_finding& f : j.findings) o.kinds += "gbtce"[f.kind];
    all.push_back(o);
  });
  EXPECT_EQ(all.size(), 1u);
  return all.empty() ? outcome{} : all[0];
}

TEST(CheckContinuity, JudgementsAndReadingOrder) {
  const auto fin = jrn::log_end::eof_finish;
  check_log_record late = log_of(4);
  late.first_ts = 0;  // begins before file sequence 3 ends
  check_log_record jump = log_of(3);
  jump.first_seq += 5;
  struct row {
    const char* name;
    std::vector<check_log_record> logs;
    bool stopped;
    outcome want;
  } rows[] = {
      {"whole", {log_of(1), log_of(2), log_of(3, 0, fin)}, false, {0, 0, 0, 0, 0, ""}},
      {"ends_cont", {log_of(1), log_of(2)}, false, {0, 1, 0, 0, 0, "e"}},
      {"gaps", {log_of(1), log_of(3), log_of(7, 0, fin)}, false, {2, 0, 2, 4, 0, "gg"}},
      {"stopped", {log_of(1), log_of(3), log_of(7)}, true, {0, 0, 0, 0, 0, ""}},
      {"copies",
       {log_of(1), log_of(2), log_of(2), log_of(2, 1), log_of(3, 0, fin)},
       false,
       {1, 1, 0, 0, 1, "cc"}},
      {"break_and_back",
       {log_of(1), log_of(2), jump, late, log_of(5, 0, fin)},
       false,
       {0, 2, 0, 0, 0, "bt"}},
      {"listed_five",
       {log_of(1), log_of(3), log_of(5), log_of(7), log_of(9), log_of(11), log_of(13),
        log_of(15, 0, fin)},
       false,
       {7, 0, 7, 7, 0, "ggggg"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const outcome got = judge(r.logs, r.stopped);
    EXPECT_TRUE(got == r.want) << got.errors << " " << got.warnings << " " << got.kinds;
    // Read in another order, each file sequence's copies kept in theirs:
    // the same judgement.
    std::map<int32_t, std::vector<check_log_record>> copies;
    for (const check_log_record& x : r.logs) copies[x.file_sequence].push_back(x);
    std::vector<check_log_record> shuffled = r.logs;
    std::mt19937 rng(7);
    for (int i = 0; i < 5; ++i) {
      std::shuffle(shuffled.begin(), shuffled.end(), rng);
      std::map<int32_t, size_t> next;
      for (check_log_record& x : shuffled) x = copies[x.file_sequence][next[x.file_sequence]++];
      EXPECT_TRUE(judge(shuffled, r.stopped) == got);
    }
  }
}

}  // namespace
