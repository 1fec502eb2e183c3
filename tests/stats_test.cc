// --stats: the counts per kind and opcode, the busiest nodes and
// transactions cross-checked against the text report of the same options,
// the byte identity on whole, cut and filtered logs, several logs, the
// histogram's bucket width over many spans, the bars, the JSON document and
// the progress indicator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool starts_with(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The generator beside the jrnscan binary: logs the tests do not build by
// hand. Empty when it was not built.
std::string generated_log(const std::string& args, const std::string& name) {
  std::string bin = golden::binary();
  bin = bin.substr(0, bin.rfind('/') + 1) + "fwgen";
  if (access(bin.c_str(), X_OK) != 0) return "";
  const std::string path = golden::work_dir() + "/" + name;
  if (std::system((bin + " " + args + " -o '" + path + "' >/dev/null 2>&1").c_str()) != 0)
    return "";
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// ---------------------------------------------------------------------------
// What the text report of -a -vv shows, tag by tag.
struct report_counts {
  std::map<std::string, uint64_t> kinds;  // "REC" -> tags
  std::map<int, uint64_t> opcodes;        // code -> records
  std::map<int32_t, uint64_t> node_records;
  struct txn {
    uint64_t records = 0;
    std::set<int32_t> nodes;
    uint32_t first = 0, last = 0;
  };
  std::map<uint32_t, txn> txns;
  uint64_t tags = 0;
};

report_counts count_report(const std::string& report) {
  report_counts c;
  std::string kind;
  uint32_t ts = 0;
  uint32_t txn = 0;
  bool in_rec_header = false;
  for (const std::string& line : lines_of(report)) {
    if (starts_with(line, "timestamp = ")) {
      ts = static_cast<uint32_t>(std::stoul(line.substr(line.rfind('(') + 1)));
    } else if (starts_with(line, "tag = ")) {
      kind = line.substr(6, line.find(' ', 6) - 6);
      ++c.kinds[kind];
      ++c.tags;
      in_rec_header = kind == "REC";
      txn = 0;
    } else if (in_rec_header && starts_with(line, " opcode: ")) {
      ++c.opcodes[std::stoi(line.substr(line.rfind('(') + 1))];
    } else if (in_rec_header && starts_with(line, " transaction_id: ")) {
      txn = static_cast<uint32_t>(std::stoul(line.substr(17)));
      if (txn != 0) {
        auto& t = c.txns[txn];
        if (t.records++ == 0) t.first = ts;
        t.last = ts;
      }
    } else if (in_rec_header && starts_with(line, " node_id: ")) {
      // " node_id: NAME (#id)" or " node_id: #id"
      const int32_t node = std::stoi(line.substr(line.rfind('#') + 1));
      if (node != 0) {
        ++c.node_records[node];
        if (txn != 0) c.txns[txn].nodes.insert(node);
      }
      in_rec_header = false;  // the payload's own lines follow
    }
  }
  return c;
}

// What --stats says of one section.
struct stats_section {
  std::map<std::string, uint64_t> kinds;
  std::map<int, uint64_t> opcodes;
  std::vector<std::pair<int32_t, uint64_t>> top_nodes;  // node, records
  struct txn_row {
    uint32_t id;
    uint64_t records;
    uint32_t nodes;
    std::string first, last;
  };
  std::vector<txn_row> top_txns;
  std::map<std::string, int64_t> bytes;  // "bytes read", "file header", ...
  uint64_t counted_tags = 0, filtered_tags = 0;
  int64_t bucket_rows = 0;
  uint64_t bucket_total = 0;
  std::string bucket_width;
  std::string text;
};

// The sections of a --stats report: one per log, then "All N logs".
std::vector<stats_section> parse_stats(const std::string& out) {
  std::vector<stats_section> sections;
  enum { none, kinds, opcodes, nodes, txns, hist } part = none;
  for (const std::string& line : lines_of(out)) {
    if (starts_with(line, "Log: ") || starts_with(line, "All ")) {
      sections.emplace_back();
      part = none;
    }
    if (sections.empty()) continue;
    stats_section& s = sections.back();
    s.text += line + "\n";
    if (line.empty()) {
      part = none;
      continue;
    }
    char label[64], first[64];
    long long n = 0, m = 0;
    if (starts_with(line, "  tag kind")) {
      part = kinds;
    } else if (starts_with(line, "  record opcode")) {
      part = opcodes;
    } else if (starts_with(line, "  top ") && line.find(" by records") != std::string::npos) {
      part = line.find(" transaction") != std::string::npos ? txns : nodes;
    } else if (starts_with(line, "  activity: counted tags per ")) {
      part = hist;
      s.bucket_width = line.substr(29, line.find(" (") - 29);
    } else if (part == kinds &&
               std::sscanf(line.c_str(), " %63s %63s %lld", first, label, &n) == 3 &&
               std::string(first) != "total") {
      s.kinds[label] = static_cast<uint64_t>(n);
    } else if (part == opcodes &&
               std::sscanf(line.c_str(), " %lld %63s %lld", &m, label, &n) == 3) {
      s.opcodes[static_cast<int>(m)] = static_cast<uint64_t>(n);
    } else if (part == nodes && std::sscanf(line.c_str(), " %lld %*d %lld", &n, &m) == 2) {
      s.top_nodes.emplace_back(static_cast<int32_t>(m), static_cast<uint64_t>(n));
    } else if (part == txns) {
      unsigned id, nodes;
      char d1[16], t1[16], d2[16], t2[16];
      if (std::sscanf(line.c_str(), " %u %lld %u %15s %15s %15s %15s", &id, &n, &nodes, d1, t1, d2,
                      t2) == 7)
        s.top_txns.push_back({id, static_cast<uint64_t>(n), nodes, std::string(d1) + " " + t1,
                              std::string(d2) + " " + t2});
    } else if (part == hist) {
      char d[16], t[16];
      if (std::sscanf(line.c_str(), " %15s %15s %lld", d, t, &n) == 3) {
        ++s.bucket_rows;
        s.bucket_total += static_cast<uint64_t>(n);
      }
    } else {
      // "  bytes read   N", "    file header   N", "    tags counted  N  (K tags)"
      for (const char* key : {"bytes read", "file header", "tags counted", "tags filtered out",
                              "cut short at the end"}) {
        const std::string k = key;
        const size_t at = line.find(k);
        if (at == std::string::npos || line.find_first_not_of(' ') != at) continue;
        const char* rest = line.c_str() + at + k.size();
        long long v = 0, tags = 0;
        const int got = std::sscanf(rest, " %lld (%lld", &v, &tags);
        if (got >= 1) s.bytes[k] = v;
        if (got == 2 && k == "tags counted") s.counted_tags = static_cast<uint64_t>(tags);
        if (got == 2 && k == "tags filtered out") s.filtered_tags = static_cast<uint64_t>(tags);
      }
    }
  }
  return sections;
}

// The byte identity of a section.
void expect_bytes_add_up(const stats_section& s) {
  ASSERT_EQ(s.bytes.size(), 5u) << s.text;
  EXPECT_EQ(s.bytes.at("bytes read"), s.bytes.at("file header") + s.bytes.at("tags counted") +
                                          s.bytes.at("tags filtered out") +
                                          s.bytes.at("cut short at the end"))
      << s.text;
}

std::string time_text(uint32_t t) {
  char buf[32];
  const time_t wide = t;
  struct tm tm;
  gmtime_r(&wide, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// Every figure of --stats (with the given filters) against the text report
// of -a -vv with the same filters.
void cross_check(const std::string& log, const std::vector<std::string>& filters,
                 const std::string& what) {
  SCOPED_TRACE(what);
  std::vector<std::string> report_args = {"-a", "-vv"};
  report_args.insert(report_args.end(), filters.begin(), filters.end());
  const golden::result report = golden::scan(log, report_args);
  std::vector<std::string> stats_args = {"--stats", "--top", "100000"};
  stats_args.insert(stats_args.end(), filters.begin(), filters.end());
  const golden::result stats = golden::scan(log, stats_args);
  ASSERT_EQ(stats.status, report.status) << stats.err;
  EXPECT_EQ(stats.err, report.err);
  const report_counts want = count_report(report.out);
  const auto sections = parse_stats(stats.out);
  ASSERT_EQ(sections.size(), 1u) << stats.out;
  const stats_section& got = sections[0];

  EXPECT_EQ(got.kinds, want.kinds);
  EXPECT_EQ(got.opcodes, want.opcodes);
  EXPECT_EQ(got.counted_tags, want.tags);
  expect_bytes_add_up(got);
  EXPECT_EQ(got.bucket_total, want.tags);

  // The whole node list (--top is above their number), most records first.
  std::vector<std::pair<int32_t, uint64_t>> nodes(want.node_records.begin(),
                                                  want.node_records.end());
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  EXPECT_EQ(got.top_nodes, nodes);

  ASSERT_EQ(got.top_txns.size(), want.txns.size());
  for (size_t i = 0; i < got.top_txns.size(); ++i) {
    const auto& row = got.top_txns[i];
    SCOPED_TRACE("transaction " + std::to_string(row.id));
    ASSERT_TRUE(want.txns.count(row.id));
    const auto& t = want.txns.at(row.id);
    EXPECT_EQ(row.records, t.records);
    EXPECT_EQ(row.nodes, t.nodes.size());
    EXPECT_EQ(row.first, time_text(t.first));
    EXPECT_EQ(row.last, time_text(t.last));
    if (i > 0) {
      EXPECT_GE(got.top_txns[i - 1].records, row.records);
      if (got.top_txns[i - 1].records == row.records) {
        EXPECT_LT(got.top_txns[i - 1].id, row.id);
      }
    }
  }
}

}  // namespace

TEST(Stats, CountsMatchTheReportOnGeneratedLogs) {
  struct {
    const char* args;
    std::vector<std::string> filters;
  } cases[] = {
      {"--seed 1 --tags 400", {}},
      {"--seed 2 --tags 3000", {}},
      {"--seed 3 --tags 1500 --mix fixrec", {}},
      {"--seed 4 --tags 600 --mix page", {}},
      {"--seed 5 --tags 1200 --version 1.00", {}},
      {"--seed 6 --tags 2000", {"-n", "102"}},
      {"--seed 6 --tags 2000", {"-x", "4470:4490"}},
      {"--seed 6 --tags 2000", {"--kind", "REC,PAGE"}},
      {"--seed 6 --tags 2000", {"-o", "FIXREC*"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string log = generated_log(c.args, "gen" + std::to_string(n++) + ".fwlog");
    if (log.empty()) GTEST_SKIP() << "fwgen was not built";
    std::string what = c.args;
    for (const std::string& f : c.filters) what += " " + f;
    cross_check(log, c.filters, what);
  }
}

TEST(Stats, BytesAddUpOnCutAndFilteredLogs) {
  log_builder b;
  b.context_db(100, "shop").context_set(101, 100, "orders");
  for (uint32_t i = 0; i < 20; ++i) b.fixrec(logbuild::PUT, 10 + i / 4, 101, i, "row data");
  b.page(logbuild::page_image(3)).end('F');
  const std::string log = b.str();
  const std::string header = logbuild::header_bytes(header_fields());
  for (size_t cut : {log.size(), log.size() - 1, log.size() - 9, log.size() - 100,
                     header.size() + 5, header.size()}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    for (const std::vector<std::string>& filters :
         {std::vector<std::string>{}, {"-x", "12"}, {"--kind", "CONTEXT"}}) {
      std::vector<std::string> args = {"--stats"};
      args.insert(args.end(), filters.begin(), filters.end());
      const golden::result r = golden::scan(log.substr(0, cut), args);
      const auto sections = parse_stats(r.out);
      ASSERT_EQ(sections.size(), 1u) << r.out;
      expect_bytes_add_up(sections[0]);
      EXPECT_EQ(sections[0].bytes.at("bytes read"), static_cast<int64_t>(cut));
      EXPECT_EQ(sections[0].bytes.at("file header"), static_cast<int64_t>(header.size()));
      if (filters.empty()) {
        EXPECT_EQ(sections[0].bytes.at("tags filtered out"), 0);
      }
    }
  }
  // A filter that lets some tags through splits them.
  const auto split = parse_stats(golden::scan(log, {"--stats", "-x", "12:12"}).out);
  ASSERT_EQ(split.size(), 1u);
  EXPECT_EQ(split[0].counted_tags, 4u + 1u);  // transaction 12's records and the end tag
  EXPECT_GT(split[0].bytes.at("tags filtered out"), 0);
  EXPECT_EQ(split[0].counted_tags + split[0].filtered_tags, 20u + 2u + 1u + 1u);
  // A cut inside the last tag leaves its bytes as the cut part.
  const auto cut = parse_stats(golden::scan(log.substr(0, log.size() - 100), {"--stats"}).out);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].bytes.at("cut short at the end"), 9 + 8192 - (100 - 9));
  EXPECT_NE(cut[0].text.find("ended by a tag body that could not be read"), std::string::npos);
}

TEST(Stats, SeveralLogsHaveASectionEachAndATotal) {
  log_builder b;
  b.fixrec(logbuild::PUT, 7, 300, 1, "a").fixrec(logbuild::PUT, 7, 301, 2, "b").end('C');
  header_fields next;
  next.file_sequence = 2;
  b.next_log(next).fixrec(logbuild::DELETE, 7, 300, 1).fixrec(logbuild::PUT, 8, 302, 3, "c");
  b.end('F');
  const std::string second = [] {
    log_builder c;
    c.at(1, 1700100000).fixrec(logbuild::PUT, 9, 300, 4, "d").end('F');
    return c.str();
  }();
  const std::string log = b.str();
  golden::temp_file(second, "second.fwlog");
  const golden::result r =
      golden::run({"--stats", golden::temp_file(log, "t.fwlog"), "second.fwlog"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto sections = parse_stats(r.out);
  ASSERT_EQ(sections.size(), 4u) << r.out;
  EXPECT_TRUE(starts_with(sections[0].text, "Log: t.fwlog\n"));
  EXPECT_TRUE(starts_with(sections[1].text, "Log: t.fwlog (log 2 of the input)\n"));
  EXPECT_TRUE(starts_with(sections[2].text, "Log: second.fwlog\n"));
  EXPECT_TRUE(starts_with(sections[3].text, "All 3 logs\n"));
  const stats_section& all = sections[3];
  EXPECT_EQ(all.kinds.at("REC"), 5u);
  EXPECT_EQ(all.kinds.at("EOF_CONT"), 1u);
  EXPECT_EQ(all.kinds.at("EOF_FINISH"), 2u);
  expect_bytes_add_up(all);
  EXPECT_EQ(all.bytes.at("bytes read"), static_cast<int64_t>(log.size() + second.size()));
  // Node 300 in all three logs; transaction 7 spans the first two.
  ASSERT_FALSE(all.top_nodes.empty());
  EXPECT_EQ(all.top_nodes[0], std::make_pair(300, uint64_t{3}));
  ASSERT_FALSE(all.top_txns.empty());
  EXPECT_EQ(all.top_txns[0].id, 7u);
  EXPECT_EQ(all.top_txns[0].records, 3u);
  EXPECT_EQ(all.top_txns[0].nodes, 2u);
  // The total's histogram holds every tag, over the span of all logs.
  EXPECT_EQ(all.bucket_total, 8u);
}

TEST(Stats, HistogramWidthFollowsTheSpan) {
  const uint32_t start = 1700000000;  // a Tuesday, 22:13:20 UTC
  struct {
    uint32_t span;
    const char* width;
  } cases[] = {
      {0, "1 s"},
      {5, "1 s"},
      {39, "1 s"},
      {100, "5 s"},
      {1000, "30 s"},
      {3600, "2 min"},
      {5000, "5 min"},
      {86400, "1 h"},
      {7 * 86400, "6 h"},
      {30 * 86400, "1 day"},
      {200 * 86400, "1 week"},
      {730 * 86400, "4 weeks"},
      {20 * 365 * 86400u, "52 weeks"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("span " + std::to_string(c.span));
    // 60 tags spread over the span, in order; a few go back in time.
    log_builder b;
    const uint32_t n = 60;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t t = start + static_cast<uint32_t>(uint64_t{c.span} * i / (n - 1));
      if (i % 17 == 5) t = start + c.span / 3;
      b.at(i + 1, t).fixrec(logbuild::PUT, 1 + i, 5, i);
    }
    b.at(n + 1, start + c.span).end('F');
    const golden::result r = golden::scan(b.str(), {"--stats"});
    const auto sections = parse_stats(r.out);
    ASSERT_EQ(sections.size(), 1u) << r.out;
    const stats_section& s = sections[0];
    EXPECT_EQ(s.bucket_width, c.width) << s.text;
    EXPECT_EQ(s.bucket_total, n + 1);
    EXPECT_LE(s.bucket_rows, 40);
    // Fewer than 10 rows only where the narrowest width leaves no choice.
    if (c.span >= 10) {
      EXPECT_GE(s.bucket_rows, 10) << s.text;
    }
  }
}

TEST(Stats, HistogramStaysExactWhenTimesJumpAround) {
  // Far apart and back again: the buckets widen, and nothing is lost.
  log_builder b;
  const uint32_t times[] = {1700000000, 1700000005, 1000000000, 1700000003,
                            2000000000, 1700000001, 5,          4000000000};
  uint32_t seq = 1;
  for (uint32_t t : times) {
    b.at(seq, t).fixrec(logbuild::PUT, 3, 5, seq);
    ++seq;
  }
  b.at(seq, 1700000000).end('F');
  const golden::result r = golden::scan(b.str(), {"--stats"});
  const auto sections = parse_stats(r.out);
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0].bucket_total, 9u);
  EXPECT_LE(sections[0].bucket_rows, 40);
  // 4e9 s in 260-week buckets: 26 rows (104 weeks would take 64).
  EXPECT_EQ(sections[0].bucket_width, "260 weeks");
}

TEST(Stats, BarsInBlocksOrHashes) {
  // 7 tags in the first 5-second bucket, 2 in the third, 1 in the fifth,
  // the end tag 100 s on: 21 rows, bars of up to 51 columns in 80.
  log_builder b;
  uint32_t seq = 1;
  for (uint32_t i = 0; i < 7; ++i) b.at(seq++, 1700000000).sign_off(5);
  for (uint32_t i = 0; i < 2; ++i) b.at(seq++, 1700000010).sign_off(5);
  b.at(seq++, 1700000020).sign_off(5);
  b.at(seq, 1700000100).end('F');
  golden::temp_file(b.str(), "bars.fwlog");
  const golden::result plain = golden::run({"--stats", "bars.fwlog"}, "", {{"LC_ALL", "C"}});
  const golden::result utf8 = golden::run({"--stats", "bars.fwlog"}, "", {{"LC_ALL", "C.UTF-8"}});
  ASSERT_EQ(plain.status, 0);
  ASSERT_EQ(utf8.status, 0);
  auto blocks = [](int full, const char* part) {
    std::string out;
    for (int i = 0; i < full; ++i) out += "\u2588";
    return out + part;
  };
  struct {
    const char* time;
    int count;
    std::string hashes, utf;
  } rows[] = {
      {"22:13:20", 7, std::string(51, '#'), blocks(51, "")},
      // 2/7 of 51 columns: 14.57, in eighths 116.6 -> 117: 14 and 5/8.
      {"22:13:30", 2, std::string(15, '#'), blocks(14, "\u258b")},
      // 1/7: 7.29, in eighths 58.3 -> 58: 7 and 2/8.
      {"22:13:40", 1, std::string(7, '#'), blocks(7, "\u258e")},
      {"22:15:00", 1, std::string(7, '#'), blocks(7, "\u258e")},
      // Empty buckets keep their rows, without a bar.
      {"22:13:25", 0, "", ""},
  };
  for (const auto& r : rows) {
    const std::string head =
        "    2023-11-14 " + std::string(r.time) + "  " + std::to_string(r.count) + "  ";
    EXPECT_NE(plain.out.find(head + r.hashes + "\n"), std::string::npos) << r.time << plain.out;
    EXPECT_NE(utf8.out.find(head + r.utf + "\n"), std::string::npos) << r.time << utf8.out;
  }
  EXPECT_EQ(plain.out.find("\xe2\x96"), std::string::npos);
  EXPECT_NE(plain.out.find("  activity: counted tags per 5 s (21 rows)\n"), std::string::npos);
}

TEST(Stats, NamesTopAndAnnouncements) {
  log_builder b;
  b.context_db(100, "shop").context_set(101, 100, "orders").context_set(102, 100, "lines");
  for (uint32_t i = 0; i < 6; ++i) b.fixrec(logbuild::PUT, 20, 101, i, "x");
  for (uint32_t i = 0; i < 3; ++i) b.fixrec(logbuild::PUT, 21, 102, i, "y");
  b.fixrec(logbuild::PUT, 22, 103, 1, "z").end('F');
  const golden::result r = golden::scan(b.str(), {"--stats", "--top", "2", "-t", "1:0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("** Filter"), std::string::npos);
  EXPECT_NE(r.out.find("  top 2 nodes by records (3 nodes; 0 records without a node)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("               6              258          101  SHOP.ORDERS\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("          102  SHOP.LINES\n"), std::string::npos);
  EXPECT_EQ(r.out.find("          103  #103\n"), std::string::npos);  // third: not in the top 2
  EXPECT_NE(r.out.find("  top 2 transactions by records (3 transactions;"), std::string::npos);
  const golden::result none = golden::scan(b.str(), {"--stats", "--top", "0"});
  EXPECT_EQ(none.out.find("  top "), std::string::npos);
  EXPECT_NE(none.out.find("  record opcode"), std::string::npos);
}

// The document of --stats --json, read strictly (tests/json_reader.h). The
// keys are taken with at(): a key that is missing fails the test.
TEST(Stats, JsonDocument) {
  log_builder b;
  b.context_db(100, "sh\"op")
      .context_set(101, 100,
                   "or\x01"
                   "ders");
  b.fixrec(logbuild::PUT, 30, 101, 1, "x").fixrec(logbuild::PUT, 30, 102, 2, "y");
  b.image(200, 0, 0, "raw").at(100, 1700000000).end('C');
  header_fields next;
  next.file_sequence = 9;
  b.next_log(next).fixrec(logbuild::DELETE, 31, 101, 1);
  const std::string log = b.str();
  const golden::result r = golden::scan(log, {"--stats", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json_reader::result parsed = json_reader::parse(r.out);
  ASSERT_TRUE(parsed.ok()) << parsed.message() << "\n" << r.out;
  const json_reader::value& doc = parsed.v;
  ASSERT_TRUE(doc.is_object());
  const json_reader::value& logs = doc.at("logs");
  ASSERT_EQ(logs.items.size(), 2u);
  const json_reader::value& first = logs.items[0];
  EXPECT_EQ(first.at("log").text, "t.fwlog");
  EXPECT_EQ(first.at("log_index").num(), 1);
  EXPECT_EQ(first.at("header").at("version").text, "1.05");
  EXPECT_EQ(first.at("end").text, "eof_cont");
  EXPECT_EQ(first.at("tags").num(), 6);
  EXPECT_EQ(first.at("last_sequence").num(), 100);
  EXPECT_EQ(first.at("last_time").text, "2023-11-14T22:13:20Z");
  const json_reader::value& bytes = first.at("bytes");
  EXPECT_EQ(bytes.at("read").num(), bytes.at("header").num() + bytes.at("counted").num() +
                                        bytes.at("filtered_out").num() +
                                        bytes.at("cut_short").num());
  // An opcode without a name and a node without a name are null.
  bool unnamed_opcode = false;
  for (const json_reader::value& op : first.at("opcodes").items)
    if (op.at("code").num() == 200) unnamed_opcode = op.at("name").is_null();
  EXPECT_TRUE(unnamed_opcode);
  ASSERT_EQ(first.at("top_nodes").items.size(), 2u);
  EXPECT_EQ(first.at("top_nodes").items[0].at("name").text,
            "SH\"OP.OR\x01"
            "DERS");
  EXPECT_TRUE(first.at("top_nodes").items[1].at("name").is_null());
  EXPECT_EQ(first.at("top_transactions").items[0].at("nodes").num(), 2);
  EXPECT_EQ(first.at("histogram").at("bucket_seconds").num(), 1);
  const json_reader::value& second = logs.items[1];
  EXPECT_EQ(second.at("log_index").num(), 2);
  EXPECT_EQ(second.at("header").at("file_sequence").num(), 9);
  EXPECT_EQ(second.at("end").text, "input_between");
  const json_reader::value& total = doc.at("total");
  EXPECT_EQ(total.at("logs").num(), 2);
  EXPECT_EQ(total.at("tags").num(), 7);
  EXPECT_EQ(total.at("records").num(), 4);
  EXPECT_EQ(total.at("top_transactions").items.size(), 2u);
  for (const char* key : {"first_time", "nodes_capped", "transactions_capped", "node_sets_capped",
                          "records_without_node", "records_without_transaction", "kinds",
                          "malformed", "counted_tags", "filtered_out_tags", "duration_seconds"})
    EXPECT_TRUE(total.has(key)) << key;

  // No log at all is still one document.
  const golden::result missing = golden::run({"--stats", "--json", "no-such.fwlog"});
  EXPECT_EQ(missing.status, 1);
  const json_reader::result empty = json_reader::parse(missing.out);
  ASSERT_TRUE(empty.ok()) << empty.message() << "\n" << missing.out;
  EXPECT_EQ(empty.v.at("logs").items.size(), 0u);
  EXPECT_EQ(empty.v.at("total").at("logs").num(), 0);
}

TEST(Stats, ProgressOnlyWhenAskedOrOnATerminal) {
  log_builder b;
  for (uint32_t i = 0; i < 50; ++i) b.fixrec(logbuild::PUT, i + 1, 7, i);
  b.end('F');
  const std::string log = b.str();
  for (const char* mode : {"--stats", "--check"}) {
    SCOPED_TRACE(mode);
    const golden::result forced = golden::scan(log, {mode, "--progress"});
    EXPECT_EQ(forced.status, 0);
    // Drawn once at the start, erased at the end; the report is untouched.
    EXPECT_EQ(forced.err.rfind("\rt.fwlog:   0%", 0), 0u) << forced.err;
    EXPECT_NE(forced.err.find(" MB/s"), std::string::npos);
    ASSERT_GE(forced.err.size(), 4u);
    EXPECT_EQ(forced.err.substr(forced.err.size() - 4), "\r\033[K");
    EXPECT_EQ(forced.out, golden::scan(log, {mode}).out);
    // Standard error is no terminal here: nothing unless forced.
    EXPECT_EQ(golden::scan(log, {mode}).err, "");
    EXPECT_EQ(golden::scan(log, {mode, "--progress", "--no-progress"}).err, "");
  }
  // Standard input of unknown size: the bytes read instead of a share.
  const golden::result piped = golden::run({"--stats", "--progress", "-"}, log);
  EXPECT_EQ(piped.err.rfind("\r(stdin): 0.0 MB read", 0), 0u) << piped.err;
}
