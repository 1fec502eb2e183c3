// --check --order=sequence: continuity judged per series across files,
// whatever order the logs are read in: a complete series, gaps, duplicates
// that are the same or differ, the boundaries between files, a series that
// ends with EOF_CONT, series side by side, and the JSON.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

const uint32_t t0 = 1700000000;  // 2023-11-14 22:13:20

header_fields series_header(int32_t file_sequence, uint32_t volume_set = 0x5eed,
                            uint32_t generation = 3) {
  header_fields h;
  h.volume_set_id = volume_set;
  h.volume_generation = generation;
  h.file_sequence = file_sequence;
  return h;
}

// Log n of a series: three tags (a record of transaction txn, another tag
// and the end tag), whose sequences and times go on from log n - 1's. Logs
// one behind the other in a file are a stream of logs.
std::string series_log(int32_t n, char end = 'C', uint32_t volume_set = 0x5eed,
                       uint32_t generation = 3, uint32_t txn = 1) {
  const uint32_t first = 3 * static_cast<uint32_t>(n - 1);
  log_builder b(series_header(n, volume_set, generation));
  b.at(first + 1, t0 + first).fixrec(logbuild::PUT, txn, 100, 1).sign_off(2).end(end);
  return b.str();
}

// Writes the logs given as (name, bytes) and runs --check over them in
// that order, with the options first.
golden::result check(const std::vector<std::pair<std::string, std::string>>& logs,
                     std::vector<std::string> args = {"--check", "--order=sequence"}) {
  for (const auto& l : logs) {
    golden::temp_file(l.second, l.first);
    args.push_back(l.first);
  }
  return golden::run(args);
}

// The lines of the output from the first that starts with `from` on.
std::string tail_from(const std::string& out, const std::string& from) {
  const size_t at = out.find(from);
  return at == std::string::npos ? "(no \"" + from + "\" in:\n" + out + ")" : out.substr(at);
}

}  // namespace

TEST(SeriesCheck, CompleteSeriesGivenShuffled) {
  // One file holds file sequence 2 and then 1: whatever order the files
  // are read in, these two are read the wrong way round.
  const std::vector<std::pair<std::string, std::string>> logs = {
      {"c.fwlog", series_log(3)},
      {"ba.fwlog", series_log(2) + series_log(1)},
      {"d.fwlog", series_log(4, 'F')}};
  const golden::result r = check(logs);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("ba.fwlog (log 2): ok, 3 tags, sequence 1 to 3, 2023-11-14 22:13:20 to "
                       "2023-11-14 22:13:22, end tag EOF_CONT\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(tail_from(r.out, "series"),
            "series 0x5eed generation 3: ok, 4 logs, file sequences 1 to 4\n"
            "check: 4 logs: ok\n");

  // In the given order (the default for files) the series is judged the
  // same: by file sequence, whatever the order read.
  const golden::result given = check(logs, {"--check"});
  EXPECT_EQ(given.err, "");
  EXPECT_EQ(tail_from(given.out, "series"), tail_from(r.out, "series"));
}

TEST(SeriesCheck, GapsAreErrorsListedUpToFive) {
  // 1, 2, 5 (3 and 4 missing), 6, 8 (7 missing), in a stream of two logs
  // and single files.
  const golden::result r = check({{"late.fwlog", series_log(8, 'F')},
                                  {"two.fwlog", series_log(5) + series_log(6)},
                                  {"a.fwlog", series_log(1)},
                                  {"b.fwlog", series_log(2)}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "series 0x5eed generation 3: check: error: file sequences 3 to 4 are missing (between "
            "b.fwlog and two.fwlog)\n"
            "series 0x5eed generation 3: check: error: file sequence 7 is missing (between "
            "two.fwlog (log 2) and late.fwlog)\n");
  EXPECT_EQ(tail_from(r.out, "series"),
            "series 0x5eed generation 3: 2 errors, 5 logs, file sequences 1 to 8 (3 missing)\n"
            "check: 5 logs: 2 errors in 1 series: failed\n");

  // Beyond five gaps: the rest counted.
  std::vector<std::pair<std::string, std::string>> sparse;
  for (int32_t n = 15; n >= 1; n -= 2)
    sparse.push_back({"s" + std::to_string(n) + ".fwlog", series_log(n)});
  const golden::result s = check(sparse);
  EXPECT_EQ(s.status, 1);
  EXPECT_NE(s.err.find("file sequence 10 is missing (between s9.fwlog and s11.fwlog)\n"),
            std::string::npos)
      << s.err;
  EXPECT_EQ(s.err.find("file sequence 12 "), std::string::npos) << s.err;
  EXPECT_NE(s.err.find("series 0x5eed generation 3: check: 7 gaps in all, 7 file sequences "
                       "missing (the first 5 listed)\n"),
            std::string::npos)
      << s.err;
  EXPECT_NE(s.out.find("check: 8 logs: 7 errors in 1 series, 1 warning: failed\n"),
            std::string::npos)
      << s.out;
}

TEST(SeriesCheck, DuplicatesSameOrDifferent) {
  const std::string two = series_log(2);
  const std::vector<std::pair<std::string, std::string>> same = {{"b.fwlog", two},
                                                                 {"a.fwlog", series_log(1)},
                                                                 {"copy.fwlog", two},
                                                                 {"c.fwlog", series_log(3, 'F')}};
  const golden::result r = check(same);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "series 0x5eed generation 3: check: warning: file sequence 2 was read twice, as "
            "b.fwlog and copy.fwlog, with the same tags\n");
  EXPECT_EQ(tail_from(r.out, "series"),
            "series 0x5eed generation 3: 1 warning, 4 logs, file sequences 1 to 3 (1 read more "
            "than once)\n"
            "check: 4 logs: 1 warning: ok\n");
  std::vector<std::string> strict = {"--check", "--order=sequence", "--strict"};
  EXPECT_EQ(check(same, strict).status, 1);

  // The same header, sequences, times and sizes, but a record of another
  // transaction; a third copy cut short, which has errors of its own.
  const golden::result d = check({{"b.fwlog", two},
                                  {"other.fwlog", series_log(2, 'C', 0x5eed, 3, 99)},
                                  {"cut.fwlog", two.substr(0, two.size() - 9)},
                                  {"a.fwlog", series_log(1)},
                                  {"c.fwlog", series_log(3, 'F')}});
  EXPECT_EQ(d.status, 1);
  EXPECT_NE(d.err.find("series 0x5eed generation 3: check: error: file sequence 2 was read "
                       "twice, as b.fwlog and other.fwlog, with different tags\n"
                       "series 0x5eed generation 3: check: error: file sequence 2 was read 3 "
                       "times: as cut.fwlog too, with tags that differ from b.fwlog; cut.fwlog "
                       "had errors\n"),
            std::string::npos)
      << d.err;
  EXPECT_EQ(tail_from(d.out, "series"),
            "series 0x5eed generation 3: 2 errors, 5 logs, file sequences 1 to 3 (1 read more "
            "than once)\n"
            "check: 5 logs: 1 error in 1 log, 2 errors in 1 series: failed\n");
}

TEST(SeriesCheck, BoundariesEofContEndAndSeriesSideBySide) {
  // Series 0x777/1: file 2 starts at tag sequence 10 where 4 was due, and
  // a minute before file 1 ended. 0x5eed/3 ends with EOF_CONT; 0x5eed/4
  // has a gap. Given interleaved, judged in the order of volume set id and
  // generation.
  log_builder x2(series_header(2, 0x777, 1));
  x2.at(10, t0 - 60).sign_off(1).end('F');
  const golden::result r = check({{"x2.fwlog", x2.str()},
                                  {"a1.fwlog", series_log(1)},
                                  {"g1.fwlog", series_log(1, 'C', 0x5eed, 4)},
                                  {"x1.fwlog", series_log(1, 'C', 0x777, 1)},
                                  {"a2.fwlog", series_log(2)},
                                  {"g3.fwlog", series_log(3, 'F', 0x5eed, 4)}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "series 0x777 generation 1: check: warning: file sequence 1 (x1.fwlog) ends with tag "
            "sequence 3 and file sequence 2 (x2.fwlog) begins with 10 (expected 4)\n"
            "series 0x777 generation 1: check: warning: file sequence 1 (x1.fwlog) ends at "
            "2023-11-14 22:13:22 (1700000002) and file sequence 2 (x2.fwlog) begins earlier, at "
            "2023-11-14 22:12:20 (1699999940)\n"
            "series 0x5eed generation 3: check: warning: the series ends with EOF_CONT at file "
            "sequence 2 (a2.fwlog): the file that continues it is not in the input\n"
            "series 0x5eed generation 4: check: error: file sequence 2 is missing (between "
            "g1.fwlog and g3.fwlog)\n");
  EXPECT_EQ(tail_from(r.out, "series"),
            "series 0x777 generation 1: 2 warnings, 2 logs, file sequences 1 to 2\n"
            "series 0x5eed generation 3: 1 warning, 2 logs, file sequences 1 to 2\n"
            "series 0x5eed generation 4: 1 error, 2 logs, file sequences 1 to 3 (1 missing)\n"
            "check: 6 logs: 1 error in 1 series, 3 warnings: failed\n");
}

// One check_series object per series before the run's object, with the
// ranges missing, the duplicates and the findings; the run's object counts
// the series' errors apart from the logs'.
TEST(SeriesCheck, SeriesAsJson) {
  const std::string two = series_log(2);
  const golden::result r = check({{"f5.fwlog", series_log(5, 'F')},
                                  {"f2.fwlog", two},
                                  {"copy.fwlog", two},
                                  {"f1.fwlog", series_log(1)},
                                  {"other.fwlog", series_log(9, 'C', 0x1, 1)}},
                                 {"--check", "--order=sequence", "--json"});
  EXPECT_EQ(r.status, 1);
  std::vector<json_reader::value> lines;
  size_t start = 0;
  for (size_t nl; (nl = r.out.find('\n', start)) != std::string::npos; start = nl + 1) {
    const json_reader::result one = json_reader::parse(r.out.substr(start, nl - start));
    ASSERT_TRUE(one.ok()) << one.message();
    lines.push_back(one.v);
  }
  ASSERT_EQ(lines.size(), 8u) << r.out;
  const json_reader::value& other = lines[5];
  EXPECT_EQ(other.at("type").text, "check_series");
  EXPECT_EQ(other.at("volume_set_id").num(), 1);
  EXPECT_EQ(other.at("verdict").text, "warnings");  // it ends with EOF_CONT
  EXPECT_EQ(other.at("end").text, "eof_cont");
  const json_reader::value& s = lines[6];
  EXPECT_EQ(s.at("volume_set_id").num(), 0x5eed);
  EXPECT_EQ(s.at("verdict").text, "errors");
  EXPECT_EQ(s.at("logs").num(), 4);
  EXPECT_EQ(s.at("last_file_sequence").num(), 5);
  EXPECT_EQ(s.at("missing_file_sequences").num(), 2);
  ASSERT_EQ(s.at("missing").items.size(), 1u);
  EXPECT_EQ(s.at("missing").items[0].items[0].num(), 3);
  EXPECT_EQ(s.at("missing").items[0].items[1].num(), 4);
  ASSERT_EQ(s.at("duplicates").items.size(), 1u);
  EXPECT_EQ(s.at("duplicates").items[0].at("file_sequence").num(), 2);
  EXPECT_EQ(s.at("duplicates").items[0].at("copies").num(), 2);
  EXPECT_TRUE(s.at("duplicates").items[0].at("identical").b);
  ASSERT_EQ(s.at("findings").items.size(), 2u);
  EXPECT_EQ(s.at("findings").items[0].at("level").text, "warning");
  EXPECT_EQ(s.at("findings").items[1].at("level").text, "error");
  EXPECT_EQ(s.at("findings").items[1].at("text").text,
            "file sequences 3 to 4 are missing (between f2.fwlog and f5.fwlog)");
  const json_reader::value& run = lines[7];
  EXPECT_EQ(run.at("errors").num(), 0);
  EXPECT_EQ(run.at("series").num(), 2);
  EXPECT_EQ(run.at("series_errors").num(), 1);
  EXPECT_EQ(run.at("warnings").num(), 2);
  EXPECT_EQ(run.at("verdict").text, "failed");
}
