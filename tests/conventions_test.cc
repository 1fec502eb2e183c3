// The familiar command-line conventions beside the classic ones: --help and
// --version, a long name for every option, the hint after an error, and a
// usage text that agrees with the man page.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "cli/version.h"
#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

namespace {

const char hint[] = "Try 'jrnscan --help' for more information.\n";

std::string sample_log() {
  log_builder b;
  b.context_db(7, "shop");
  b.at(10, 100).fixrec(logbuild::PUT, 17, 7, 3, "abc").image(logbuild::OP_BEGIN, 18, 7, "");
  b.fixrec(logbuild::DELETE, 18, 7, 4).page(logbuild::page_image(1));
  return b.end().str();
}

// The options named in a text: "--name" (letters and hyphens) and "-x"
// standing alone, where a hyphen may be written "\\-" (as in roff).
std::set<std::string> options_in(const std::string& raw, bool roff) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (roff && raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '-') continue;
    text += raw[i];
  }
  std::set<std::string> found;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '-' || (i > 0 && (letter(text[i - 1]) || text[i - 1] == '-'))) continue;
    if (text[i + 1] == '-' && i + 2 < text.size() && letter(text[i + 2])) {
      size_t j = i + 2;
      while (j < text.size() && (letter(text[j]) || text[j] == '-')) ++j;
      found.insert(text.substr(i, j - i));
      i = j;
    } else if (letter(text[i + 1]) && (i + 2 == text.size() || !letter(text[i + 2]))) {
      found.insert(text.substr(i, 2));
    }
  }
  return found;
}

}  // namespace

TEST(Conventions, HelpAndVersionOnStandardOutput) {
  golden::result help = golden::run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("usage: jrnscan [options] fwlog...\n", 0), 0u) << help.out;
  golden::result version = golden::run({"--version"});
  EXPECT_EQ(version.out, "jrnscan " JRNSCAN_VERSION "\n");
  EXPECT_EQ(version.status, 0);
  // --help wins wherever it stands, even after other options.
  EXPECT_EQ(golden::run({"-a", "--help", "nosuch.fwlog"}).out, help.out);
}

TEST(Conventions, EveryShortOptionHasALongName) {
  golden::temp_file(sample_log(), "t.fwlog");
  golden::temp_file("h\nh\n7 2 Shop 0\n", "n.map");
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> pairs = {
      {{"-a"}, {"--all"}},
      {{"-v", "-v"}, {"--verbose", "--verbose"}},
      {{"-n", "7"}, {"--node=7"}},
      {{"-t", "100:105"}, {"--time", "100:105"}},
      {{"-s", "10:11"}, {"--seq=10:11"}},
      {{"-x", "17:17"}, {"--txn=17:17"}},
      {{"-r", "3"}, {"--record=3"}},
      {{"-p", "1"}, {"--page=1"}},
      {{"-o", "BEG*"}, {"--opcode=BEG*"}},
      {{"-M", "n.map", "-a"}, {"--map=n.map", "--all"}},
  };
  for (const auto& p : pairs) {
    std::vector<std::string> s = p.first, l = p.second;
    s.push_back("t.fwlog");
    l.push_back("t.fwlog");
    golden::result a = golden::run(s), b = golden::run(l);
    EXPECT_EQ(a.out, b.out) << p.second[0];
    EXPECT_EQ(a.err, b.err) << p.second[0];
    EXPECT_EQ(a.status, b.status) << p.second[0];
    EXPECT_NE(a.out.find("\nsequence = "), std::string::npos) << p.second[0];
  }
}

TEST(Conventions, ErrorsEndWithTheHint) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-q", "t.fwlog"},
                                               {"--nosuch", "t.fwlog"},
                                               {"-a"},
                                               {"--kind=REC,FOO", "t.fwlog"},
                                               {"--since=yesterday", "t.fwlog"},
                                               {"--stats", "--check", "t.fwlog"},
                                               {}}) {
    golden::result r = golden::run(args);
    const std::string what = args.empty() ? "no argument" : args[0];
    EXPECT_EQ(r.status, 2) << what;
    ASSERT_GE(r.err.size(), sizeof hint - 1);
    EXPECT_EQ(r.err.substr(r.err.size() - (sizeof hint - 1)), hint) << what;
    EXPECT_EQ(r.out, "");
  }
  // The classic usage on standard error stays as it was: no hint.
  golden::result usage = golden::run({"-help"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err.find("Try "), std::string::npos);
}

// Every option that --help lists is in the man page's OPTIONS, and the
// other way round.
TEST(Conventions, UsageAndManPageListTheSameOptions) {
  std::ifstream man(std::string(JRNSCAN_SOURCE_DIR) + "/jrnscan.1");
  ASSERT_TRUE(man.good());
  std::stringstream text;
  text << man.rdbuf();
  // In the man page an option is written \-\-name or \-x in a .TP heading.
  std::set<std::string> in_man;
  std::istringstream lines(text.str());
  std::string line, previous;
  while (std::getline(lines, line)) {
    if (previous == ".TP" && line.rfind(".B", 0) == 0)
      for (const std::string& o : options_in(line, true)) in_man.insert(o);
    previous = line;
  }
  // In --help, the option column: up to the description.
  std::set<std::string> in_help;
  std::istringstream help(golden::run({"--help"}).out);
  while (std::getline(help, line)) {
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || first == 0 || line[first] != '-') continue;
    const size_t gap = line.find("  ", first);
    for (const std::string& o : options_in(line.substr(first, gap - first), false))
      in_help.insert(o);
  }
  in_help.erase("-help");
  in_help.erase("-version");
  in_man.erase("-help");
  in_man.erase("-version");
  for (const std::string& o : in_help) EXPECT_TRUE(in_man.count(o)) << o << " is not in jrnscan.1";
  for (const std::string& o : in_man) EXPECT_TRUE(in_help.count(o)) << o << " is not in --help";
}

// Every long option that --help lists is one the bash completion offers,
// and the other way round.
TEST(Conventions, CompletionOffersTheOptionsOfTheHelp) {
  std::ifstream script(std::string(JRNSCAN_SOURCE_DIR) + "/tools/completion/jrnscan.bash");
  ASSERT_TRUE(script.good());
  std::set<std::string> in_script;
  std::string line;
  bool in_list = false;
  // The lists _jrnscan_long_flags='...' and _jrnscan_long_args='...'.
  while (std::getline(script, line)) {
    if (line.rfind("_jrnscan_long_flags='", 0) == 0 || line.rfind("_jrnscan_long_args='", 0) == 0)
      in_list = true;
    if (!in_list) continue;
    for (const std::string& o : options_in(line, false))
      if (o.rfind("--", 0) == 0) in_script.insert(o);
    if (line.find('\'') != line.rfind('\'') ||
        (line.find('\'') != std::string::npos && line.rfind("_jrnscan_long", 0) != 0))
      in_list = false;
  }
  std::set<std::string> in_help;
  for (const std::string& o : options_in(golden::run({"--help"}).out, false))
    if (o.rfind("--", 0) == 0) in_help.insert(o);
  EXPECT_EQ(in_script, in_help);
}
