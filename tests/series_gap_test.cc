// What the analysis modes answer of an archive that is not whole: a file
// of a series missing, logs of two series side by side, a file read twice
// (the same or with other tags), a moment before the input begins, and the
// check's verdict whatever the files are named.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "model/series.h"

using json_reader::value;
using logbuild::header_fields;
using logbuild::log_builder;

namespace {

std::vector<value> json_lines(const std::string& text) {
  std::vector<value> v;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    const json_reader::result r = json_reader::parse(text.substr(at, end - at));
    EXPECT_TRUE(r.ok()) << r.message();
    v.push_back(r.v);
  }
  return v;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

header_fields header(int32_t file_sequence, uint32_t volume_set = 0x5eed) {
  header_fields h;
  h.volume_set_id = volume_set;
  h.file_sequence = file_sequence;
  return h;
}

const uint32_t t0 = 1700000000;  // 2023-11-14 22:13:20

// File n of a series: a PUT of record 100:1 by transaction 10 + n (whose
// END comes only in the next file), an UPDATE_RANGE of it without a
// before-image, and the end of transaction 9 + n begun in the file before.
std::string series_file(int32_t n, uint32_t volume_set = 0x5eed, char end = 'C') {
  const uint32_t s = 10 * static_cast<uint32_t>(n);
  log_builder b(header(n, volume_set));
  b.at(s, t0 + s);
  b.fixrec(logbuild::PUT, 9 + n, 100, 1, "0123456789", 3);  // END of 9 + n
  b.fixrec(logbuild::PUT, 10 + n, 100, 1, std::string(10, static_cast<char>('a' + n)), 2);
  b.fixrec(logbuild::UPDATE_RANGE, 10 + n, 100, 1, std::string("\x02\x00\x01\x00Z", 5));
  b.end(end);
  return b.str();
}

}  // namespace

// The series model places each log against what was read of its series.
TEST(SeriesGap, ModelPlacesEachLog) {
  using jrn::series_place;
  const struct {
    uint32_t volume_set;
    int32_t file_sequence;
    series_place place;
    int64_t missing_from, missing_to;
  } steps[] = {
      {1, 5, series_place::first, 0, 0},
      {1, 6, series_place::next, 0, 0},
      {2, 6, series_place::first, 0, 0},
      {1, 9, series_place::after_gap, 7, 8},
      {1, 6, series_place::repeat, 0, 0},
      {1, 7, series_place::earlier, 0, 9},
      {1, 10, series_place::next, 0, 0},
      {2, 7, series_place::next, 0, 0},
      {1, 2147483647, series_place::after_gap, 11, 2147483646},
  };
  jrn::series_model m;
  uint64_t n = 0;
  for (const auto& s : steps) {
    const jrn::series_placement p = m.place(s.volume_set, 3, s.file_sequence, n);
    m.log_digest(100 + n++);
    EXPECT_EQ(p.place, s.place) << n;
    EXPECT_EQ(p.missing_to, s.missing_to) << n;
    if (s.place == series_place::after_gap) {
      EXPECT_EQ(p.missing_from, s.missing_from) << n;
    }
    if (s.place == series_place::repeat) {
      EXPECT_EQ(p.first_digest, 101u) << n;
    }
  }
}

// Reproducer: a generated series with file 10 left out. Every record that
// changed in the missing file has a gap in its history before file 11, no
// change behind it takes its before from file 9, whatever the history
// calls known equals the generator's truth; the undo of a transaction of
// file 9 is not complete; the transaction open at file 9's end may go on
// in the gap. A gap is no failure (status 0, as for a log cut short).
TEST(SeriesGap, MissingFileIsAGapInEveryMode) {
  const std::string dir = golden::work_dir() + "/dropped", truth = dir + ".truth";
  ASSERT_EQ(std::system((std::string(FWGEN_BIN) +
                         " --seed 7 --tags 100000 --logs 24 --drop 10 --series '" + dir +
                         "' --truth '" + truth + "'")
                            .c_str()),
            0);
  const std::vector<value> lines = json_lines(slurp(truth));
  std::vector<std::pair<long long, long long>> dropped;  // node, recno
  std::map<std::string, const value*> truth_at;          // "file:offset" -> change
  std::map<std::pair<long long, long long>, long long> txn_in_9;
  for (const value& v : lines) {
    if (v.at("type").text == "dropped") {
      EXPECT_EQ(v.at("file_sequence").num(), 10);
      for (const value& r : v.at("records").items)
        dropped.emplace_back(r.at("node_id").num(), r.at("recno").num());
    }
    if (!v.has("offset")) continue;
    EXPECT_NE(v.at("file_sequence").num(), 10);
    truth_at[std::to_string(v.at("file_sequence").num()) + ":" + v.at("offset").text] = &v;
    if (v.at("file_sequence").num() == 9 && v.at("type").text == "change")
      txn_in_9[{v.at("node_id").num(), v.at("recno").num()}] = v.at("transaction_id").num();
  }
  ASSERT_GE(dropped.size(), 20u);
  const std::string gap = "file sequence 10 of series 0x5ef3 generation 3 is missing";
  size_t gaps = 0;
  for (size_t i = 0; i < 20; ++i) {
    const std::string rec =
        std::to_string(dropped[i].first) + ":" + std::to_string(dropped[i].second);
    const golden::result h = golden::run({"--history", rec, "--json", dir});
    EXPECT_EQ(h.status, 0) << rec << h.err;
    bool first_behind = true;
    for (const value& v : json_lines(h.out)) {
      // A record whose content was known before the gap is told of it.
      if (v.at("type").text == "record_gap" && v.at("reason").text == gap) ++gaps;
      if (v.at("type").text != "record_change") continue;
      const std::string log = v.at("log").text;
      const int file = std::stoi(log.substr(log.size() - 12, 6));
      const std::string key = std::to_string(file) + ":" + v.at("offset").text;
      ASSERT_TRUE(truth_at.count(key)) << rec << " " << key;
      const value& t = *truth_at[key];
      if (v.at("after_known").b) {
        EXPECT_FALSE(t.has("unknown")) << rec << " " << key;
        EXPECT_EQ(v.at("after").text, t.at("content").text) << rec << " " << key;
      }
      if (file > 10 && first_behind) {
        first_behind = false;
        EXPECT_TRUE(!v.at("before_known").b || v.at("before_source").text == "before_image")
            << rec << " " << key << ": the change behind the gap takes its before from file 9";
      }
    }

    // The undo of the record's transaction in file 9: changes of it, or
    // of others, may lie in the missing file.
    const auto t9 = txn_in_9.find(dropped[i]);
    if (t9 == txn_in_9.end()) continue;
    const golden::result u = golden::run({"--undo", std::to_string(t9->second), "--json", dir});
    EXPECT_EQ(u.status, 0);
    const value summary = json_lines(u.out).back();
    EXPECT_FALSE(summary.at("complete").b) << u.out;
    EXPECT_NE(summary.at("incomplete").text.find(gap), std::string::npos);
  }
  EXPECT_GE(gaps, 5u);
  // The transaction that file 9 leaves open for file 10 to end.
  const golden::result x = golden::run({"--txns", "--json", dir});
  size_t at_gap = 0;
  for (const value& v : json_lines(x.out))
    if (v.has("end") && v.at("end").text == "gap") ++at_gap;
  EXPECT_GE(at_gap, 1u) << x.out;
}

// Hand-built logs through every analysis mode: the output of the odd
// archive against the output expected of its sound part.
TEST(SeriesGap, EachModeReadsEachLogOnceAndKeepsSeriesApart) {
  golden::temp_file(series_file(1), "one.fwlog");
  golden::temp_file(series_file(2), "two.fwlog");
  golden::temp_file(series_file(2), "two-copy.fwlog");
  golden::temp_file(series_file(3, 0x5eed, 'F'), "three.fwlog");
  golden::temp_file(series_file(2, 0x777, 'F'), "other.fwlog");
  // Another copy of file 2 that ends with EOF_FINISH: other tags.
  golden::temp_file(series_file(2, 0x5eed, 'F'), "two-other.fwlog");
  const std::vector<std::vector<std::string>> modes = {
      {"--history", "100:1"}, {"--history", "100:1", "--json"},
      {"--undo", "12"},       {"--txns"},
      {"--sessions"},         {"--stats"},
      {"--transaction", "12"}};
  const std::string same =
      "jrnscan: warning: two-copy.fwlog: the log at offset 0 is file sequence 2 of series 0x5eed "
      "generation 3, read before as two.fwlog, with the same tags: it is read once\n";
  const std::string other =
      "jrnscan: two-other.fwlog: the log at offset 0 is file sequence 2 of series 0x5eed "
      "generation 3, read before as two.fwlog, with other tags: the copies are not merged, this "
      "one is left out\n";
  for (const auto& mode : modes) {
    auto run = [&](std::vector<std::string> files) {
      std::vector<std::string> args = mode;
      args.insert(args.end(), files.begin(), files.end());
      return golden::run(args);
    };
    const golden::result whole = run({"one.fwlog", "two.fwlog", "three.fwlog"});
    const std::string m = mode[0];
    EXPECT_EQ(whole.status, 0) << m << whole.err;
    const golden::result dup = run({"one.fwlog", "two.fwlog", "two-copy.fwlog", "three.fwlog"});
    EXPECT_EQ(dup.out, whole.out) << m;
    EXPECT_EQ(dup.err, whole.err + same) << m;
    EXPECT_EQ(dup.status, 0) << m;
    const golden::result differ = run({"one.fwlog", "two.fwlog", "two-other.fwlog", "three.fwlog"});
    EXPECT_EQ(differ.out, whole.out) << m;
    EXPECT_EQ(differ.err, whole.err + other) << m;
    EXPECT_EQ(differ.status, 1) << m;
  }

  // The other server's UPDATE_RANGE of record 100:1 patches a content
  // that its own log never told: not what one.fwlog left.
  const golden::result two = golden::run({"--history", "100:1", "one.fwlog", "other.fwlog"});
  EXPECT_NE(two.out.find("content unknown from offset 0 of other.fwlog\n  the log is of series "
                         "0x777 generation 3, the log read before it of series 0x5eed generation "
                         "3\n"),
            std::string::npos)
      << two.out;
  EXPECT_EQ(two.out.find("before: 10 bytes 'bbbbbbbbbb'"), std::string::npos) << two.out;
  // Transaction 11, open at one.fwlog's EOF_CONT, is not ended by the
  // other series' END of transaction 11.
  const golden::result txns = golden::run({"--txns", "one.fwlog", "other.fwlog"});
  EXPECT_NE(txns.out.find("txn 11 not ended before a gap in its series, possibly continued there"),
            std::string::npos)
      << txns.out;
  // With --save beside it, the transaction is still told of the gap.
  const std::string save_dir = golden::work_dir() + "/saved";
  const golden::result plain = golden::run({"--transaction", "11", "one.fwlog", "other.fwlog"});
  const golden::result saved =
      golden::run({"--transaction", "11", "--save", save_dir, "one.fwlog", "other.fwlog"});
  EXPECT_NE(plain.out.find("possibly continued there"), std::string::npos) << plain.out;
  EXPECT_EQ(saved.out, plain.out);
  // A missing file is a gap too: 12's UPDATE_RANGE in file 3 patches an
  // unknown content, and 12 itself may go on there.
  const golden::result skip = golden::run({"--history", "100:1", "one.fwlog", "three.fwlog"});
  EXPECT_NE(skip.out.find("  file sequence 2 of series 0x5eed generation 3 is missing\n"),
            std::string::npos)
      << skip.out;
  const golden::result undo = golden::run({"--undo", "11", "one.fwlog", "three.fwlog"});
  EXPECT_NE(undo.out.find("  incomplete: file sequence 2 of series 0x5eed generation 3 is missing"),
            std::string::npos)
      << undo.out;
  // A further log of an input that repeats the first log of another input:
  // no two inputs' first logs share a place, so that first log was not
  // digested, and the two cannot be compared: not merged, an error.
  golden::temp_file(series_file(2) + series_file(1), "two-then-one.fwlog");
  const golden::result unkept = golden::run({"--txns", "one.fwlog", "two-then-one.fwlog"});
  EXPECT_NE(unkept.err.find("two-then-one.fwlog: the log at offset "), std::string::npos);
  EXPECT_NE(unkept.err.find("with tags that were not kept to compare: the copies are not merged"),
            std::string::npos)
      << unkept.err;
  EXPECT_EQ(unkept.status, 1);
  // Read out of order: nothing carries across either.
  const golden::result back = golden::run({"--history", "100:1", "two.fwlog", "one.fwlog"});
  EXPECT_NE(back.out.find("file sequence 1 of series 0x5eed generation 3 is read after file "
                          "sequence 2\n"),
            std::string::npos)
      << back.out;
}

// --as-of before the first tag of the input: nothing read tells the
// record's content then, not even a later before-image.
TEST(SeriesGap, AsOfBeforeTheInputBeginsCannotTell) {
  log_builder b(header(1));
  b.at(1, t0 + 100).before_image(5, 1, 100, 1, logbuild::UPDATE, "old");
  b.fixrec(logbuild::UPDATE, 5, 100, 1, "new").end('F');
  const struct {
    const char* as_of;
    bool known;
    std::string text;
  } cases[] = {
      {"2023-11-14 22:13:20", false, "cannot tell: the input begins at 2023-11-14 22:15:00\n"},
      {"2023-11-14 22:15:00", true, "3 bytes, from the before-image at offset"},
  };
  for (const auto& c : cases) {
    const golden::result r = golden::scan(b.str(), {"--history", "100:1", "--as-of", c.as_of});
    EXPECT_NE(r.out.find(c.text), std::string::npos) << c.as_of << r.out;
    const std::vector<value> j =
        json_lines(golden::scan(b.str(), {"--history", "100:1", "--as-of", c.as_of, "--json"}).out);
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0].at("known").b, c.known);
    if (!c.known) {
      EXPECT_EQ(j[0].at("reason").text, "the input begins at 2023-11-14 22:15:00");
    }
  }
}

// The check judges a series by file sequence whatever order the files are
// read in: a directory, its files in the shell's order, or shuffled.
TEST(SeriesGap, CheckVerdictDoesNotDependOnHowFilesAreNamed) {
  const std::string dir = golden::work_dir() + "/gapdir";
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
  for (int n : {1, 2, 4, 5})
    golden::temp_file(series_file(n, 0x5eed, n == 5 ? 'F' : 'C'),
                      "gapdir/00000" + std::to_string(n) + ".fwlog");
  const std::string f = "gapdir/00000";
  const std::vector<std::vector<std::string>> namings = {
      {"gapdir"},
      {f + "1.fwlog", f + "2.fwlog", f + "4.fwlog", f + "5.fwlog"},
      {f + "5.fwlog", f + "2.fwlog", f + "1.fwlog", f + "4.fwlog"},
  };
  golden::result first;
  for (const auto& names : namings) {
    std::vector<std::string> args = {"--check"};
    args.insert(args.end(), names.begin(), names.end());
    const golden::result r = golden::run(args);
    EXPECT_EQ(r.status, 1) << names[0];
    EXPECT_NE(r.err.find("series 0x5eed generation 3: check: error: file sequence 3 is missing "
                         "(between gapdir/000002.fwlog and gapdir/000004.fwlog)\n"),
              std::string::npos)
        << names[0] << r.err;
    if (names.size() == 1) {
      first = r;
      continue;
    }
    EXPECT_EQ(r.err, first.err) << names[0];
    EXPECT_EQ(r.out.substr(r.out.find("series ")), first.out.substr(first.out.find("series ")))
        << names[0];
  }
}
