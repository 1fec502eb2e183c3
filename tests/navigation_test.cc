// Getting around a log: --limit, --offsets, --kind, --since / --until,
// --utc, --list-opcodes and --list-kinds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

// 2023-11-16 05:13:38 UTC; 14:13:38 in Japan.
constexpr uint32_t t0 = 1700111618;

const char hint[] = "jrnscan: bad arguments\nTry 'jrnscan --help' for more information.\n";

std::string header(const std::string& name) {
  return "\nFile: " + name +
         "\nversion: 1.05\nbyte order: 1234\ncharacter set: iso-8859-1 (1)\nvolume release: 8\n"
         "volume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
}

// A shown PUT of record 7 in the default view; clock is the time of day
// as the report shows it.
std::string put(int seq, uint32_t ts, const std::string& clock, const std::string& extra = "") {
  return "\nsequence = " + std::to_string(seq) + "\ntimestamp = 2023-11-16 " + clock + " (" +
         std::to_string(ts) + ")\n" + extra +
         " transaction_id: 17\n session_id: 1\n node_id: #7\n  recno = 7\n  opcode = PUT (3)\n"
         "  data = 2 bytes\n";
}

// PUTs at sequences 1 to 5, timestamps t0 - 2 to t0 + 2, then EOF_FINISH at
// sequence 6, t0 + 3.
std::string five_puts() {
  log_builder b;
  b.at(1, t0 - 2);
  for (int i = 0; i < 5; ++i) b.fixrec(logbuild::PUT, 17, 7, 7, "ab");
  return b.end().str();
}

const char* const clocks[] = {"05:13:36", "05:13:37", "05:13:38",
                              "05:13:39", "05:13:40", "05:13:41"};

std::string five_puts_report(const std::string& name, int first, int last, bool end = true) {
  std::string s = header(name);
  for (int seq = first; seq <= last; ++seq) s += put(seq, t0 - 3 + seq, clocks[seq - 1]);
  if (end)
    s += "\nsequence = 6\ntimestamp = 2023-11-16 05:13:41 (1700111621)\ntag = EOF_FINISH (70)\n";
  return s;
}

// One tag of every kind (1.05 layout), then EOF_FINISH.
std::string every_kind() {
  log_builder b;
  b.fixrec(logbuild::PUT, 17, 7, 7, "ab").image(logbuild::OP_BEGIN, 17, 0, "");
  b.page(logbuild::page_image(1)).cluster(102, 7, {logbuild::page_image(2)});
  b.nodemeta(102, "meta").before_image(17, 3, 102, 7, logbuild::PUT, "xy");
  b.memo(3, 1, "memo").context_db(100, "Shop").slave_sync(1, 2, 3, 4);
  return b.end().str();
}

// The kind names of the "tag = " lines, one per shown tag.
std::vector<std::string> tag_kinds(const std::string& report) {
  std::vector<std::string> kinds;
  std::istringstream in(report);
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 6, "tag = ") == 0) kinds.push_back(line.substr(6, line.find(" (") - 6));
  return kinds;
}

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

}  // namespace

// --limit N: the scan stops once N tags were shown, end tags counted, with
// exit status 0, and reads no further: what lies behind in the input would
// otherwise be reported.
TEST(Limit, StopsAfterTheShownTagsAndReadsNoFurther) {
  // Behind the end tag, 8 MiB that are not a log.
  const std::string input = five_puts() + std::string(8 << 20, 'Z');
  golden::result all = golden::run({"-", "--limit", "7"}, input);
  EXPECT_EQ(all.out, five_puts_report("(stdin)", 1, 5));
  // A stream is looked into for a further log only so far: the rest is
  // not read.
  EXPECT_EQ(all.err,
            "(stdin): the input goes on after the end of the log at offset 265 with more than "
            "1048576 bytes that are not a log; the rest is not read\n");
  // A file's size says how much is behind without reading it.
  EXPECT_EQ(golden::scan(input, {"--limit", "7"}).err,
            "t.fwlog: 8388608 bytes after the end of the log at offset 265 are not a log; "
            "ignored\n");

  struct {
    const char* limit;
    int last;
    bool end;
  } cases[] = {{"1", 1, false}, {"3", 3, false}, {"5", 5, false}, {"6", 5, true}};
  for (const auto& c : cases) {
    golden::result r = golden::run({"--limit", c.limit, "-"}, input);
    EXPECT_EQ(r.out, five_puts_report("(stdin)", 1, c.last, c.end)) << c.limit;
    EXPECT_EQ(r.err, "") << c.limit;
    EXPECT_EQ(r.status, 0) << c.limit;
  }

  // A log cut inside its third tag: the limit ends the run before the cut.
  const std::string cut = five_puts().substr(0, 36 + 44 * 2 + 10);
  golden::result r = golden::scan(cut, {"--limit=2"});
  EXPECT_EQ(r.out, five_puts_report("t.fwlog", 1, 2, false));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(golden::scan(cut, {"--limit=3"}).status, 1);
}

// Only shown tags count, across the logs of a stream and across operands;
// an operand behind the limit is not even opened.
TEST(Limit, CountsShownTagsAcrossLogsAndOperands) {
  log_builder b;
  b.at(1, t0 - 2).image(logbuild::OP_BEGIN, 17, 0, "").fixrec(logbuild::PUT, 17, 7, 7, "ab");
  b.image(logbuild::OP_BEGIN, 17, 0, "").end('C');
  b.next_log(logbuild::header_fields()).fixrec(logbuild::PUT, 17, 7, 7, "ab").end();
  const std::string log = golden::temp_file(b.str(), "two.fwlog");
  // Shown in the default view: PUT 2, EOF_CONT 4, PUT 5, EOF_FINISH 6.
  golden::result r = golden::run({"--limit", "3", log, "missing.fwlog"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(tag_kinds(r.out), std::vector<std::string>{"EOF_CONT"});
  EXPECT_NE(r.out.find("\nsequence = 5\n"), std::string::npos);
  EXPECT_EQ(r.out.find("\nsequence = 6\n"), std::string::npos);
  // Not reached: the second operand is opened and fails.
  r = golden::run({"--limit", "5", log, "missing.fwlog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "missing.fwlog: No such file or directory\n");
  // The JSON report stops at the same place.
  r = golden::run({"--limit", "3", "--json", log});
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 + 3);
  EXPECT_EQ(r.out.find("\"sequence\":6"), std::string::npos);

  for (const char* bad : {"0", "x", "2k", "-1", ""}) {
    golden::result e = golden::run({"--limit", bad, log});
    EXPECT_EQ(e.status, 2) << bad;
    EXPECT_EQ(e.out, "") << bad;
    EXPECT_EQ(e.err, "jrnscan: --limit takes a number of tags from 1 up, not '" + std::string(bad) +
                         "'\n" + hint)
        << bad;
  }
}

// --offsets: "offset = N" right behind each shown tag's timestamp line, N
// the input offset of the tag's first byte (what xxd -s takes), also for
// the second log of a stream; the header says where its log begins, and
// the JSON report gives the same offsets.
TEST(Offsets, EveryShownTagWithItsFirstByte) {
  golden::result r = golden::scan(five_puts(), {"--offsets", "-s", "2:3"});
  EXPECT_EQ(r.out, "** Filter from seq: 2\n** Filter to seq: 3\n" + header("t.fwlog") +
                       "log offset: 0\n" + put(2, t0 - 1, "05:13:37", "offset = 80\n") +
                       put(3, t0, "05:13:38", "offset = 124\n") +
                       "\nsequence = 6\ntimestamp = 2023-11-16 05:13:41 (1700111621)\n"
                       "offset = 256\ntag = EOF_FINISH (70)\n");

  // Every kind, in both tag layouts, two logs to a stream.
  for (const char* version : {"1.05", "1.00"}) {
    logbuild::header_fields h;
    h.version = version;
    log_builder b(h);
    struct placed {
      size_t at;  // the tag's first byte in the stream
      size_t log_start;
      char letter;
    };
    std::vector<placed> tags;
    size_t log_start = 0;
    auto next = [&](char letter) { tags.push_back({b.str().size(), log_start, letter}); };
    for (int log = 0; log < 2; ++log) {
      if (log == 1) {
        log_start = b.str().size();
        b.next_log(h);
      }
      next('1');
      b.fixrec(logbuild::PUT, 17, 7, 7, std::string(log * 300, 'd'));
      next('2');
      b.page(logbuild::page_image(1));
      next('3');
      b.cluster(102, 7, {logbuild::page_image(2), logbuild::page_image(3)});
      next('4');
      b.nodemeta(102, "meta");
      next('S');
      b.slave_sync(1, 2, 3, 4);
      if (std::string(version) != "1.00") {
        next('5');
        b.before_image(17, 3, 102, 7, logbuild::PUT, "xy");
        next('6');
        b.memo(3, 1, "memo");
        next('7');
        b.context_db(100, "Shop");
      }
      const char end = log == 0 ? 'C' : 'F';
      next(end);
      b.end(end);
    }
    const std::string& log = b.str();
    r = golden::scan(log, {"-a", "--offsets"});
    EXPECT_EQ(r.err, "") << version;
    std::vector<long long> shown;
    std::vector<uint32_t> sequences;
    std::istringstream in(r.out);
    std::string line, previous;
    while (std::getline(in, line)) {
      if (line.compare(0, 11, "sequence = ") == 0)
        sequences.push_back(static_cast<uint32_t>(std::stoul(line.substr(11))));
      if (line.compare(0, 9, "offset = ") == 0) {
        EXPECT_EQ(previous.compare(0, 12, "timestamp = "), 0) << previous;
        shown.push_back(std::stoll(line.substr(9)));
      }
      previous = line;
    }
    ASSERT_EQ(sequences.size(), tags.size()) << version;
    ASSERT_EQ(shown.size(), tags.size()) << version;
    for (size_t i = 0; i < tags.size(); ++i) {
      const placed& t = tags[i];
      EXPECT_EQ(static_cast<size_t>(shown[i]), t.at) << version << " tag " << i;
      // The bytes there open the tag: its letter and sequence number, or
      // in the old layout the sequence number first.
      const bool old_layout = std::string(version) == "1.00";
      uint32_t s;
      std::memcpy(&s, log.data() + t.at + (old_layout ? 0 : 1), 4);
      EXPECT_EQ(s, sequences[i]) << version << " tag " << i;
      EXPECT_EQ(log[t.at + (old_layout ? 8 : 0)], t.letter) << version << " tag " << i;
    }
    // The same offsets in the JSON report.
    const std::string json = golden::scan(log, {"-a", "--json"}).out;
    std::vector<long long> from_json;
    for (size_t at = 0; (at = json.find("\"type\":\"tag\"", at)) != std::string::npos; ++at) {
      const size_t o = json.find("\"offset\":", at);
      from_json.push_back(std::stoll(json.substr(o + 9)));
    }
    EXPECT_EQ(from_json, shown) << version;
    // Each log's header gives its start.
    std::vector<long long> starts;
    for (size_t at = 0; (at = r.out.find("\nlog offset: ", at)) != std::string::npos; ++at)
      starts.push_back(std::stoll(r.out.substr(at + 13)));
    EXPECT_EQ(starts, (std::vector<long long>{0, static_cast<long long>(log_start)})) << version;
  }
}

// --kind: only the kinds listed (any case), end tags always; a kind asked
// for shows whether image-like or not.
TEST(Kind, OnlyTheKindsListed) {
  const std::string log = every_kind();
  golden::result r = golden::scan(log, {"--kind", "REC,PAGE"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(tag_kinds(r.out), (std::vector<std::string>{"REC", "REC", "PAGE", "EOF_FINISH"}));
  EXPECT_NE(r.out.find(" opcode: BEGIN (3)\n"), std::string::npos);  // not image-like
  EXPECT_EQ(golden::scan(log, {"--kind=rec,Page"}).out, r.out);
  EXPECT_EQ(golden::scan(log, {"-a", "--kind", "page,REC"}).out, r.out);
  // With other filters: the kinds among what they let through.
  EXPECT_EQ(tag_kinds(golden::scan(log, {"--kind", "REC,BEFORE_IMAGE", "-n", "102"}).out),
            (std::vector<std::string>{"BEFORE_IMAGE", "EOF_FINISH"}));
  // End tags show whatever the list says; their names are taken too.
  EXPECT_EQ(tag_kinds(golden::scan(log, {"--kind", "EOF_FINISH"}).out),
            std::vector<std::string>{"EOF_FINISH"});
  EXPECT_EQ(tag_kinds(golden::scan(log, {"--kind", "eof_cont,AUDIT"}).out),
            (std::vector<std::string>{"AUDIT", "EOF_FINISH"}));
  // The letters that --list-kinds shows are taken as well.
  EXPECT_EQ(golden::scan(log, {"--kind", "1,2"}).out, r.out);
  EXPECT_EQ(tag_kinds(golden::scan(log, {"--kind", "s,F"}).out),
            (std::vector<std::string>{"SLAVE_SYNC", "EOF_FINISH"}));

  const std::string known =
      "; the kinds are REC, PAGE, CLUSTER, NODEMETA, BEFORE_IMAGE, AUDIT, CONTEXT and SLAVE_SYNC, "
      "or their letters (end tags, EOF_CONT and EOF_FINISH, always show)\n";
  for (const std::pair<const char*, const char*>& c :
       std::vector<std::pair<const char*, const char*>>{{"REC,FOO", "FOO"},
                                                        {"", ""},
                                                        {"REC,", ""},
                                                        {"REC PAGE", "REC PAGE"},
                                                        {"IMAGE", "IMAGE"},
                                                        {"8", "8"}}) {
    golden::result e = golden::scan(log, {"--kind", c.first});
    EXPECT_EQ(e.status, 2) << c.first;
    EXPECT_EQ(e.out, "") << c.first;
    EXPECT_EQ(e.err,
              "jrnscan: --kind: unknown tag kind '" + std::string(c.second) + "'" + known + hint)
        << c.first;
  }
}

// --list-kinds: a letter and a name per line, every name one that --kind
// takes and one that the report shows for tags of that letter.
TEST(Kind, ListedKindsMatchTheReport) {
  golden::result r = golden::run({"--list-kinds"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "1 REC\n2 PAGE\n3 CLUSTER\n4 NODEMETA\n5 BEFORE_IMAGE\n6 AUDIT\n7 CONTEXT\n"
            "S SLAVE_SYNC\nC EOF_CONT\nF EOF_FINISH\n");
  const std::string all = golden::scan(every_kind(), {"-a"}).out;
  const std::vector<std::string> listed = words(r.out);
  for (size_t i = 0; i + 1 < listed.size(); i += 2) {
    const char letter = listed[i][0];
    const std::string& name = listed[i + 1];
    if (letter != 'C') {
      // The report's "tag = NAME (code)" line, code the letter.
      const std::string tag_line = "\ntag = " + name + " (" + std::to_string(letter) + ")";
      EXPECT_NE(all.find(tag_line), std::string::npos) << name;
    }
    golden::result k = golden::scan(every_kind(), {"--kind", name});
    EXPECT_EQ(k.status, 0) << name;
    std::vector<std::string> expected;
    for (const std::string& kind : tag_kinds(all))
      if (kind == name || kind == "EOF_FINISH") expected.push_back(kind);
    EXPECT_EQ(tag_kinds(k.out), expected) << name;
  }
}

// --list-opcodes: "<code> <NAME>" for every operation code with a name.
TEST(ListOpcodes, EveryNamedCode) {
  golden::result r = golden::run({"--list-opcodes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "0 EOT\n1 IGNORE\n2 CHECKPOINT\n3 BEGIN\n4 NODE\n5 NODEDELETE\n6 NODEPAGE\n"
            "7 NODECLUSTER\n8 NODELISTPAGE\n9 NODELISTPAGEHEAD\n10 NODELISTITEM\n"
            "11 NODELISTITEMSET\n12 NODELISTFILLITEM\n13 FIXREC\n14 FIXREC_META\n"
            "15 FIXREC_NEWCLUSTER\n16 BTREE\n17 SYSCAT\n18 POOL\n19 VOL_EXTEND\n20 VOL_REDIR\n"
            "21 NEW_NODEPAGE\n22 POOL_ITEMSIZE\n23 POOL_FLIST\n24 CHECKPOINT\n25 FWR_AUDIT\n"
            "26 BTREE_FWR\n27 POOL_UPDATE\n28 FWR_SERIAL\n");
  // The list ends the run: nothing else is read.
  EXPECT_EQ(golden::run({"--list-opcodes", "missing.fwlog"}).out, r.out);
  EXPECT_EQ(golden::run({"--list-opcodes", "missing.fwlog"}).status, 0);
}

// --since / --until: every accepted form of date-time, its announcement
// as -t's, and the tags it lets through (both bounds included). A date
// alone is the whole day: from its first second, up to its last.
TEST(SinceUntil, AcceptedForms) {
  const std::string log = five_puts();
  struct {
    const char* text;
    uint32_t seconds;
    const char* shown;           // announced as
    uint32_t until_seconds = 0;  // as --until, when not the same
    const char* until_shown = nullptr;
  } forms[] = {
      {"2023-11-16", 1700092800, "2023-11-16 00:00:00", 1700179199, "2023-11-16 23:59:59"},
      {"2023-11-15", 1700006400, "2023-11-15 00:00:00", 1700092799, "2023-11-15 23:59:59"},
      {"2023-11-16Z", 1700092800, "2023-11-16 00:00:00", 1700179199, "2023-11-16 23:59:59"},
      {"2023-11-16+09:00", 1700060400, "2023-11-15 15:00:00", 1700146799, "2023-11-16 14:59:59"},
      {"2023-11-16 05:13", 1700111580, "2023-11-16 05:13:00"},
      {"2023-11-16 05:13:38", t0, "2023-11-16 05:13:38"},
      {"2023-11-16T05:13:38", t0, "2023-11-16 05:13:38"},
      {"2023-11-16T05:13:38Z", t0, "2023-11-16 05:13:38"},
      {"2023-11-16 05:13:38Z", t0, "2023-11-16 05:13:38"},
      {"2023-11-16T07:13:38+02:00", t0, "2023-11-16 05:13:38"},
      {"2023-11-16T00:43:38-04:30", t0, "2023-11-16 05:13:38"},
      {"2023-11-16T05:13:38+00:00", t0, "2023-11-16 05:13:38"},
      {"2023-11-16T05:14Z", 1700111640, "2023-11-16 05:14:00"},
      {"2024-02-29", 1709164800, "2024-02-29 00:00:00", 1709251199, "2024-02-29 23:59:59"},
      {"1970-01-01T00:00:01Z", 1, "1970-01-01 00:00:01"},
      {"2038-01-19T03:14:07Z", 2147483647, "2038-01-19 03:14:07"},
  };
  for (const auto& f : forms) {
    const std::string seconds = std::to_string(f.seconds);
    golden::result r = golden::scan(log, {"--since", f.text});
    EXPECT_EQ(r.status, 0) << f.text;
    EXPECT_EQ(r.err, "") << f.text;
    // The tags at or after the bound, and the end tag.
    int first = 1;
    while (first <= 5 && t0 - 3 + static_cast<uint32_t>(first) < f.seconds) ++first;
    EXPECT_EQ(r.out, "** Filter from time: " + std::string(f.shown) + " (" + seconds + ")\n" +
                         five_puts_report("t.fwlog", first, 5))
        << f.text;
    // The upper bound in the same way.
    const uint32_t until = f.until_shown ? f.until_seconds : f.seconds;
    r = golden::scan(log, {"--until=" + std::string(f.text)});
    int last = 5;
    while (last >= 1 && t0 - 3 + static_cast<uint32_t>(last) > until) --last;
    EXPECT_EQ(r.out, "** Filter to time: " + std::string(f.until_shown ? f.until_shown : f.shown) +
                         " (" + std::to_string(until) + ")\n" +
                         five_puts_report("t.fwlog", 1, last))
        << f.text;
  }
  // Both, as -t with the same seconds.
  golden::result both =
      golden::scan(log, {"--since", "2023-11-16 05:13:37", "--until", "2023-11-16T05:13:39Z"});
  EXPECT_EQ(both.out, golden::scan(log, {"-t", "1700111617:1700111619"}).out);
  const std::string announced =
      "** Filter from time: 2023-11-16 05:13:37 (1700111617)\n"
      "** Filter to time: 2023-11-16 05:13:39 (1700111619)\n";
  EXPECT_EQ(both.out.substr(0, announced.size()), announced);
  EXPECT_EQ(tag_kinds(both.out), std::vector<std::string>{"EOF_FINISH"});
  // The same date for both bounds is that whole day.
  EXPECT_EQ(golden::scan(log, {"--since", "2023-11-16", "--until", "2023-11-16"}).out,
            "** Filter from time: 2023-11-16 00:00:00 (1700092800)\n"
            "** Filter to time: 2023-11-16 23:59:59 (1700179199)\n" +
                five_puts_report("t.fwlog", 1, 5));
  // Bounds the wrong way round: told, as for -t.
  golden::result reversed = golden::scan(log, {"--since", "2023-11-17", "--until", "2023-11-16"});
  EXPECT_EQ(reversed.err,
            "jrnscan: warning: --since '2023-11-17' lies after --until '2023-11-16'; no tag can "
            "match\n");
  EXPECT_EQ(reversed.status, 0);
}

// A text that is none of the forms, or a moment that does not exist or lies
// outside the log's timestamps, is a command-line error that names the
// forms.
TEST(SinceUntil, RefusedTexts) {
  const char* const bad[] = {
      "yesterday",
      "",
      "2023-11-16 5:13",
      "2023/11/16",
      "23-11-16",
      "12023-11-16",
      "2023-11-16T",
      "2023-11-16 ",
      "2023-11-16 05:13:38 ",
      "2023-11-16 05",
      "2023-11-16  05:13",
      "2023-02-29",
      "2023-04-31",
      "2023-13-01",
      "2023-00-10",
      "2023-11-00",
      "2023-11-16 24:00",
      "2023-11-16 05:60",
      "2023-11-16 05:13:60",
      "2023-11-16 05:13:38.5",
      "2023-11-16T05:13:38z",
      "2023-11-16T05:13:38+2",
      "2023-11-16T05:13:38+02",
      "2023-11-16T05:13:38+0200",
      "2023-11-16T05:13:38+24:00",
      "2023-11-16T05:13:38+02:60",
      "2023-11-16T05:13:38Z+01:00",
      "1969-12-31",
      "1969-12-31T23:59:59Z",
      "1970-01-01T00:30:00+01:00",
      "2106-02-07T06:28:16Z",
      "9999-12-31",
  };
  for (const char* text : bad) {
    for (const char* option : {"--since", "--until"}) {
      golden::result r = golden::scan(five_puts(), {option, text});
      EXPECT_EQ(r.status, 2) << option << " " << text;
      EXPECT_EQ(r.out, "") << option << " " << text;
      EXPECT_EQ(r.err, "jrnscan: " + std::string(option) + ": '" + text +
                           "' is not a date-time; give YYYY-MM-DD, YYYY-MM-DD HH:MM, "
                           "YYYY-MM-DD HH:MM:SS or YYYY-MM-DDTHH:MM:SS, with Z or +HH:MM/-HH:MM "
                           "for a time that is not local\n" +
                           hint)
          << option << " " << text;
    }
  }
}

// Local date-times follow TZ, daylight saving time included; Z and offsets
// do not. --utc shows every time in UTC whatever TZ says.
TEST(SinceUntil, LocalTimeFollowsTzAndUtcOverridesIt) {
  const std::string log = golden::temp_file(five_puts(), "t.fwlog");
  const golden::environment japan = {{"TZ", "JST-9"}};
  golden::result r = golden::run({"--since", "2023-11-16 14:13:38", "-s", "3:3", log}, "", japan);
  EXPECT_EQ(r.out,
            "** Filter from time: 2023-11-16 14:13:38 (1700111618)\n"
            "** Filter from seq: 3\n** Filter to seq: 3\n" +
                header("t.fwlog") + put(3, t0, "14:13:38") +
                "\nsequence = 6\ntimestamp = 2023-11-16 14:13:41 (1700111621)\n"
                "tag = EOF_FINISH (70)\n");
  EXPECT_EQ(golden::run({"--since", "2023-11-16T05:13:38Z", "-s", "3:3", log}, "", japan).out,
            r.out);
  EXPECT_EQ(golden::run({"--since", "2023-11-16T14:13:38+09:00", "-s", "3:3", log}, "", japan).out,
            r.out);
  // --utc: the announcement and the timestamps in UTC, and a date-time
  // without a zone is UTC too, whatever the order of the options.
  golden::result utc =
      golden::run({"--utc", "--since", "2023-11-16 05:13:38", "-s", "3:3", log}, "", japan);
  EXPECT_EQ(utc.out,
            "** Filter from time: 2023-11-16 05:13:38 (1700111618)\n"
            "** Filter from seq: 3\n** Filter to seq: 3\n" +
                header("t.fwlog") + put(3, t0, "05:13:38") +
                "\nsequence = 6\ntimestamp = 2023-11-16 05:13:41 (1700111621)\n"
                "tag = EOF_FINISH (70)\n");
  EXPECT_EQ(golden::run({"-t", "1700111618", "-s", "3:3", log, "--utc"}, "", japan).out, utc.out);
  EXPECT_EQ(golden::run({"--since=2023-11-16T05:13:38", "-s", "3:3", log, "--ut"}, "", japan).out,
            utc.out);
  EXPECT_EQ(
      golden::run({"--since", "2023-11-16T14:13:38+09:00", "--utc", "-s3:3", log}, "", japan).out,
      utc.out);
  const golden::environment new_york = {{"TZ", "America/New_York"}};
  EXPECT_EQ(
      golden::run({"--utc", "--since", "2023-11-16 05:14", log}, "", new_york).out.substr(0, 54),
      "** Filter from time: 2023-11-16 05:14:00 (1700111640)\n");
  EXPECT_EQ(golden::run({"--until", "2023-11-16", "--utc", log}, "", new_york).out.substr(0, 52),
            "** Filter to time: 2023-11-16 23:59:59 (1700179199)\n");
  // Without --utc the day is the local one.
  EXPECT_EQ(golden::run({"--until", "2023-11-16", log}, "", new_york).out.substr(0, 52),
            "** Filter to time: 2023-11-16 23:59:59 (1700197199)\n");
  // The same report under TZ=UTC, with or without --utc.
  EXPECT_EQ(golden::run({"--utc", "--since", "2023-11-16 05:13:38", "-s", "3:3", log}).out,
            utc.out);
  EXPECT_EQ(golden::run({"--since", "2023-11-16 05:13:38", "-s", "3:3", log}).out, utc.out);

  // Central Europe: summer time is two hours ahead of UTC, winter time one.
  const golden::environment cet = {{"TZ", "CET-1CEST,M3.5.0,M10.5.0/3"}};
  EXPECT_EQ(golden::run({"--since", "2023-07-01 12:00", log}, "", cet).out.substr(0, 54),
            "** Filter from time: 2023-07-01 12:00:00 (1688205600)\n");
  EXPECT_EQ(
      golden::run({"--since", "2023-11-16 06:13:38", log, "--utc"}, "", cet).out.substr(0, 54),
      "** Filter from time: 2023-11-16 06:13:38 (1700115218)\n");
}
