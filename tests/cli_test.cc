// The command line: usage and version, options and their announcements,
// bad arguments, the operand and the exit status.
#include <gtest/gtest.h>

#include <algorithm>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

const char usage[] =
    "usage: jrnscan [options] fwlog\noptions:\n"
    " -help       - show usage (this list)\n"
    " -v          - display details\n"
    " -n id       - filter records for specific node#\n"
    " -t f:t      - filter records from:to time (specified in seconds)\n"
    " -s f:t      - filter records from:to sequence id\n"
    " -x f:t      - filter records from:to transaction id\n"
    " -r rec      - filter records by specific record number\n"
    " -p num      - filter records for physical page (implies -a)\n"
    " -o pattern  - filter records by opcode pattern (implies -a)\n"
    " -a          - display all entry types (by default only IMAGE like\n"
    "               operations are displayed)\n"
    " -M file     - specifies file name of node name map (varodor -nt20)\n\n";

std::string header(const std::string& name = "t.fwlog") {
  return "\nFile: " + name +
         "\nversion: 1.05\nbyte order: 1234\ncharacter set: iso-8859-1 (1)\nvolume release: 8\n"
         "volume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
}

// A shown PUT of record 7 in the default view, tag at (seq, seq - 4).
std::string put(int seq) {
  return "\nsequence = " + std::to_string(seq) + "\ntimestamp = 1970-01-01 00:00:0" +
         std::to_string(seq - 4) + " (" + std::to_string(seq - 4) +
         ")\n transaction_id: 17\n session_id: 1\n node_id: #7\n"
         "  recno = 7\n  opcode = PUT (3)\n  data = 2 bytes\n";
}
const char end_at_7[] =
    "\nsequence = 7\ntimestamp = 1970-01-01 00:00:03 (3)\ntag = EOF_FINISH (70)\n";

// PUTs at sequences 4 to 6 (timestamps 0 to 2), then the end tag.
std::string three_puts() {
  log_builder b;
  b.at(4, 0);
  for (int i = 0; i < 3; ++i) b.fixrec(logbuild::PUT, 17, 7, 7, "ab");
  return b.end().str();
}

}  // namespace

TEST(Cli, UsageAndVersion) {
  const std::string banner = "DRAV B.08.00     / WIN32 (build Feb 17 2012)\n";
  struct {
    std::vector<std::string> args;
    std::string out, err;  // err: the whole text, or its end behind getopt's own words
    int status;
  } cases[] = {
      {{}, "", usage, 2},
      {{"-help"}, "", usage, 2},
      {{"-version", "-q", "nosuch.fwlog"}, banner, "", 0},
      // Not the whole word, or not first: parsed as flags, which fail.
      {{"-helpx", "t.fwlog"},
       "",
       "jrnscan: bad arguments\nTry 'jrnscan --help' for more information.\n",
       2},
      {{"-v", "-version", "t.fwlog"},
       "",
       "jrnscan: bad arguments\nTry 'jrnscan --help' for more information.\n",
       2},
  };
  for (const auto& c : cases) {
    golden::result r = golden::run(c.args);
    EXPECT_EQ(r.out, c.out);
    if (c.err == usage || c.err.empty())
      EXPECT_EQ(r.err, c.err);
    else
      EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), c.err.size())), c.err);
    EXPECT_EQ(r.status, c.status);
  }
}

TEST(Cli, AnnouncementsInFixedOrder) {
  log_builder b;
  golden::result r =
      golden::scan(b.at(1, 0).end().str(), {"-o", "FIX*", "-v", "-r", "7", "-p", "9", "-s", "5:6",
                                            "-x", "10:20", "-a", "-t", "100:200", "-n", "3", "-v"});
  EXPECT_EQ(r.out,
            "** Filter node id: #3\n"
            "** Filter from time: 1970-01-01 00:01:40 (100)\n"
            "** Filter to time: 1970-01-01 00:03:20 (200)\n"
            "** Filter from txn: 10\n** Filter to txn: 20\n"
            "** Filter from seq: 5\n** Filter to seq: 6\n"
            "** Filter page: 9 (0x9)\n** Filter record number: 7\n"
            "** Filter opcode by pattern: \"FIX*\"\n" +
                header() +
                "\nsequence = 1\ntimestamp = 1970-01-01 00:00:00 (0)\ntag = EOF_FINISH (70)\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(Cli, RangesAndZeroSettings) {
  struct {
    std::vector<std::string> options;
    std::string out;
    std::string err = "";
  } cases[] = {
      {{"-t", ":100", "-n", "0", "-p", "0", "-r", "0"},
       header() + put(4) + put(5) + put(6) + end_at_7,
       "jrnscan: warning: -t ':100' is not a range f:t of decimal numbers; read as 0:0 (no "
       "filter)\n"},
      {{"-s", "5"}, "** Filter from seq: 5\n" + header() + put(5) + put(6) + end_at_7},
      {{"-s", "5:3"},
       "** Filter from seq: 5\n** Filter to seq: 3\n" + header() + end_at_7,
       "jrnscan: warning: -s '5:3' has its lower bound 5 above its upper bound 3; no tag can "
       "match\n"},
      {{"-t", "0:1"},
       "** Filter to time: 1970-01-01 00:00:01 (1)\n" + header() + put(4) + put(5) + end_at_7},
      {{"-x", "18"}, "** Filter from txn: 18\n" + header() + end_at_7},
      {{"-o", ""}, "** Filter opcode by pattern: \"\"\n" + header() + end_at_7},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(three_puts(), c.options);
    EXPECT_EQ(r.out, c.out) << c.options[0] << " " << c.options[1];
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 0);
  }
}

TEST(Cli, BadArgumentsAfterAllOptionsWereParsed) {
  golden::temp_file("heading\nheading\n7 3 ORDERS 0\n", "good.map");
  golden::temp_file("heading\nheading\njunk\n", "bad.map");
  // The failed first -M does not stop the parsing: the later maps are
  // loaded (the bad one reports itself) before the run ends.
  golden::result r =
      golden::run({"-M", "missing.map", "-v", "-M", "good.map", "-M", "bad.map", "-a", "t.fwlog"});
  EXPECT_EQ(r.err,
            "missing.map: No such file or directory\nbad format: junk\n\njrnscan: bad "
            "arguments\nTry 'jrnscan --help' for more information.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 2);

  r = golden::run({"-q", "-M", "bad.map", "-v", "t.fwlog"});
  EXPECT_NE(r.err.find("bad format: junk\n\njrnscan: bad arguments\nTry 'jrnscan --help' for more "
                       "information.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.status, 2);
}

TEST(Cli, Operands) {
  const std::string log = log_builder().at(1, 0).end().str();
  const std::string tail =
      "\nsequence = 1\ntimestamp = 1970-01-01 00:00:00 (0)\ntag = EOF_FINISH (70)\n";
  golden::temp_file(log, "t.fwlog");
  struct {
    std::vector<std::string> args;
    std::string in, out, err;
    int status;
  } cases[] = {
      // Every operand is read; one that cannot be opened makes the status 1.
      {{"-", "nosuch.fwlog"},
       log,
       header("(stdin)") + tail,
       "nosuch.fwlog: No such file or directory\n",
       1},
      {{"t.fwlog", "-", "t.fwlog"},
       log,
       header() + tail + header("(stdin)") + tail + header() + tail,
       "",
       0},
      {{"-", "t.fwlog", "-"},
       log,
       "",
       "jrnscan: standard input (-) may be given only once\nTry 'jrnscan --help' for more "
       "information.\n",
       2},
      {{"-"}, "", "", "(stdin): bad file format\nUnable to read file header signature\n", 1},
      // Announced before the open fails.
      {{"-n", "5", "nosuch.fwlog"},
       "",
       "** Filter node id: #5\n",
       "nosuch.fwlog: No such file or directory\n",
       1},
      {{"-a", "-v"},
       "",
       "",
       "jrnscan: no fwlog file specified\nTry 'jrnscan --help' for more information.\n",
       2},
  };
  for (const auto& c : cases) {
    golden::result r = golden::run(c.args, c.in);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.both, c.out + c.err);
    EXPECT_EQ(r.status, c.status);
  }
}
