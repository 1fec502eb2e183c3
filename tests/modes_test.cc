// The table of modes: each row's factory returns the followers the row
// names, the command line chooses each row by its option and gives the
// scan the filters the row says; and the relay base passes on every call
// a back-end can be told.
#include "cli/modes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "scan/filter.h"
#include "scan/report.h"

namespace {

using jrn::mode_row;

std::vector<const mode_row*> all_rows() {
  size_t n = 0;
  const mode_row* rows = jrn::mode_rows(&n);
  std::vector<const mode_row*> v;
  for (size_t i = 0; i < n; ++i) v.push_back(&rows[i]);
  return v;
}

int parse(std::vector<std::string> args, jrn::run_options& o) {
  args.insert(args.begin(), "jrnscan");
  args.push_back("x.fwlog");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  jrn::node_map names;
  return jrn::parse_command_line(static_cast<int>(args.size()), argv.data(), o, names);
}

TEST(Modes, EachFactoryReturnsTheFollowersItsRowNames) {
  for (const mode_row* r : all_rows()) {
    for (uint64_t image_memory : {uint64_t{1} << 20, uint64_t{0}}) {
      SCOPED_TRACE(std::string(r->name) + (image_memory ? "" : " without images"));
      jrn::run_options o;
      o.mode = r->mode;
      o.json = r->form == jrn::report_form::json;
      o.image_memory = image_memory;
      o.transaction = 7;
      EXPECT_EQ(&jrn::mode_row_for(o), r);
      jrn::node_map names;
      jrn::diagnostics diag;
      jrn::output out(-1, &diag);
      jrn::sink_parts p = r->make(o, names, out, diag);
      ASSERT_NE(p.sink, nullptr);
      // The check follows records only when it judges before-images.
      const bool records = (r->follows & jrn::follows_records) &&
                           (r->mode != jrn::output_mode::check || image_memory != 0);
      EXPECT_EQ(p.records != nullptr, records);
      EXPECT_EQ(p.audits != nullptr, (r->follows & jrn::follows_audits) != 0);
    }
  }
}

TEST(Modes, TheCommandLineChoosesEachRowAndGivesItsScanTheRowsFilters) {
  struct {
    std::vector<std::string> args;
    const char* row;
  } cases[] = {
      {{"-x", "5:9"}, ""},
      {{"--json", "-x", "5:9"}, "--json"},
      {{"--stats", "-x", "5:9"}, "--stats"},
      {{"--check", "-x", "5:9"}, "--check"},
      {{"--history", "1:2"}, "--history"},
      {{"--undo", "-x", "5:9"}, "--undo"},
      {{"--txns", "-x", "5:9"}, "--txns"},
      {{"--sessions", "-t", "5:9"}, "--sessions"},
      {{"--transaction", "7"}, "--transaction"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.row);
    jrn::run_options o;
    ASSERT_EQ(parse(c.args, o), -1);
    const mode_row& r = jrn::mode_row_for(o);
    EXPECT_STREQ(r.name, c.row);
    const jrn::filter_settings& f = o.filter;
    EXPECT_EQ(f.shows_no_tag, r.filters == jrn::scan_filters::none);
    if (r.filters == jrn::scan_filters::none) {
      // The lists keep the filters for themselves.
      EXPECT_EQ(f.from_txn, 0u);
      EXPECT_EQ(o.txns.filter.from_txn + o.txns.filter.from_time, 5u);
    } else {
      EXPECT_EQ(f.image_like_only, r.filters == jrn::scan_filters::as_given ? 1 : 0);
    }
  }
  jrn::run_options o;
  ASSERT_EQ(parse({"--transaction", "7"}, o), -1);
  EXPECT_EQ(o.filter.from_txn, 7u);
  EXPECT_EQ(o.filter.to_txn, 7u);
}

TEST(Modes, AScanThatShowsNoTagShowsNoneWhateverItsTransaction) {
  jrn::filter_settings f;
  f.image_like_only = 0;
  f.shows_no_tag = true;
  jrn::tag_summary t{};
  for (uint32_t txn : {0u, 1u, UINT32_MAX}) EXPECT_EQ(jrn::filter_match(f, t, txn, 0, 1), 0);
  f.shows_no_tag = false;
  EXPECT_EQ(jrn::filter_match(f, t, UINT32_MAX, 0, 1), 1);
}

std::string read_source(const char* path) {
  std::ifstream in(std::string(JRNSCAN_SOURCE_DIR) + "/" + path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every call of report_sink is overridden by the relay, so that no back-end
// built on it can forget to pass one on.
TEST(Modes, TheRelayPassesOnEveryCallOfABackEnd) {
  const std::string base = read_source("util/jrnscan/scan/report.h");
  const std::string relay = read_source("util/jrnscan/report/relay_sink.h");
  ASSERT_NE(base.find("class report_sink"), std::string::npos);
  const std::string sink = base.substr(base.find("class report_sink"));
  const std::regex virtual_call(R"(virtual [^(;]*?\b(\w+)\()");
  std::set<std::string> calls;
  for (std::sregex_iterator i(sink.begin(), sink.end(), virtual_call), end; i != end; ++i)
    if ((*i)[1] != "report_sink") calls.insert((*i)[1]);
  EXPECT_GE(calls.size(), 20u);
  for (const std::string& call : calls) {
    const std::regex overridden("\\b" + call + R"(\([^;{]*\)( const)? override)");
    EXPECT_TRUE(std::regex_search(relay, overridden)) << call << " is not passed on";
  }
}

}  // namespace
