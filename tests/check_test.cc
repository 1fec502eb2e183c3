// --check: a clean log, a log cut at every tag boundary and inside every
// tag, unknown letters, malformed items, refused headers, a data byte read
// as an end tag, sequence and time warnings, file sequences across logs and
// operands, --strict, and the same verdict whatever the filters.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A small log of every kind of tag, with the log offset of each tag.
struct sample {
  std::string bytes;
  std::vector<size_t> tag_starts;  // and the end of the log last
};

sample every_kind() {
  log_builder b;
  sample s;
  auto mark = [&] { s.tag_starts.push_back(b.log_offset()); };
  mark();
  b.slave_sync(3, 1, 1, 0);
  mark();
  b.context_db(100, "shop");
  mark();
  b.fixrec(logbuild::PUT, 5, 100, 1, "data");
  mark();
  b.before_image(5, 1, 100, 1, logbuild::UPDATE, "data");  // as the PUT left it
  mark();
  b.sign_on(9, {"user=A"});
  mark();
  b.nodemeta(100, "meta");
  mark();
  b.cluster(100, 4, {"p"});
  mark();
  b.page("q");
  mark();
  b.end('F');
  s.tag_starts.push_back(b.log_offset());
  s.bytes = b.str();
  return s;
}

}  // namespace

TEST(Check, CleanLog) {
  const sample s = every_kind();
  const golden::result r = golden::scan(s.bytes, {"--check"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "t.fwlog: ok, 9 tags, sequence 1 to 9, 2023-11-14 22:13:20 to 2023-11-14 22:13:28, "
            "end tag EOF_FINISH\nseries 0x5eed generation 3: ok, 1 log, file sequence 1\n"
            "check: 1 log: ok\n");
  // Nothing of the report, whatever the detail asked for.
  EXPECT_EQ(golden::scan(s.bytes, {"--check", "-vvv", "-a"}).out, r.out);
}

TEST(Check, CutAtEveryBoundaryAndInsideEveryTag) {
  const sample s = every_kind();
  const size_t header = s.tag_starts.front();
  for (size_t k = 0; k + 1 < s.tag_starts.size(); ++k) {
    const size_t start = s.tag_starts[k], next = s.tag_starts[k + 1];
    // At the tag's start, then inside it: in its opening bytes, behind
    // them, and one byte short of its end.
    for (size_t cut : {start, start + 1, start + 8, start + 9, start + 12, next - 1}) {
      if (cut >= next) continue;
      SCOPED_TRACE("tag " + std::to_string(k) + ", cut at " + std::to_string(cut));
      const golden::result r = golden::scan(s.bytes.substr(0, cut), {"--check"});
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.out.find("t.fwlog: 1 error, " + std::to_string(k) + " tag"), std::string::npos)
          << r.out;
      EXPECT_NE(r.out.find("check: 1 log: 1 error in 1 log: failed\n"), std::string::npos);
      if (cut == start) {
        EXPECT_EQ(r.err, "Unexpected EOF reading tag opcode\nt.fwlog: check: error at offset " +
                             std::to_string(cut) +
                             ": the input ends between tags, without an end tag\n");
      } else {
        // Said once, at the start of the tag that was cut.
        EXPECT_EQ(
            count_of(r.err, "t.fwlog: check: error at offset " + std::to_string(start) + ": the "),
            1u)
            << r.err;
        EXPECT_NE(r.err.find("(" + std::to_string(cut - start) + " "), std::string::npos) << r.err;
      }
    }
  }
  // Inside the file header: refused, said with the offset reached.
  for (size_t cut : {size_t{0}, size_t{10}, header - 1}) {
    SCOPED_TRACE("header cut at " + std::to_string(cut));
    const golden::result r = golden::scan(s.bytes.substr(0, cut), {"--check"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("t.fwlog: bad file format\n"), std::string::npos);
    EXPECT_NE(r.err.find("t.fwlog: check: error at offset " + std::to_string(cut) +
                         ": the file header is refused\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out,
              "t.fwlog: 1 error, 0 tags, the file header was refused\n"
              "check: 1 log: 1 error in 1 log: failed\n");
  }
}

TEST(Check, UnknownLetterAndMalformedItemAreSaidOnce) {
  // The tool's own messages name the log and the offset: no second line.
  log_builder unknown;
  unknown.fixrec(logbuild::PUT, 1, 2, 3);
  const std::string at = std::to_string(unknown.log_offset());
  unknown.tag('Q').raw("trailing");
  const golden::result u = golden::scan(unknown.str(), {"--check"});
  EXPECT_EQ(u.status, 1);
  EXPECT_EQ(u.err, "t.fwlog: unrecognized tag type 0x51 at offset " + at +
                       "; the rest of the input is not read\n");
  EXPECT_NE(u.out.find("t.fwlog: 1 error, 1 tag, sequence 1 to 1,"), std::string::npos) << u.out;
  EXPECT_NE(u.out.find("an unrecognized tag letter\n"), std::string::npos);

  log_builder bad;
  bad.fixrec(logbuild::PUT, 1, 2, 3).image(logbuild::OP_FIXREC, 1, 2, "short").end('F');
  const golden::result m = golden::scan(bad.str(), {"--check"});
  EXPECT_EQ(m.status, 1);
  EXPECT_EQ(count_of(m.err, "\n"), 1u) << m.err;
  EXPECT_NE(m.err.find("t.fwlog: malformed IMAGE record at offset " + at + ": "), std::string::npos)
      << m.err;
  EXPECT_NE(m.out.find("t.fwlog: 1 error, 3 tags,"), std::string::npos) << m.out;
}

TEST(Check, DataByteReadAsAnEndTag) {
  // A record whose size field says 4 where 30 bytes follow: the scan reads
  // on inside the payload, where a byte 'F' opens a false end tag.
  std::string payload = "abcd";
  payload += 'F';
  payload += std::string("\x39\x05\x00\x00", 4);  // sequence 1337
  payload += std::string("\x64\xf1\x53\x65", 4);  // 100 s on
  payload += std::string(30 - payload.size(), 'z');
  log_builder b;
  b.fixrec(logbuild::PUT, 1, 2, 3);
  const std::string fake_at = std::to_string(b.log_offset() + 9 + 16 + 4);
  b.image(logbuild::OP_IGNORE, 1, 2, payload, 5, 1, 4);
  b.fixrec(logbuild::PUT, 1, 2, 4).end('F');
  const golden::result r = golden::scan(b.str(), {"--check"});
  // The bytes behind the false end tag were never checked: an error.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("t.fwlog: check: warning at offset " + fake_at +
                       ": tag sequence 1337 follows 2 (expected 3)\n"),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("are not a log; ignored"), std::string::npos);
  EXPECT_NE(r.out.find("t.fwlog: 1 error, 1 warning, 3 tags, sequence 1 to 1337,"),
            std::string::npos)
      << r.out;
}

// A damaged type letter that reads as an end tag in the middle of a log:
// the rest of the file is not read, which is an error with its size, also
// when the bytes behind it are the damaged header of a further log.
TEST(Check, EndTagLetterInTheMiddleFailsTheCheck) {
  log_builder b;
  for (uint32_t i = 0; i < 40; ++i) b.fixrec(logbuild::PUT, 1, 2, i, std::string(100, 'd'));
  b.end('F');
  std::string log = b.str();
  const size_t at = 36 + 10 * (9 + 16 + 17 + 100);  // the 11th tag's letter
  ASSERT_EQ(log[at], '1');
  log[at] = 'F';
  const std::string rest = std::to_string(log.size() - at - 9);
  for (const char* letter : {"F", "C"}) {
    log[at] = letter[0];
    const golden::result r = golden::scan(log, {"--check", "--strict"});
    EXPECT_EQ(r.status, 1) << letter;
    EXPECT_NE(r.out.find(", then " + rest + " bytes that are not a log\n"), std::string::npos)
        << r.out;
    // With C the series ends with EOF_CONT: its next file is not in the
    // input.
    EXPECT_NE(r.out.find(letter[0] == 'F' ? "check: 1 log: 1 error in 1 log: failed\n"
                                          : "check: 1 log: 1 error in 1 log, 1 warning: failed\n"),
              std::string::npos)
        << r.out;
    const golden::result j = golden::scan(log, {"--check", "--json"});
    EXPECT_NE(j.out.find("\"unread_bytes\":" + rest + ","), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"verdict\":\"errors\""), std::string::npos) << j.out;
  }
  // EOF_CONT, then a further log whose signature is damaged.
  log_builder two;
  two.fixrec(logbuild::PUT, 1, 2, 3)
      .end('C')
      .next_log(header_fields())
      .fixrec(logbuild::PUT, 1, 2, 4);
  std::string damaged = two.str();
  const size_t second = damaged.find("DRAV", 10);
  ASSERT_NE(second, std::string::npos);
  damaged[second] = 'X';
  const golden::result d = golden::scan(damaged, {"--check"});
  EXPECT_EQ(d.status, 1);
  EXPECT_NE(d.out.find("t.fwlog: 1 error,"), std::string::npos) << d.out;
}

TEST(Check, SequenceAndTimeWarnings) {
  log_builder b;
  const uint32_t seqs[] = {1, 2, 4, 5, 5, 9, 10, 3, 4, 20, 21, 22};
  uint32_t t = 1700000000;
  for (uint32_t s : seqs) {
    t = s == 9 ? t - 50 : t + 1;  // one step back in time
    b.at(s, t).sign_off(1);
  }
  b.at(23, t + 1).end('F');
  const golden::result r = golden::scan(b.str(), {"--check"});
  EXPECT_EQ(r.status, 0);
  // Breaks: 2->4, 5->5, 5->9, 10->3, 4->20: the first five listed, then
  // the count (here all five), and the time going back.
  EXPECT_EQ(count_of(r.err, ": tag sequence "), 5u) << r.err;
  EXPECT_NE(r.err.find("warning at offset 0"), 0u);
  EXPECT_NE(r.err.find(": tag sequence 5 follows 5 (expected 6)\n"), std::string::npos);
  EXPECT_NE(r.err.find(": timestamp 2023-11-14 22:12:35 (1699999955) is earlier than the previous "
                       "tag's 2023-11-14 22:13:25 (1700000005)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("in all"), std::string::npos);
  EXPECT_NE(r.out.find("t.fwlog: 6 warnings, 13 tags,"), std::string::npos) << r.out;

  // Beyond five of a kind: listed no further, counted at the end.
  log_builder many;
  for (uint32_t s = 0; s < 9; ++s) many.at(s * 2, 1700000000).sign_off(1);
  many.at(17, 1700000000).end('F');
  const golden::result m = golden::scan(many.str(), {"--check", "--strict"});
  EXPECT_EQ(m.status, 1);
  EXPECT_EQ(count_of(m.err, ": tag sequence "), 5u);
  EXPECT_NE(m.err.find("t.fwlog: check: 8 tag sequence breaks in all (the first 5 listed)\n"),
            std::string::npos)
      << m.err;
  EXPECT_NE(m.out.find("check: 1 log: 8 warnings: failed\n"), std::string::npos) << m.out;
}

TEST(Check, FileSequencesAcrossLogsAndOperands) {
  header_fields h1, h2, h5;
  h1.file_sequence = 1;
  h2.file_sequence = 2;
  h5.file_sequence = 5;
  log_builder stream(h1);
  stream.sign_off(1).end('C').next_log(h2).sign_off(1).end('C').next_log(h5).sign_off(1).end('F');
  // A gap in the file sequences is an error of the series, whatever the
  // order the logs are read in.
  const golden::result r = golden::scan(stream.str(), {"--check"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "series 0x5eed generation 3: check: error: file sequences 3 to 4 are missing "
            "(between t.fwlog (log 2) and t.fwlog (log 3))\n");
  EXPECT_NE(r.out.find("t.fwlog: ok,"), std::string::npos);
  EXPECT_NE(r.out.find("t.fwlog (log 2): ok,"), std::string::npos);
  EXPECT_NE(r.out.find("t.fwlog (log 3): ok,"), std::string::npos);
  EXPECT_NE(r.out.find("check: 3 logs: 1 error in 1 series: failed\n"), std::string::npos) << r.out;

  // The next operand continues the count.
  header_fields h6;
  h6.file_sequence = 6;
  golden::temp_file(log_builder(h6).sign_off(1).end('F').str(), "six.fwlog");
  golden::temp_file(log_builder(h2).sign_off(1).end('F').str(), "two.fwlog");
  golden::temp_file(stream.str(), "t.fwlog");
  const golden::result ok = golden::run({"--check", "t.fwlog", "six.fwlog"});
  EXPECT_EQ(count_of(ok.err, "missing"), 1u) << ok.err;
  const golden::result back = golden::run({"--check", "six.fwlog", "two.fwlog"});
  EXPECT_EQ(back.status, 1);
  EXPECT_EQ(back.err,
            "series 0x5eed generation 3: check: error: file sequences 3 to 5 are missing (between "
            "two.fwlog and six.fwlog)\n");

  // Logs of other series (volume set id, generation) do not follow each
  // other; the same log read again is a duplicate.
  header_fields other = h5;
  other.volume_set_id = 0x777;
  golden::temp_file(log_builder(other).sign_off(1).end('F').str(), "other.fwlog");
  const golden::result unrelated = golden::run({"--check", "--strict", "two.fwlog", "other.fwlog"});
  EXPECT_EQ(unrelated.status, 0) << unrelated.err;
  EXPECT_EQ(unrelated.err, "");
  other.volume_set_id = h5.volume_set_id;
  other.volume_generation = h5.volume_generation + 1;
  golden::temp_file(log_builder(other).sign_off(1).end('F').str(), "other.fwlog");
  EXPECT_EQ(golden::run({"--check", "--strict", "two.fwlog", "other.fwlog"}).status, 0);
  const golden::result twice = golden::run({"--check", "two.fwlog", "six.fwlog", "two.fwlog"});
  EXPECT_EQ(twice.err,
            "series 0x5eed generation 3: check: warning: file sequence 2 was read twice, as "
            "two.fwlog and two.fwlog, with the same tags\n"
            "series 0x5eed generation 3: check: error: file sequences 3 to 5 are missing (between "
            "two.fwlog and six.fwlog)\n")
      << twice.err;

  // A further log that begins without an end tag before it is an error.
  log_builder open(h1);
  open.sign_off(1);
  const std::string next_at = std::to_string(open.log_offset());
  open.next_log(h2).sign_off(1).end('F');
  const golden::result o = golden::scan(open.str(), {"--check"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("t.fwlog: check: error at offset " + next_at +
                       ": a further log begins here without an end tag before it\n"),
            std::string::npos)
      << o.err;
}

// Bytes behind the end tag are counted from the file's size, not read: a
// log followed by 8 GiB of zeros (a sparse file) is judged at once.
TEST(Check, TrailingBytesOfAFileAreCountedNotRead) {
  log_builder b;
  b.fixrec(logbuild::PUT, 1, 2, 3).end('F');
  const std::string name = golden::temp_file(b.str(), "tail.fwlog");
  const uint64_t size = uint64_t{8} << 30;
  std::filesystem::resize_file(golden::work_dir() + "/" + name, size);
  const golden::result r = golden::run({"--check", name});
  EXPECT_EQ(r.status, 1);
  const std::string rest = std::to_string(size - b.str().size());
  EXPECT_EQ(r.err, "tail.fwlog: " + rest + " bytes after the end of the log at offset " +
                       std::to_string(b.str().size()) + " are not a log; ignored\n");
  EXPECT_NE(r.out.find("EOF_FINISH, then " + rest + " bytes that are not a log\n"),
            std::string::npos)
      << r.out;
}

// --check --json: one strict JSON object per log and one for the run, with
// the same verdicts and counts as the text, and the findings of each log.
TEST(Check, VerdictsAsJson) {
  header_fields h2;
  h2.file_sequence = 3;
  log_builder b;
  b.sign_off(1).end('C').next_log(h2).at(7, 1700000000).sign_off(1).at(9, 1700000001).sign_off(1);
  const golden::result r = golden::scan(b.str(), {"--check", "--json"});
  const golden::result text = golden::scan(b.str(), {"--check"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.status, text.status);
  EXPECT_EQ(r.err, text.err);
  std::vector<json_reader::value> lines;
  size_t start = 0;
  for (size_t nl; (nl = r.out.find('\n', start)) != std::string::npos; start = nl + 1) {
    const json_reader::result one = json_reader::parse(r.out.substr(start, nl - start));
    ASSERT_TRUE(one.ok()) << one.message();
    lines.push_back(one.v);
  }
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0].at("type").text, "check");
  EXPECT_EQ(lines[0].at("verdict").text, "ok");
  EXPECT_EQ(lines[0].at("end").text, "eof_cont");
  const json_reader::value& second = lines[1];
  EXPECT_EQ(second.at("log_index").num(), 2);
  EXPECT_EQ(second.at("offset").num(), static_cast<long long>(b.str().rfind("DRAV")));
  EXPECT_EQ(second.at("verdict").text, "errors");
  EXPECT_EQ(second.at("errors").num(), 1);
  EXPECT_EQ(second.at("warnings").num(), 1);
  EXPECT_EQ(second.at("tags").num(), 2);
  EXPECT_EQ(second.at("end").text, "input_between");
  ASSERT_EQ(second.at("findings").items.size(), 2u);
  EXPECT_EQ(second.at("findings").items[1].at("text").text,
            "the input ends between tags, without an end tag");
  // File sequence 2 is missing: an error of the series.
  EXPECT_EQ(lines[2].at("type").text, "check_series");
  EXPECT_EQ(lines[2].at("missing_file_sequences").num(), 1);
  EXPECT_EQ(lines[3].at("type").text, "check_run");
  EXPECT_EQ(lines[3].at("verdict").text, "failed");
  EXPECT_EQ(lines[3].at("logs").num(), 2);
}

// The report, the summary and the check agree on which records are
// malformed: an empty payload is none (except FIXREC, whose operation the
// filters read), a payload that breaks its size rule is one in all three.
TEST(Check, ReportSummaryAndCheckAgreeOnMalformedRecords) {
  struct sample {
    uint8_t opcode;
    std::string payload;
    int status;
  };
  std::vector<sample> samples;
  for (unsigned op = 0; op <= 30; ++op)
    samples.push_back({static_cast<uint8_t>(op), "", op == logbuild::OP_FIXREC ? 1 : 0});
  samples.push_back({logbuild::OP_NODEPAGE, "abc", 1});
  samples.push_back({logbuild::OP_FIXREC, std::string(16, 'x'), 1});
  for (const sample& s : samples) {
    log_builder b;
    b.image(s.opcode, 1, 2, s.payload).end('F');
    const std::string what = std::to_string(s.opcode) + "/" + std::to_string(s.payload.size());
    for (const std::vector<std::string>& options : {std::vector<std::string>{"-a"},
                                                    {"-a", "-vvv"},
                                                    {"--json", "-a"},
                                                    {"--stats"},
                                                    {"--check", "--strict"},
                                                    {"-p", "5"},
                                                    {"--check", "-p", "5"}}) {
      const golden::result r = golden::scan(b.str(), options);
      EXPECT_EQ(r.status, s.status) << what << " " << options[0] << "\n" << r.err;
    }
  }
}

TEST(Check, SameVerdictWhateverTheFilters) {
  // Filters change what a report would show, not what the check finds.
  log_builder b;
  b.context_db(100, "shop").fixrec(logbuild::PUT, 3, 100, 1, "row");
  b.image(logbuild::OP_NODEDELETE, 4, 101, "toolong");
  b.nodemeta(7, std::string(9000, 'm'));
  b.before_image(3, 1, 100, 1, logbuild::UPDATE, std::string(9000, 'x'));
  b.at(40, 1600000000).sign_off(2).end('F');
  const std::string log = b.str();
  const golden::result plain = golden::scan(log, {"--check"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(count_of(plain.err, ": malformed "), 3u) << plain.err;
  for (const std::vector<std::string>& filters : {std::vector<std::string>{"-n", "100"},
                                                  {"-x", "4"},
                                                  {"--kind", "PAGE"},
                                                  {"-p", "3"},
                                                  {"-o", "NODE*"},
                                                  {"--limit", "2"},
                                                  {"-t", "1:2"}}) {
    std::vector<std::string> args = {"--check"};
    args.insert(args.end(), filters.begin(), filters.end());
    const golden::result r = golden::scan(log, args);
    SCOPED_TRACE(filters[0]);
    if (filters[0] == "--limit") {
      // A verdict is always on the whole input: --limit is refused.
      EXPECT_EQ(r.status, 2) << r.err;
      continue;
    }
    EXPECT_EQ(r.err, plain.err);
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.status, plain.status);
  }
}

TEST(Check, UnreadableOperandFailsTheRun) {
  golden::temp_file(log_builder().sign_off(1).end('F').str(), "good.fwlog");
  const golden::result r = golden::run({"--check", "good.fwlog", "missing.fwlog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "missing.fwlog: No such file or directory\n");
  EXPECT_EQ(r.out,
            "good.fwlog: ok, 2 tags, sequence 1 to 2, 2023-11-14 22:13:20 to 2023-11-14 "
            "22:13:21, end tag EOF_FINISH\nseries 0x5eed generation 3: ok, 1 log, file sequence 1\n"
            "check: 1 log: 1 input not opened: failed\n");
  EXPECT_EQ(golden::run({"--check"}).status, 2);
}
