// Every record mode against the generator's account of an archive that is
// not clean: two series side by side (the same node and record numbers in
// both), a file missing from one, a copy of a file, a file cut short, and
// names that say nothing of the order. --history, --as-of, --undo and
// --check must say what the account says wherever the archive tells it,
// and "unknown" exactly where it cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "test_files.h"

namespace {

using json_reader::value;
using test_files::json_lines;
using test_files::slurp;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A change in the archive: its series (0 for A, 1 for B), file sequence
// and offset in that file.
using place = std::tuple<int, long long, long long>;
using record_id = std::tuple<int, long long, long long>;  // series, node, recno

// What a reader of the archive can know of a record at one point.
struct life {
  bool known = false;  // a record that existed before the archive is not told
  bool exists = true;
  std::string content;  // hex
};

struct expected_change {
  long long node = 0, recno = 0;
  std::string op;
  life before;
  bool after_known = false;
  bool after_exists = false;
  std::string after;  // hex
  long long timestamp = 0;
};

struct archive {
  std::string dir;                                         // the operand: every file, renamed
  std::map<std::string, std::pair<int, long long>> files;  // name -> series, file sequence
  std::map<place, expected_change> changes;
  std::map<long long, std::vector<value>> txns;  // series A's transactions by id
  std::set<std::pair<long long, long long>> dropped_records;
  long long cut_from = 0;                     // changes of B's last file from here on may be cut
  long long first_time_a = 0, drop_time = 0;  // drop_time: in the missing file's time
  std::vector<value> truth;
};

// Series A of 8 files without file sequence 4, series B of 8 files whose
// last is cut at two thirds, a copy of A's file 2, all in one directory
// under names in no order.
archive build(int seed) {
  archive a;
  const std::string base = golden::work_dir() + "/agree" + std::to_string(seed);
  const std::string command = "rm -rf '" + base + "' && mkdir -p '" + base + "/mix' && cd '" +
                              base + "' && " + FWGEN_BIN + " --seed " + std::to_string(seed) +
                              " --tags 5000 --logs 8 --series A --drop 4 --second-series B"
                              " --truth t.jsonl";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  a.dir = base + "/mix";
  a.truth = json_lines(slurp(base + "/t.jsonl"), "truth");
  int name = 0;
  auto add = [&](int series, long long fseq, const std::string& bytes) {
    // Names in an order of their own: 7 is coprime with 100.
    char n[32];
    std::snprintf(n, sizeof n, "n%02d.fwlog", (name++ * 7) % 100);
    write_file(a.dir + "/" + n, bytes);
    a.files[n] = {series, fseq};
  };
  for (int s = 0; s < 2; ++s)
    for (long long f = 1; f <= 8; ++f) {
      char p[64];
      std::snprintf(p, sizeof p, "/%c/%06lld.fwlog", s ? 'B' : 'A', f);
      std::string bytes = slurp(base + p);
      if (bytes.empty()) continue;  // the dropped file
      if (s == 1 && f == 8) {
        bytes.resize(bytes.size() * 2 / 3);
        a.cut_from = static_cast<long long>(bytes.size()) - 2048;
      }
      add(s, f, bytes);
      if (s == 0 && f == 2) add(s, f, bytes);  // the copy
    }
  return a;
}

// Reads the account: what a reader knows before and after every change.
void account(archive& a) {
  long long vs_a = -1;
  std::map<record_id, life> lives;
  for (const value& v : a.truth) {
    const std::string type = v.at("type").text;
    if (vs_a < 0) vs_a = v.at("volume_set").num();
    const int s = v.at("volume_set").num() == vs_a ? 0 : 1;
    if (type == "dropped") {
      for (auto& l : lives)
        if (std::get<0>(l.first) == s) l.second.known = false;
      for (const value& r : v.at("records").items)
        a.dropped_records.insert({r.at("node_id").num(), r.at("recno").num()});
      continue;
    }
    if (type == "transaction") {
      if (s == 0) a.txns[v.at("transaction_id").num()].push_back(v);
      continue;
    }
    if (type == "existing") continue;
    const record_id id{s, v.at("node_id").num(), v.at("recno").num()};
    const long long fseq = v.at("file_sequence").num();
    if (s == 0 && !a.first_time_a) a.first_time_a = v.at("timestamp").num();
    // A moment inside the missing file: behind the last tag of file 3.
    if (s == 0 && fseq > 4 && !a.drop_time) a.drop_time = v.at("timestamp").num() - 1;
    if (type == "before_image") {
      lives[id] = {true, true, v.at("content").text};
      continue;
    }
    expected_change c;
    c.node = v.at("node_id").num();
    c.recno = v.at("recno").num();
    c.op = v.at("fixrec_op").text;
    c.before = lives[id];
    c.timestamp = v.at("timestamp").num();
    c.after_known = !v.has("unknown");
    c.after_exists = !v.at("content").is_null();
    if (c.after_exists) c.after = v.at("content").text;
    lives[id] = {c.after_known, c.after_exists, c.after};
    a.changes[{s, fseq, v.at("offset").num()}] = c;
  }
}

bool may_be_cut(const archive& a, const place& p) {
  return std::get<0>(p) == 1 && std::get<1>(p) == 8 && std::get<2>(p) >= a.cut_from;
}

std::string content_of(const value& v, const char* key) {
  return v.at(key).is_null() ? std::string("null") : lower(v.at(key).text);
}

class Agreement : public ::testing::TestWithParam<int> {};

// --history of records changed in the missing file and of records of
// both series: every change once, in its series, befores and afters as
// the account says.
TEST_P(Agreement, HistoryFollowsEachSeriesAndKnowsNothingAcrossTheGap) {
  archive a = build(GetParam());
  account(a);
  // The records changed in the missing file, and some of series B.
  std::set<std::pair<long long, long long>> asked = a.dropped_records;
  for (const auto& c : a.changes)
    if (std::get<0>(c.first) == 1 && asked.size() < a.dropped_records.size() + 10)
      asked.insert({c.second.node, c.second.recno});
  ASSERT_FALSE(asked.empty());
  std::vector<std::string> args = {"--json"};
  for (const auto& r : asked) {
    args.push_back("--history");
    args.push_back(std::to_string(r.first) + ":" + std::to_string(r.second));
  }
  args.push_back(a.dir);
  const golden::result r = golden::run(args);
  EXPECT_EQ(r.status, 1) << "a cut file fails the run";
  EXPECT_NE((r.out + r.err).find("file sequence 4 of series"), std::string::npos) << r.err;
  std::set<place> seen;
  size_t compared = 0, unknown_before = 0;
  for (const value& h : json_lines(r.out, "history")) {
    if (h.at("type").text != "record_change") continue;
    std::string log = h.at("log").text;
    log = log.substr(log.rfind('/') + 1);
    ASSERT_TRUE(a.files.count(log)) << log;
    const place p{a.files[log].first, a.files[log].second, h.at("offset").num()};
    EXPECT_TRUE(seen.insert(p).second) << "a change told twice (the copy read again?) in " << log;
    const auto t = a.changes.find(p);
    ASSERT_NE(t, a.changes.end()) << "a change the account does not hold, in " << log;
    const expected_change& c = t->second;
    SCOPED_TRACE(log + " offset " + std::to_string(std::get<2>(p)));
    ++compared;
    EXPECT_EQ(h.at("after_known").b, c.after_known);
    if (c.after_known) {
      EXPECT_EQ(content_of(h, "after"), c.after_exists ? c.after : "null");
    }
    if (c.op == "PUT" || c.op == "PUT_NO_DATA") continue;  // what a put replaces is not told
    EXPECT_EQ(h.at("before_known").b, c.before.known);
    unknown_before += !c.before.known;
    if (c.before.known && h.at("before_known").b) {
      EXPECT_EQ(content_of(h, "before"), c.before.exists ? c.before.content : "null");
    }
  }
  // Every change of the asked records is told, but those the cut took.
  for (const auto& c : a.changes) {
    if (asked.count({c.second.node, c.second.recno}) && !may_be_cut(a, c.first)) {
      EXPECT_TRUE(seen.count(c.first))
          << "series " << std::get<0>(c.first) << " file " << std::get<1>(c.first) << " offset "
          << std::get<2>(c.first) << ": a change not told";
    }
  }
  EXPECT_GT(compared, 20u);
  EXPECT_GT(unknown_before, 0u);
}

// --undo of transactions of series A: a record's before as the account
// says where the undo calls it known, never known where the account says
// a reader cannot know it, and an undo of a transaction before the missing
// file is never complete (the missing file may have changed any of its
// records since).
TEST_P(Agreement, UndoSaysWhatWasAndIsIncompleteBeforeTheGap) {
  archive a = build(GetParam());
  account(a);
  size_t before_gap = 0, after_gap = 0, compared = 0;
  // Sixteen transactions spread over the series.
  const size_t step = std::max<size_t>(1, a.txns.size() / 16);
  size_t index = 0;
  for (const auto& t : a.txns) {
    if (index++ % step != 0 || t.second.size() != 1) continue;
    const value& txn = t.second[0];
    const golden::result r = golden::run({"--json", "--undo", std::to_string(t.first), a.dir});
    std::map<std::pair<long long, long long>, const value*> truth_records;
    for (const value& rec : txn.at("records").items)
      truth_records[{rec.at("node_id").num(), rec.at("recno").num()}] = &rec;
    bool early = false, complete = true;
    std::string log;
    for (const value& u : json_lines(r.out, "undo")) {
      if (u.at("type").text == "undo_summary") complete = u.at("complete").b;
      if (u.at("type").text != "undo_record") continue;
      log = u.at("first_change").at("log").text;
      log = log.substr(log.rfind('/') + 1);
      early = a.files[log].second < 4;
      const auto k = truth_records.find({u.at("node_id").num(), u.at("recno").num()});
      ASSERT_NE(k, truth_records.end()) << "transaction " << t.first;
      const value& rec = *k->second;
      SCOPED_TRACE("transaction " + std::to_string(t.first) + " record " +
                   std::to_string(u.at("recno").num()));
      // The undo follows a record from the transaction's first change of
      // it: a before that only earlier transactions tell stays unknown to
      // it. What it calls known must be so, and right.
      const bool known = !rec.has("before_unknown");
      if (!known) {
        EXPECT_FALSE(u.at("before_known").b);
      }
      if (u.at("before_known").b) {
        EXPECT_EQ(content_of(u, "before"), content_of(rec, "before"));
        ++compared;
      }
    }
    if (log.empty()) continue;
    (early ? before_gap : after_gap) += 1;
    if (early) {
      EXPECT_FALSE(complete) << "transaction " << t.first << " in " << log;
    }
  }
  EXPECT_GT(compared, 10u);
  EXPECT_GT(before_gap, 0u);
  EXPECT_GT(after_gap, 0u);
}

// --as-of a moment of series A: before the input begins nothing is told;
// after the missing file a record changed there is known only once a
// change or before-image behind the gap tells it.
TEST_P(Agreement, AsOfAnswersOnlyFromWhatTheArchiveProves) {
  archive a = build(GetParam());
  account(a);
  const auto at = [](long long t) {
    char b[32];
    const time_t tt = static_cast<time_t>(t);
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&tt));
    return std::string(b);
  };
  const auto record = *a.dropped_records.begin();
  const std::string asked = std::to_string(record.first) + ":" + std::to_string(record.second);
  // The files of series A only: the moment lies in its time.
  std::vector<std::string> files;
  for (const auto& f : a.files)
    if (f.second.first == 0) files.push_back(a.dir + "/" + f.first);
  struct moment {
    long long time;
    bool may_know;
  } moments[] = {{a.first_time_a - 3600, false}, {a.drop_time, false}};
  for (const moment& m : moments) {
    std::vector<std::string> args = {"--json", "--history", asked, "--as-of", at(m.time)};
    args.insert(args.end(), files.begin(), files.end());
    const golden::result r = golden::run(args);
    SCOPED_TRACE(at(m.time) + "\n" + r.out + r.err);
    bool answered = false;
    for (const value& v : json_lines(r.out, "as-of")) {
      if (!v.has("source")) continue;
      answered = true;
      // Right behind the gap, before any change of the record there, its
      // content cannot be told.
      if (!m.may_know) {
        EXPECT_EQ(v.at("source").text, "unknown");
      }
    }
    EXPECT_TRUE(answered);
  }
}

// --check gives one verdict whatever the files are called and however
// they are listed: the missing file is an error, the copy is read once.
TEST_P(Agreement, CheckGivesOneVerdictForTheDirectoryAndItsFilesInAnyOrder) {
  archive a = build(GetParam());
  std::vector<std::string> listed = {"--check"}, reversed = {"--check"};
  for (const auto& f : a.files) listed.push_back(a.dir + "/" + f.first);
  reversed.push_back(listed[0]);
  reversed.assign(listed.rbegin(), listed.rend() - 1);
  reversed.insert(reversed.begin(), "--check");
  const golden::result whole = golden::run({"--check", a.dir});
  EXPECT_EQ(whole.status, 1);
  EXPECT_NE(whole.err.find("file sequence 4 is missing"), std::string::npos) << whole.err;
  for (const auto& args : {listed, reversed}) {
    const golden::result r = golden::run(args);
    EXPECT_EQ(r.status, whole.status);
    EXPECT_NE(r.err.find("file sequence 4 is missing"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.substr(r.out.rfind("check: ")), whole.out.substr(whole.out.rfind("check: ")));
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Agreement, ::testing::Values(3, 11));

}  // namespace
