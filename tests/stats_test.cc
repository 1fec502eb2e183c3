// --stats: the counts per kind and opcode, the busiest nodes and
// transactions cross-checked against the text report of the same options,
// the byte identity on whole, cut and filtered logs, several logs, the
// histogram's bucket width over many spans, the bars, the JSON document and
// the progress indicator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "model/id_set.h"
#include "model/stats_pages.h"
#include "model/top_counts.h"
#include "records/opcodes.h"
#include "records/payload.h"
#include "report/out.h"
#include "report/stats_sink.h"
#include "scan/keyed_hash.h"
#include "scan/node_map.h"

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

// The sections of a --stats report: one per log, one per series, then
// "All N logs".
std::vector<stats_section> parse_stats(const std::string& out) {
  std::vector<stats_section> sections;
  enum { none, kinds, opcodes, nodes, txns, hist } part = none;
  for (const std::string& line : lines_of(out)) {
    if (starts_with(line, "Log: ") || starts_with(line, "Series: ") || starts_with(line, "All ")) {
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
    // Of another server: a log of its own series.
    header_fields other;
    other.volume_set_id = 0x777;
    log_builder c(other);
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

// ---------------------------------------------------------------------------
// The summary's counting structures, against exact counts.

TEST(StatsCounting, IdSetIsExactInArraysAndBitmaps) {
  // Dense runs that turn groups into bitmaps, scattered ids that stay in
  // arrays, the same ids again, and both ends of the range.
  std::mt19937 rng(5);
  std::vector<uint32_t> ids;
  for (uint32_t i = 1; i <= 9000; ++i) ids.push_back(70000 + i);
  for (int i = 0; i < 20000; ++i) ids.push_back(static_cast<uint32_t>(rng()));
  for (int i = 0; i < 3000; ++i) ids.push_back(static_cast<uint32_t>(rng() % 50000));
  ids.push_back(0);
  ids.push_back(UINT32_MAX);
  std::set<uint32_t> want, in_a;
  jrn::id_set a, b;
  for (size_t i = 0; i < ids.size(); ++i) {
    want.insert(ids[i]);
    if (i % 2 == 0) {
      EXPECT_EQ(a.add(ids[i]), in_a.insert(ids[i]).second) << ids[i];
    }
    b.add(ids[i]);
  }
  EXPECT_EQ(a.size(), in_a.size());
  EXPECT_EQ(b.size(), want.size());
  jrn::id_set both;
  a.merge_into(both);
  b.merge_into(both);
  b.merge_into(both);
  EXPECT_EQ(both.size(), want.size());
  for (uint32_t id : want) ASSERT_TRUE(both.contains(id)) << id;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t id = static_cast<uint32_t>(rng());
    EXPECT_EQ(both.contains(id), want.count(id) == 1) << id;
  }
  // A run of a million ids takes about a bit each.
  jrn::id_set run;
  for (uint32_t i = 0; i < 1000000; ++i) run.add(5000000 + i);
  EXPECT_EQ(run.size(), 1000000u);
  EXPECT_LT(run.memory(), size_t{512} << 10);
  run.clear();
  EXPECT_EQ(run.size(), 0u);
  EXPECT_EQ(run.memory(), 0u);
}

namespace {

struct counted {
  uint32_t key = 0;
  uint64_t records = 0;
  uint64_t error = 0;
  uint64_t extra = 0;  // what a caller keeps: here the records it counted itself
};

// Every entry brackets the true count; every key above the bound holds a
// counter.
void expect_bounds(const jrn::top_counts<counted>& t, const std::map<uint32_t, uint64_t>& truth,
                   const std::string& what) {
  SCOPED_TRACE(what);
  std::set<uint32_t> held;
  for (const counted& e : t.entries()) {
    ASSERT_TRUE(held.insert(e.key).second) << "key twice: " << e.key;
    const uint64_t real = truth.count(e.key) ? truth.at(e.key) : 0;
    EXPECT_LE(real, e.records) << e.key;
    EXPECT_LE(e.records - e.error, real) << e.key;
    EXPECT_LE(e.records - e.error, e.extra) << e.key;
  }
  for (const auto& [key, n] : truth) {
    if (n > t.bound()) {
      EXPECT_TRUE(held.count(key)) << key << " with " << n << " records";
    }
  }
}

}  // namespace

TEST(StatsCounting, SpaceSavingBoundsHoldWhileStreamingAndMerging) {
  std::mt19937 rng(11);
  // A few heavy keys among many light ones, in two streams (two logs).
  auto stream = [&](uint32_t base) {
    std::vector<uint32_t> keys;
    for (int i = 0; i < 60000; ++i) {
      const uint32_t r = rng() % 100;
      keys.push_back(r < 30 ? 1 + r % 5 : base + rng() % 3000);
    }
    return keys;
  };
  const uint32_t capacity = 64;
  jrn::top_counts<counted> total(jrn::random_hash_key(), capacity);
  std::map<uint32_t, uint64_t> all;
  for (uint32_t base : {100u, 2000u, 100u}) {
    jrn::top_counts<counted> t(jrn::random_hash_key(), capacity);
    std::map<uint32_t, uint64_t> truth;
    uint64_t taken_over = 0;
    for (uint32_t key : stream(base)) {
      counted* e = t.find(key);
      if (!e) {
        e = t.insert(key, [&](counted& old) {
          EXPECT_NE(old.key, key);
          ++taken_over;
        });
      }
      ++e->records;
      ++e->extra;
      ++truth[key];
      ++all[key];
    }
    EXPECT_GT(taken_over, 0u);
    EXPECT_EQ(t.size(), capacity);
    expect_bounds(t, truth, "one log");
    // The five heavy keys hold counters with small errors.
    for (uint32_t key = 1; key <= 5; ++key) {
      ASSERT_NE(t.find(key), nullptr);
      EXPECT_LT(t.find(key)->error, truth[key] / 4);
    }
    total.merge_from(t, [](counted& into, const counted& from) { into.extra += from.extra; });
    expect_bounds(total, all, "merged");
  }
  // Fewer keys than counters: exact, no bound.
  jrn::top_counts<counted> few(jrn::random_hash_key(), capacity);
  for (int i = 0; i < 1000; ++i) {
    const uint32_t key = 1 + static_cast<uint32_t>(i % 50);
    counted* e = few.find(key);
    if (!e) {
      e = few.insert(key, [](counted&) { ADD_FAILURE() << "no counter is taken over"; });
    }
    ++e->records;
  }
  EXPECT_EQ(few.bound(), 0u);
  for (const counted& e : few.entries()) {
    EXPECT_EQ(e.records, 20u);
    EXPECT_EQ(e.error, 0u);
  }
}

namespace {

// Feeds a summary directly, without a log file: records of given
// transactions and nodes, 40 bytes each, in logs of a 36-byte header.
class sink_driver {
 public:
  explicit sink_driver(const std::string& output_file, bool json = true, bool series = false) {
    fd_ = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    out_ = std::make_unique<jrn::output>(fd_);
    jrn::stats_options o;
    o.json = json;
    o.series = series;
    o.progress = 0;
    sink_ = std::make_unique<jrn::stats_sink>(*out_, diag_, o, names_);
    sink_->begin_input("direct", -1);
  }
  ~sink_driver() {
    sink_.reset();
    out_.reset();
    ::close(fd_);
  }
  void begin_log(uint32_t volume_set_id = 0x5eed, int32_t file_sequence = 1) {
    jrn::fwlog_header h;
    h.volume_set_id = volume_set_id;
    h.file_sequence = file_sequence;
    std::memcpy(h.signature, "DRAV.FWLOG", 10);
    h.major = 1;
    h.minor = 5;
    h.bytes = 36;
    h.start = offset_;
    offset_ += 36;
    sink_->begin_log("direct", h);
  }
  void record(uint32_t txn, int32_t node) {
    jrn::tag_summary t;
    t.letter = '1';
    t.sequence = ++sequence_;
    t.timestamp = 1700000000 + sequence_ / 1000;
    t.offset = offset_;
    t.bytes = 40;
    t.is_record = true;
    t.opcode = 13;
    t.transaction_id = txn;
    t.node_id = node;
    t.shown = true;
    sink_->tag_done(t);
    offset_ += 40;
  }
  void end_log() { sink_->end_log(jrn::log_end::input_between, offset_); }
  void skipped(const char* name, int64_t size) { sink_->input_skipped(name, size, 1, 2); }
  void finish() { sink_->finish(); }

 private:
  int fd_;
  jrn::node_map names_;
  jrn::diagnostics diag_;
  std::unique_ptr<jrn::output> out_;
  std::unique_ptr<jrn::stats_sink> sink_;
  int64_t offset_ = 0;
  uint32_t sequence_ = 0;
};

// Resident memory of this process, in bytes.
int64_t resident_bytes() {
  std::ifstream f("/proc/self/statm");
  long long size = 0, resident = 0;
  f >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

TEST(StatsCounting, MemoryDoesNotGrowWithTheNumberOfLogs) {
  // Logs of 200,000 distinct nodes and transactions each: what one log's
  // tables hold is given back before the next one.
  const std::string out = golden::work_dir() + "/memory.json";
  sink_driver d(out);
  int64_t after_two = 0;
  for (int log = 0; log < 10; ++log) {
    d.begin_log();
    for (uint32_t i = 1; i <= 200000; ++i) d.record(i, static_cast<int32_t>(i));
    d.end_log();
    if (log == 1) after_two = resident_bytes();
  }
  const int64_t growth = resident_bytes() - after_two;
  EXPECT_LT(growth, int64_t{16} << 20) << "resident memory grew by " << growth << " bytes";
  d.finish();
}

TEST(StatsCounting, DistinctCountsAreExactAndHeavyTransactionsFound) {
  // 1,200,000 transactions and as many nodes (more than any table of one
  // entry per key would be allowed), among them two busy transactions
  // whose records are spread over the whole log.
  const std::string out = golden::work_dir() + "/distinct.json";
  std::map<uint32_t, uint64_t> busy;
  {
    sink_driver d(out);
    d.begin_log();
    for (uint32_t i = 1; i <= 1200000; ++i) {
      const uint32_t txn = 1000 + i;
      d.record(txn, static_cast<int32_t>(txn * 7 % 5000000 + 1));
      d.record(txn, static_cast<int32_t>(txn * 7 % 5000000 + 1));
      if (i % 40 == 0) {
        d.record(7, 1);
        ++busy[7];
      }
      if (i % 60 == 0) {
        d.record(9, 2);
        ++busy[9];
      }
    }
    d.end_log();
    d.finish();
  }
  const json_reader::result parsed = json_reader::parse(read_file(out));
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  const json_reader::value& log = parsed.v.at("logs").items.at(0);
  EXPECT_EQ(log.at("transactions").num(), 1200002);
  EXPECT_EQ(log.at("nodes").num(), 1200002);
  EXPECT_FALSE(log.at("transactions_capped").b);
  EXPECT_FALSE(log.at("top_transactions_exact").b);
  const auto& top = log.at("top_transactions").items;
  ASSERT_GE(top.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const uint32_t id = static_cast<uint32_t>(top[i].at("transaction_id").num());
    ASSERT_TRUE(busy.count(id)) << id;
    const long long records = top[i].at("records").num(), error = top[i].at("records_error").num();
    EXPECT_LE(static_cast<long long>(busy[id]), records) << id;
    EXPECT_LE(records - error, static_cast<long long>(busy[id])) << id;
    EXPECT_FALSE(top[i].at("nodes_exact").b && error != 0);
  }
  EXPECT_EQ(log.at("counters").num(), 4096);
}

// ---------------------------------------------------------------------------
// What the summary says of its filters, of tags it did not count and of
// bytes it did not read.

TEST(Stats, FiltersAreShownAndTheHeadLineFollowsThem) {
  log_builder b;
  for (uint32_t i = 0; i < 12; ++i)
    b.at(10 + i, 1700000000 + 60 * i).fixrec(logbuild::PUT, 20 + i / 3, 5, i);
  b.at(30, 1700001000).end('F');
  const std::string log = b.str();
  // Transaction 21: the tags of sequence 13 to 15, one minute apart.
  const golden::result r = golden::scan(log, {"--stats", "-x", "21:21", "--kind", "REC"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("\nFilters (only the tags they let through are counted):\n"
                        "  transaction        21 to 21\n"
                        "  tag kinds          REC (end tags always)\n\nLog: t.fwlog\n",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("  4 of 13 tags counted, sequence 13 to 30\n"
                       "  time 2023-11-14 22:16:20 to 2023-11-14 22:30:00 (00:13:40)\n"),
            std::string::npos)
      << r.out;
  const golden::result j =
      golden::scan(log, {"--stats", "--json", "-x", "21:21", "-t", "1700000100:1700009999"});
  const json_reader::result parsed = json_reader::parse(j.out);
  ASSERT_TRUE(parsed.ok()) << parsed.message() << "\n" << j.out;
  const json_reader::value& f = parsed.v.at("filters");
  EXPECT_EQ(f.at("from_transaction").num(), 21);
  EXPECT_EQ(f.at("to_transaction").num(), 21);
  EXPECT_EQ(f.at("from_timestamp").num(), 1700000100);
  EXPECT_EQ(f.at("to_time").text, "2023-11-15T00:59:59Z");
  EXPECT_TRUE(f.at("node_id").is_null());
  EXPECT_TRUE(f.at("kinds").is_null());
  const json_reader::value& first = parsed.v.at("logs").items.at(0);
  EXPECT_EQ(first.at("tags").num(), 13);
  EXPECT_EQ(first.at("counted_tags").num(), 4);
  EXPECT_EQ(first.at("first_sequence").num(), 13);
  EXPECT_EQ(first.at("first_timestamp").num(), 1700000180);
  // Without filters the document has them all null, and the text none.
  const golden::result plain = golden::scan(log, {"--stats"});
  EXPECT_EQ(plain.out.find("Filters"), std::string::npos);
  EXPECT_NE(plain.out.find("  13 tags, sequence 10 to 30\n"), std::string::npos) << plain.out;
}

TEST(Stats, MalformedTagsLeftOutAreNotFilteredOut) {
  log_builder b;
  b.fixrec(logbuild::PUT, 4, 5, 1, "ok");
  b.image(13, 4, 5, "short");             // a FIXREC payload too short to read
  b.nodemeta(5, std::string(9000, 'm'));  // meta data larger than a page
  b.fixrec(logbuild::PUT, 4, 5, 2, "ok").end('F');
  const std::string log = b.str();
  const golden::result r = golden::scan(log, {"--stats"});
  const auto sections = parse_stats(r.out);
  ASSERT_EQ(sections.size(), 1u) << r.out;
  EXPECT_EQ(sections[0].filtered_tags, 0u) << r.out;
  EXPECT_NE(r.out.find("  malformed items: 2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    malformed tags left out              9047  (2 tags)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  3 of 5 tags counted,"), std::string::npos) << r.out;
  const json_reader::result j = json_reader::parse(golden::scan(log, {"--stats", "--json"}).out);
  ASSERT_TRUE(j.ok());
  const json_reader::value& s = j.v.at("logs").items.at(0);
  EXPECT_EQ(s.at("malformed_left_out_tags").num(), 2);
  EXPECT_EQ(s.at("filtered_out_tags").num(), 0);
  const json_reader::value& bytes = s.at("bytes");
  EXPECT_EQ(bytes.at("read").num(), static_cast<long long>(log.size()));
  EXPECT_EQ(bytes.at("read").num(),
            bytes.at("header").num() + bytes.at("counted").num() + bytes.at("filtered_out").num() +
                bytes.at("malformed_left_out").num() + bytes.at("cut_short").num());
}

namespace {

// The byte identity of a --stats --json log or total, with what was not
// read: the whole input.
long long input_bytes(const json_reader::value& summary) {
  const json_reader::value& b = summary.at("bytes");
  EXPECT_EQ(b.at("read").num(), b.at("header").num() + b.at("counted").num() +
                                    b.at("filtered_out").num() + b.at("malformed_left_out").num() +
                                    b.at("cut_short").num());
  return b.at("read").num() + b.at("unread").num();
}

// The text's line of the bytes not read from offset `from` on.
std::string not_read_line(size_t n, size_t from) {
  char line[128];
  std::snprintf(line, sizeof line, "  %-26s %16zu  (from offset %zu on)\n", "bytes not read", n,
                from);
  return line;
}

}  // namespace

TEST(Stats, AnUnrecognizedLetterEndsTheLogWhereTheCheckSaysItDoes) {
  log_builder b;
  for (uint32_t i = 0; i < 30; ++i) b.fixrec(logbuild::PUT, 3, 5, i, "abcdef");
  b.end('F');
  std::string log = b.str();
  const size_t header = logbuild::header_bytes(header_fields()).size();
  const size_t tag_size = (log.size() - header - 9) / 30;
  const size_t at = header + 12 * tag_size;  // the 13th tag's letter
  ASSERT_EQ(log[at], '1');
  log[at] = 'Z';
  const golden::result stats = golden::scan(log, {"--stats"});
  const golden::result check = golden::scan(log, {"--check"});
  const std::string where = "at offset " + std::to_string(at);
  EXPECT_NE(stats.err.find("unrecognized tag type 0x5a " + where + ";"), std::string::npos)
      << stats.err;
  EXPECT_NE(check.out.find(", 12 tags, sequence 1 to 12,"), std::string::npos) << check.out;
  EXPECT_NE(stats.out.find("  12 tags, sequence 1 to 12\n"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("  ended by an unrecognized tag letter " + where + "\n"),
            std::string::npos)
      << stats.out;
  const auto sections = parse_stats(stats.out);
  ASSERT_EQ(sections.size(), 1u);
  expect_bytes_add_up(sections[0]);
  EXPECT_EQ(sections[0].bytes.at("bytes read"), static_cast<long long>(at));
  EXPECT_EQ(sections[0].bytes.at("cut short at the end"), 0);
  EXPECT_NE(stats.out.find(not_read_line(log.size() - at, at)), std::string::npos) << stats.out;
  const json_reader::result j = json_reader::parse(golden::scan(log, {"--stats", "--json"}).out);
  ASSERT_TRUE(j.ok());
  const json_reader::value& s = j.v.at("logs").items.at(0);
  EXPECT_EQ(s.at("end").text, "unknown_letter");
  EXPECT_EQ(s.at("end_offset").num(), static_cast<long long>(at));
  EXPECT_EQ(s.at("tags").num(), 12);
  EXPECT_EQ(input_bytes(s), static_cast<long long>(log.size()));
}

TEST(Stats, BytesNotReadAfterAnEndTagOrARefusedHeader) {
  // A tag letter in the middle turned into an end tag: the bytes behind
  // it are no log.
  const std::string log = generated_log("--seed 8 --tags 300", "cut.fwlog");
  if (log.empty()) GTEST_SKIP() << "fwgen was not built";
  const json_reader::result plain =
      json_reader::parse(golden::scan(log, {"--stats", "--json"}).out);
  ASSERT_TRUE(plain.ok());
  // The letter of a tag in the middle, from the report's own offsets.
  const golden::result tags = golden::scan(log, {"--json", "-a"});
  size_t at = 0;
  int n = 0;
  for (const std::string& line : lines_of(tags.out)) {
    const json_reader::result t = json_reader::parse(line);
    if (t.ok() && t.v.at("type").text == "tag" && ++n == 20) at = t.v.at("offset").num();
  }
  ASSERT_GT(at, 0u);
  std::string finished = log;
  finished[at] = 'F';
  const golden::result r = golden::scan(finished, {"--stats"});
  EXPECT_NE(r.out.find("  ended by end tag EOF_FINISH at offset " + std::to_string(at + 9) + "\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(not_read_line(finished.size() - at - 9, at + 9)), std::string::npos)
      << r.out;
  const json_reader::result j =
      json_reader::parse(golden::scan(finished, {"--stats", "--json"}).out);
  ASSERT_TRUE(j.ok());
  EXPECT_EQ(input_bytes(j.v.at("logs").items.at(0)), static_cast<long long>(finished.size()));
  EXPECT_EQ(input_bytes(j.v.at("total")), static_cast<long long>(finished.size()));

  // Behind an end tag, something that starts like a log but whose header
  // is refused: a second section that read nothing of it.
  log_builder b;
  b.fixrec(logbuild::PUT, 3, 5, 1, "x").end('C');
  const std::string two = b.str() + "DRAV.NOTALOG and more bytes";
  const json_reader::result k = json_reader::parse(golden::scan(two, {"--stats", "--json"}).out);
  ASSERT_TRUE(k.ok()) << two;
  ASSERT_EQ(k.v.at("logs").items.size(), 2u);
  const json_reader::value& refused = k.v.at("logs").items[1];
  EXPECT_EQ(refused.at("end").text, "header_failure");
  EXPECT_TRUE(refused.at("header").is_null());
  EXPECT_EQ(refused.at("bytes").at("read").num(), 0);
  EXPECT_EQ(refused.at("bytes").at("unread").num(), 27);
  EXPECT_EQ(input_bytes(k.v.at("total")), static_cast<long long>(two.size()));
}

TEST(Stats, DayBucketsStayOnLocalMidnightAcrossAClockChange) {
  // New York's rules without the time zone files: the clock goes back an
  // hour on 2023-11-05. A tag at 00:30 and one at 23:30 local time each
  // day from October 20 to November 19.
  const golden::environment tz = {{"TZ", "EST5EDT,M3.2.0,M11.1.0"}};
  log_builder b;
  auto midnight = [](int day) {  // day 0: 2023-10-20 00:00 EDT
    return 1697774400u + 86400u * static_cast<uint32_t>(day) + (day > 16 ? 3600u : 0u);
  };
  uint32_t seq = 1;
  for (int day = 0; day < 31; ++day) {
    b.at(seq++, midnight(day) + 1800).sign_off(5);
    b.at(seq++, midnight(day + 1) - 1800).sign_off(5);
  }
  b.at(seq, midnight(30) + 43200).end('F');
  golden::temp_file(b.str(), "dst.fwlog");
  const golden::result r = golden::run({"--stats", "dst.fwlog"}, "", tz);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto sections = parse_stats(r.out);
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0].bucket_width, "1 day") << r.out;
  EXPECT_EQ(sections[0].bucket_rows, 31) << r.out;
  for (int day : {1, 15, 16, 17, 30}) {
    char row[64];
    std::snprintf(row, sizeof row, "    2023-%02d-%02d 00:00:00  %d  ", day < 12 ? 10 : 11,
                  day < 12 ? 20 + day : day - 11, day == 30 ? 3 : 2);
    EXPECT_NE(r.out.find(row), std::string::npos) << row << r.out;
  }
  const json_reader::result j =
      json_reader::parse(golden::run({"--stats", "--json", "dst.fwlog"}, "", tz).out);
  ASSERT_TRUE(j.ok());
  const auto& buckets = j.v.at("logs").items.at(0).at("histogram").at("buckets").items;
  ASSERT_EQ(buckets.size(), 31u);
  EXPECT_EQ(buckets[16].at("time").text, "2023-11-05T04:00:00Z");  // midnight EDT
  EXPECT_EQ(buckets[17].at("time").text, "2023-11-06T05:00:00Z");  // midnight EST
}

TEST(Stats, EveryJsonKeyAndEndIsInTheManPage) {
  // The keys of a document with every part: two logs (the second cut),
  // filters, transactions and nodes.
  log_builder b;
  b.context_db(100, "shop").fixrec(logbuild::PUT, 3, 100, 1, "x").end('C');
  header_fields next;
  next.file_sequence = 2;
  b.next_log(next).fixrec(logbuild::PUT, 4, 100, 1, "y");
  const std::string log = b.str();
  const json_reader::result j =
      json_reader::parse(golden::scan(log.substr(0, log.size() - 3),
                                      {"--stats", "--json", "--order=sequence", "-x", "3"})
                             .out);
  ASSERT_TRUE(j.ok());
  std::set<std::string> keys;
  std::vector<const json_reader::value*> todo = {&j.v};
  while (!todo.empty()) {
    const json_reader::value* v = todo.back();
    todo.pop_back();
    for (const auto& m : v->members) {
      keys.insert(m.first);
      todo.push_back(&m.second);
    }
    for (const auto& item : v->items) todo.push_back(&item);
  }
  // The man page beside the tests' source, SUMMARIES section.
  std::string source = __FILE__;
  source = source.substr(0, source.rfind("/tests/"));
  std::ifstream f(source + "/jrnscan.1");
  ASSERT_TRUE(f) << source;
  std::stringstream all;
  all << f.rdbuf();
  const std::string man = all.str();
  const size_t from = man.find("\n.SH SUMMARIES\n");
  ASSERT_NE(from, std::string::npos);
  const std::string section = man.substr(from, man.find("\n.SH ", from + 1) - from);
  EXPECT_GT(keys.size(), 60u);
  // Each in bold: ".B key", or ".BR key ," where punctuation follows.
  for (const std::string& key : keys) {
    EXPECT_TRUE(section.find(".B " + key + "\n") != std::string::npos ||
                section.find(".BR " + key + " ") != std::string::npos)
        << key << " is not in SUMMARIES";
  }
  for (const char* end :
       {"eof_finish", "eof_cont", "next_log", "input_between", "input_inside", "unknown_letter",
        "read_failure", "header_failure", "body_failure", "stopped"}) {
    EXPECT_NE(section.find(std::string(".B ") + end + "\n"), std::string::npos) << end;
  }
}

// Logs of two series, in files that hold them out of file sequence order:
// each series is its logs added up in file sequence order, whatever order
// they were read in, and the series add up to the total.
TEST(Stats, SeriesAreTheirLogsAddedUpInFileSequenceOrder) {
  struct log_def {
    std::string name;
    uint32_t volume_set_id;
    int32_t file_sequence;
  };
  // Series 0x200 has three logs, series 0x100 (listed first) two.
  const std::vector<log_def> logs = {
      {"a1", 0x200, 1}, {"a2", 0x200, 2}, {"a3", 0x200, 3}, {"b7", 0x100, 7}, {"b8", 0x100, 8}};
  const std::vector<std::string> filter = {"-x", "2:9"};
  std::map<std::string, std::string> bytes_of;
  std::map<std::string, json_reader::value> alone;  // each log on its own
  for (const log_def& l : logs) {
    header_fields h;
    h.volume_set_id = l.volume_set_id;
    h.file_sequence = l.file_sequence;
    log_builder b(h);
    const uint32_t base = static_cast<uint32_t>(l.file_sequence) * 10;
    b.at(base, 1700000000 + base * 60);
    for (uint32_t i = 0; i < 3 + base % 7; ++i)
      b.fixrec(logbuild::PUT, i % 12, 300 + i % 3, i, std::string(i, 'r'));
    b.end(l.name == "a3" || l.name == "b8" ? 'F' : 'C');
    // Bytes behind the last end tag are not read: in its series too.
    bytes_of[l.name] = b.str() + (l.name == "a3" ? "junk" : "");
    std::vector<std::string> args = {"--stats", "--json",
                                     golden::temp_file(bytes_of[l.name], l.name + ".fwlog")};
    args.insert(args.end(), filter.begin(), filter.end());
    const json_reader::result one = json_reader::parse(golden::run(args).out);
    ASSERT_TRUE(one.ok()) << l.name;
    alone[l.name] = one.v.at("logs").items.at(0);
  }
  // Files are read by the series and file sequence of their first log:
  // b7 a3, b8 a2, a1.
  golden::temp_file(bytes_of["b7"] + bytes_of["a3"], "f1.fwlog");
  golden::temp_file(bytes_of["b8"] + bytes_of["a2"], "f2.fwlog");
  std::vector<std::string> args = {"--stats",  "--json",   "--order=sequence",
                                   "f1.fwlog", "f2.fwlog", "a1.fwlog"};
  args.insert(args.end(), filter.begin(), filter.end());
  const golden::result r = golden::run(args);
  const json_reader::result j = json_reader::parse(r.out);
  ASSERT_TRUE(j.ok()) << j.message() << "\n" << r.out;
  const auto& series = j.v.at("series").items;
  ASSERT_EQ(series.size(), 2u) << r.out;
  const json_reader::value& total = j.v.at("total");

  const char* const added[] = {
      "tags",   "malformed", "counted_tags", "filtered_out_tags", "malformed_left_out_tags",
      "records"};
  const char* const bytes[] = {
      "read", "header", "counted", "filtered_out", "malformed_left_out", "cut_short", "unread"};
  std::map<std::string, long long> over_series;
  for (size_t i = 0; i < series.size(); ++i) {
    const json_reader::value& s = series[i];
    const uint32_t id = i == 0 ? 0x100 : 0x200;
    SCOPED_TRACE("series " + std::to_string(id));
    EXPECT_EQ(s.at("volume_set_id").num(), id);
    EXPECT_EQ(s.at("volume_generation").num(), 3);
    std::vector<const log_def*> mine;
    for (const log_def& l : logs)
      if (l.volume_set_id == id) mine.push_back(&l);
    const json_reader::value& first = alone.at(mine.front()->name);
    const json_reader::value& last = alone.at(mine.back()->name);
    EXPECT_EQ(s.at("logs").num(), static_cast<long long>(mine.size()));
    EXPECT_EQ(s.at("first_file_sequence").num(), mine.front()->file_sequence);
    EXPECT_EQ(s.at("last_file_sequence").num(), mine.back()->file_sequence);
    EXPECT_EQ(s.at("end").text, "eof_finish");
    for (const char* k : {"first_sequence", "first_timestamp", "first_time"})
      EXPECT_EQ(s.at(k).text, first.at(k).text) << k;
    for (const char* k : {"last_sequence", "last_timestamp", "last_time"})
      EXPECT_EQ(s.at(k).text, last.at(k).text) << k;
    for (const char* k : added) {
      long long sum = 0;
      for (const log_def* l : mine) sum += alone.at(l->name).at(k).num();
      EXPECT_EQ(s.at(k).num(), sum) << k;
      over_series[k] += sum;
    }
    for (const char* k : bytes) {
      long long sum = 0;
      for (const log_def* l : mine) sum += alone.at(l->name).at("bytes").at(k).num();
      EXPECT_EQ(s.at("bytes").at(k).num(), sum) << k;
      over_series[std::string("bytes.") + k] += sum;
    }
  }
  EXPECT_GT(over_series.at("filtered_out_tags"), 0);
  EXPECT_EQ(over_series.at("bytes.unread"), 4);
  for (const char* k : added) EXPECT_EQ(total.at(k).num(), over_series.at(k)) << k;
  for (const char* k : bytes)
    EXPECT_EQ(total.at("bytes").at(k).num(), over_series.at(std::string("bytes.") + k)) << k;
  // The total's first and last tag in file sequence order, not in the
  // order read.
  EXPECT_EQ(total.at("first_time").text, series[0].at("first_time").text);
  EXPECT_EQ(total.at("last_time").text, series[1].at("last_time").text);

  // The text: a section per series between the logs and the total.
  args.erase(args.begin() + 1);
  const auto sections = parse_stats(golden::run(args).out);
  ASSERT_EQ(sections.size(), 5u + 2u + 1u);
  EXPECT_TRUE(starts_with(sections[5].text,
                          "Series: volume set 0x100 generation 3\n"
                          "  2 logs, file sequence 7 to 8\n"))
      << sections[5].text;
  EXPECT_NE(sections[6].text.find("  file sequence 3 ended by end tag EOF_FINISH\n"),
            std::string::npos)
      << sections[6].text;
  EXPECT_TRUE(starts_with(sections[7].text, "All 5 logs in 2 series\n")) << sections[7].text;
  expect_bytes_add_up(sections[6]);
  EXPECT_EQ(sections[6].bytes.at("bytes read"), series[1].at("bytes").at("read").num());

  // A file outside --since/--until is passed over unread, and said so.
  const golden::result skipped = golden::run(
      {"--stats", "--order=sequence", "--since", "2023-11-14 23:00:00", "a1.fwlog", "b8.fwlog"});
  char line[160];
  std::snprintf(line, sizeof line, "  %-26s %16zu  (1 file outside the time window)\n",
                "bytes skipped", bytes_of.at("a1").size());
  EXPECT_NE(skipped.out.find("\nAll 1 log in 1 series\n"), std::string::npos) << skipped.out;
  EXPECT_NE(skipped.out.find(line), std::string::npos) << skipped.out;

  // Without --order=sequence (plain files) the output has no series.
  const golden::result plain = golden::run({"--stats", "--json", "a1.fwlog", "b7.fwlog"});
  EXPECT_EQ(plain.out.find("series"), std::string::npos);
  EXPECT_EQ(plain.out.find("skipped"), std::string::npos);
}

// Files of unknown size passed over for the time window, and the bound on
// the series kept, fed to the summary directly.
TEST(StatsCounting, SkippedFilesAndTheSeriesKept) {
  const std::string text_out = golden::work_dir() + "/skipped.txt";
  {
    sink_driver d(text_out, false);
    d.skipped("early.fwlog", 1000);
    d.begin_log();
    d.record(1, 1);
    d.end_log();
    d.skipped("late.fwlog.gz", -1);
    d.skipped("later.fwlog", 234);
    d.finish();
  }
  // One log, yet a total, which says what was skipped.
  const std::string text = read_file(text_out);
  EXPECT_NE(text.find("\nAll 1 log\n"), std::string::npos) << text;
  char line[160];
  std::snprintf(
      line, sizeof line,
      "  %-26s %16s  (at least 1234; 3 files outside the time window, 1 of unknown size)\n",
      "bytes skipped", "unknown");
  EXPECT_NE(text.find(line), std::string::npos) << text;

  // One series more than are kept: its log is in the total only.
  const std::string json_out = golden::work_dir() + "/series.json";
  const uint32_t n = static_cast<uint32_t>(jrn::stats_sink::max_series) + 1;
  {
    sink_driver d(json_out, true, true);
    for (uint32_t i = n; i >= 1; --i) {  // the highest set id first: it is kept
      d.begin_log(i);
      d.record(i, 1);
      d.end_log();
    }
    d.skipped("early.fwlog", 1000);
    d.finish();
  }
  const json_reader::result j = json_reader::parse(read_file(json_out));
  ASSERT_TRUE(j.ok()) << j.message();
  const auto& series = j.v.at("series").items;
  ASSERT_EQ(series.size(), n - 1);
  EXPECT_EQ(series.front().at("volume_set_id").num(), 2);
  EXPECT_EQ(series.back().at("volume_set_id").num(), n);
  const json_reader::value& total = j.v.at("total");
  EXPECT_EQ(total.at("logs_in_series_not_kept").num(), 1);
  EXPECT_EQ(total.at("records").num(), n);
  EXPECT_EQ(total.at("skipped").at("bytes").num(), 1000);
}

// The pages written most: the pages that records' page probes find (each
// once per record, a NODECLUSTER's first page only) and the pages of
// CLUSTER images, per node; in the text and the JSON.
TEST(Stats, TopPagesNamedByRecordsAndClusterImages) {
  using logbuild::bytes;
  log_builder b;
  b.context_db(100, "shop").context_set(7, 100, "stock");
  bytes nodepage;
  nodepage.u32(2).u32(17).u32(3).u32(1).u32(17).u32(4).u32(1).fill(772 - 28);
  b.image(logbuild::OP_NODEPAGE, 0, 7, nodepage);
  b.image(logbuild::OP_BTREE, 1, 7, bytes().fill(12).u32(17).u32(17));
  b.image(logbuild::OP_NODECLUSTER, 1, 7, bytes().u32(100).i16(50).u16(1));
  b.cluster(7, 16, {"a", "b", "c"});
  b.image(logbuild::OP_POOL, 2, 9, bytes().u32(2).fill(12).u32(5).fill(8));
  b.image(logbuild::OP_POOL, 2, 9, bytes().u32(9).fill(12).u32(6).fill(8));  // op not expected
  b.image(logbuild::OP_BTREE_FWR, 2, 9, bytes().u16(4).u8(1).u8(0).u32(5));
  b.fixrec(logbuild::PUT, 2, 9, 5, "no page").end();

  const golden::result r = golden::scan(b.str(), {"--stats"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string table =
      "\n  top 7 pages by times named (7 in records, 3 in page images)\n"
      "           named         page          hex         node  name\n"
      "               3           17         0x11            7  SHOP.STOCK\n"
      "               2            5          0x5            9  #9\n"
      "               1            3          0x3            7  SHOP.STOCK\n"
      "               1            4          0x4            7  SHOP.STOCK\n"
      "               1           16         0x10            7  SHOP.STOCK\n"
      "               1           18         0x12            7  SHOP.STOCK\n"
      "               1          100         0x64            7  SHOP.STOCK\n";
  EXPECT_NE(r.out.find(table), std::string::npos) << r.out;

  const golden::result j = golden::scan(b.str(), {"--stats", "--json", "--top", "2"});
  const json_reader::result parsed = json_reader::parse(j.out);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  const json_reader::value& total = parsed.v.at("total");
  EXPECT_EQ(total.at("page_namings").num(), 7);
  EXPECT_EQ(total.at("page_images").num(), 3);
  EXPECT_TRUE(total.at("top_pages_exact").b);
  const json_reader::value& pages = total.at("top_pages");
  ASSERT_EQ(pages.items.size(), 2u);
  EXPECT_EQ(pages.items[0].at("node_id").num(), 7);
  EXPECT_EQ(pages.items[0].at("name").text, "SHOP.STOCK");
  EXPECT_EQ(pages.items[0].at("page").num(), 17);
  EXPECT_EQ(pages.items[0].at("count").num(), 3);
  EXPECT_EQ(pages.items[0].at("count_error").num(), 0);
  EXPECT_TRUE(pages.items[1].at("name").is_null());
  EXPECT_EQ(pages.items[1].at("page").num(), 5);

  // The filters choose the tags counted: the records of node 9 name one
  // page; a log without page names has no table.
  const golden::result n9 = golden::scan(b.str(), {"--stats", "-n", "9"});
  EXPECT_NE(n9.out.find("  top 1 page by times named (2 in records, 0 in page images)\n"),
            std::string::npos)
      << n9.out;
  log_builder plain;
  plain.fixrec(logbuild::PUT, 2, 9, 5, "no page").end();
  EXPECT_EQ(golden::scan(plain.str(), {"--stats"}).out.find("pages by times named"),
            std::string::npos);
}

// The pages a record names are exactly those its opcode's page probe (the
// test of -p) finds among the page numbers its payload holds, over random
// payloads of every opcode that has a probe.
TEST(StatsCounting, RecordPagesAreWhatTheProbesFind) {
  std::mt19937 rng(7);
  for (unsigned code = 0; code < 256; ++code) {
    const jrn::opcode_info& op = jrn::opcode_lookup(static_cast<uint8_t>(code));
    if (!op.probe) continue;
    for (int round = 0; round < 3000; ++round) {
      uint32_t size = op.rule_size + rng() % 24;
      if (op.rule == jrn::size_rule::exactly) size = op.rule_size;
      if (code == logbuild::OP_POOL_FLIST) size = std::vector<uint32_t>{8, 20, 28, 32}[rng() % 4];
      // Small numbers everywhere, so that fields hold the same pages.
      std::vector<uint8_t> data(size + 4, 0);
      for (uint32_t at = 0; at + 4 <= size; at += 4) {
        const uint32_t v = code == logbuild::OP_NODEPAGE && at == 0 ? rng() % 70 : rng() % 12;
        std::memcpy(&data[at], &v, 4);
      }
      const jrn::payload_view p(data.data(), size);
      uint32_t pages[jrn::max_record_pages];
      const uint32_t n = jrn::record_pages(static_cast<uint8_t>(code), p, pages);
      const std::set<uint32_t> listed(pages, pages + n);
      ASSERT_EQ(listed.size(), n) << op.name;  // each page once
      for (uint32_t page : listed) {
        EXPECT_NE(page, 0u) << op.name;
        EXPECT_TRUE(op.probe(p, page)) << op.name << " " << page;
      }
      if (code == logbuild::OP_NODECLUSTER) {
        const uint32_t first = p.u32(0);
        EXPECT_EQ(n, first != 0 && op.probe(p, first) ? 1u : 0u);
        continue;
      }
      for (uint32_t at = 0; at + 4 <= size; ++at) {
        const uint32_t page = p.u32(at);
        if (page != 0 && op.probe(p, page)) {
          EXPECT_TRUE(listed.count(page)) << op.name << " page " << page << " at " << at;
        }
      }
    }
  }
}
