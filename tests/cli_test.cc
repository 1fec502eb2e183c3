// The command line: usage and version, options and their announcements,
// bad arguments, the operand and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "cli/version.h"
#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

const char hint[] = "Try 'jrnscan --help' for more information.\n";

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
      // With no argument at all the usage ends with the hint of the errors.
      {{}, "", usage + std::string(hint), 2},
      {{"-help"}, "", usage, 2},
      {{"-version", "-q", "nosuch.fwlog"}, banner, "", 0},
      // The classic banner stays; --version gives the tool's own version.
      {{"--version"}, "jrnscan " JRNSCAN_VERSION "\n", "", 0},
      {{"-a", "--version", "nosuch.fwlog"}, "jrnscan " JRNSCAN_VERSION "\n", "", 0},
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
    if (c.err.rfind(usage, 0) == 0 || c.err.empty())
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
      {{"-o", ""},
       "** Filter opcode by pattern: \"\"\n" + header() + end_at_7,
       "jrnscan: warning: -o '' matches no opcode name; --list-opcodes lists them\n"},
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

// Numbers that convert completely into 32 bits are taken without a word:
// pages and record numbers up to 4294967295, node numbers from -2147483648
// to 4294967295, where one above 2147483647 is the node of its negative.
TEST(Cli, ThirtyTwoBitValuesAreTakenSilently) {
  const std::string log = three_puts();
  struct {
    std::vector<std::string> options;
    std::string announced, err;
  } cases[] = {
      {{"-r", "4294967295"}, "** Filter record number: 4294967295\n", ""},
      {{"-p", "3000000000"}, "** Filter page: 3000000000 (0xb2d05e00)\n", ""},
      {{"--page=4294967295"}, "** Filter page: 4294967295 (0xffffffff)\n", ""},
      {{"-n", "4294967291"}, "** Filter node id: #-5\n", ""},
      {{"-n", "-2147483648"}, "** Filter node id: #-2147483648\n", ""},
      {{"-n", "2147483648"}, "** Filter node id: #-2147483648\n", ""},
      // Beyond 32 bits, or negative for an unsigned setting: read as before, told.
      {{"-p", "4294967296"},
       "",
       "jrnscan: warning: -p '4294967296' is out of range; read as 0 (no page filter)\n"},
      {{"-r", "-1"},
       "** Filter record number: 4294967295\n",
       "jrnscan: warning: -r '-1' is negative; read as 4294967295\n"},
      {{"-n", "4294967296"},
       "",
       "jrnscan: warning: -n '4294967296' is out of range; read as 0 (no node filter)\n"},
      {{"-n", "-2147483649"},
       "** Filter node id: #2147483647\n",
       "jrnscan: warning: -n '-2147483649' is out of range; read as 2147483647\n"},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(log, c.options);
    EXPECT_EQ(r.out.substr(0, c.announced.size() + 6), c.announced + "\nFile:") << c.options[0];
    EXPECT_EQ(r.err, c.err) << c.options[0];
    EXPECT_EQ(r.status, 0);
  }
  // -n 4294967291 shows the records of node -5.
  log_builder b;
  b.at(4, 0).fixrec(logbuild::PUT, 17, 0xfffffffbu, 7, "ab").fixrec(logbuild::PUT, 17, 5, 7, "ab");
  const std::string two_nodes = b.end().str();
  const golden::result by_negative = golden::scan(two_nodes, {"-n", "-5"});
  EXPECT_EQ(golden::scan(two_nodes, {"-n", "4294967291"}).both, by_negative.both);
  EXPECT_NE(by_negative.out.find("node_id: #-5\n"), std::string::npos);
  EXPECT_EQ(by_negative.out.find("node_id: #5\n"), std::string::npos);
}

// A pattern that matches no opcode name (a slip of the keyboard) is told
// before the report, with the closest names; the run goes on.
TEST(Cli, OpcodePatternThatMatchesNoName) {
  log_builder b;
  b.at(4, 0).fixrec(logbuild::PUT, 17, 7, 7, "ab");
  const std::string log = b.end().str();
  const struct {
    std::vector<std::string> options;
    std::string err;
  } cases[] = {
      {{"-o", "FIXRC"},
       "jrnscan: warning: -o 'FIXRC' matches no opcode name (closest: FIXREC); --list-opcodes "
       "lists them\n"},
      {{"--opcode=nodelistpag"},
       "jrnscan: warning: --opcode 'nodelistpag' matches no opcode name (closest: NODELISTPAGE); "
       "--list-opcodes lists them\n"},
      {{"-o", "nodelistitemsx"},
       "jrnscan: warning: -o 'nodelistitemsx' matches no opcode name (closest: NODELISTITEM, "
       "NODELISTITEMSET); --list-opcodes lists them\n"},
      {{"-o", "XYZZY"},
       "jrnscan: warning: -o 'XYZZY' matches no opcode name; --list-opcodes "
       "lists them\n"},
      // Any name a record shows under counts, the one of unknown codes too.
      {{"-o", "fix*"}, ""},
      {{"-o", "*unknown op*"}, ""},
      {{"-o", "[B]TREE"}, ""},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(log, c.options);
    EXPECT_EQ(r.err, c.err) << c.options[0];
    EXPECT_EQ(r.both.substr(0, c.err.size()), c.err) << "told before the report";
    EXPECT_NE(r.out.find("EOF_FINISH"), std::string::npos);
    EXPECT_EQ(r.status, 0);
  }
}

// Every pair of the options that choose or shape the output, in both
// orders: refused with a command-line error where one of them would be
// ignored without a word, taken otherwise.
TEST(Cli, OptionCombinations) {
  golden::temp_file(three_puts(), "t.fwlog");
  const std::vector<std::vector<std::string>> options = {
      {"--json"},    {"--stats"},   {"--check"},    {"--follow"}, {"--save", "SAVE"},
      {"--limit=2"}, {"--offsets"}, {"--top", "3"}, {"--strict"}};
  const std::set<std::pair<std::string, std::string>> refused = {
      {"--json", "--top"},    {"--json", "--strict"},    {"--stats", "--check"},
      {"--stats", "--limit"}, {"--stats", "--offsets"},  {"--stats", "--strict"},
      {"--check", "--limit"}, {"--check", "--offsets"},  {"--check", "--top"},
      {"--follow", "--top"},  {"--follow", "--strict"},  {"--save", "--top"},
      {"--save", "--strict"}, {"--limit", "--top"},      {"--limit", "--strict"},
      {"--offsets", "--top"}, {"--offsets", "--strict"}, {"--top", "--strict"},
  };
  auto name = [&](size_t i) { return options[i][0].substr(0, options[i][0].find('=')); };
  int runs = 0;
  for (size_t i = 0; i < options.size(); ++i) {
    for (size_t j = 0; j < options.size(); ++j) {
      if (i == j) continue;
      std::vector<std::string> args;
      for (size_t k : {i, j})
        for (const std::string& a : options[k])
          args.push_back(a == "SAVE" ? "save" + std::to_string(++runs) : a);
      args.push_back("t.fwlog");
      golden::result r = golden::run(args);
      SCOPED_TRACE(name(i) + " " + name(j));
      if (refused.count({name(std::min(i, j)), name(std::max(i, j))})) {
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        // One message, then the hint.
        ASSERT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
        EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), hint);
      } else {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
      }
    }
  }
  // The messages name both options and say why; a malformed log changes
  // nothing.
  golden::temp_file(three_puts().substr(0, 60), "bad.fwlog");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } messages[] = {
      {{"--check", "--strict", "--limit", "2", "bad.fwlog"},
       "jrnscan: --limit does not apply to --check: a verdict is always on the whole input\n"},
      {{"--limit", "2", "--stats", "bad.fwlog"},
       "jrnscan: --limit does not apply to --stats: a summary is always of the whole input\n"},
      {{"--check", "--stats", "t.fwlog"},
       "jrnscan: --stats and --check cannot be given together: a run gives a summary or a "
       "verdict\n"},
      {{"--stats", "--check", "t.fwlog"},
       "jrnscan: --stats and --check cannot be given together: a run gives a summary or a "
       "verdict\n"},
      {{"--offsets", "--check", "t.fwlog"},
       "jrnscan: --offsets does not apply to --check: it marks the tags of the report, which "
       "--check does not print\n"},
      {{"--strict", "t.fwlog"}, "jrnscan: --strict applies only to --check\n"},
      {{"--top=5", "--json", "t.fwlog"}, "jrnscan: --top applies only to --stats and --txns\n"},
  };
  for (const auto& m : messages) {
    golden::result r = golden::run(m.args);
    EXPECT_EQ(r.err, m.err + hint) << m.args[0];
    EXPECT_EQ(r.status, 2);
  }
}
