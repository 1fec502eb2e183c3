// The generator's account of its records (fwgen --truth) against the logs it
// writes: every change and before-image at its offset holds what the account
// says, a before-image holds the record's content before the change, and the
// transactions' before and after follow from the changes. Then jrnscan's
// record history and its before-image check against that account.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "test_files.h"

namespace {

using json_reader::value;
using test_files::hex;
using test_files::json_lines;
using test_files::slurp;
using test_files::unhex;
using record_key = std::pair<long long, long long>;  // node, recno

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Integers of the log, in this machine's byte order as the generator wrote them.
uint32_t u32(const std::string& b, size_t at) {
  uint32_t v = 0;
  if (at + 4 <= b.size()) std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t u16(const std::string& b, size_t at) {
  uint16_t v = 0;
  if (at + 2 <= b.size()) std::memcpy(&v, b.data() + at, 2);
  return v;
}

struct generated {
  std::string args, log, truth_text;
  std::vector<value> truth;
};

// The log and the truth of fwgen with these arguments.
generated generate(const std::string& args) {
  generated g;
  g.args = args;
  const std::string log = golden::work_dir() + "/g.fwlog", truth = golden::work_dir() + "/g.truth";
  const std::string command =
      std::string(FWGEN_BIN) + " " + args + " --truth '" + truth + "' -o '" + log + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  g.log = slurp(log);
  g.truth_text = slurp(truth);
  g.truth = json_lines(g.truth_text, args);
  return g;
}

// Several logs in a row each, of the first and the last version with
// before-images, and of the mix of long FIXREC transactions.
const char* const cases[] = {
    "--seed 1 --version 1.01 --logs 3 --tags 1500", "--seed 2 --version 1.05 --logs 3 --tags 1500",
    "--seed 3 --version 1.01 --logs 3 --tags 1200", "--seed 4 --version 1.05 --logs 3 --tags 1200",
    "--seed 5 --mix fixrec --logs 3 --tags 1500"};

record_key key_of(const value& v) { return {v.at("node_id").num(), v.at("recno").num()}; }

// A record as its changes left it; one not seen yet does not exist, which
// a reader knows.
struct life {
  bool exists = false, known = true;
  std::string content;
};

TEST(Truth, ChangesAndBeforeImagesAreTheLogsOwnBytes) {
  // What the logs must hold between them.
  int chains = 0, reused = 0, gaps_closed = 0, spanning = 0, before_images = 0;
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const generated g = generate(args);
    ASSERT_FALSE(g.log.empty());
    ASSERT_GT(g.truth.size(), 100u);
    std::map<record_key, life> lives;
    std::map<record_key, std::string> last_op;
    struct touched {
      record_key k;
      life before, after;
    };
    std::map<long long, std::vector<touched>> txns;
    std::map<long long, std::set<long long>> txn_logs;
    long long last_offset = -1;
    for (const value& v : g.truth) {
      const std::string type = v.at("type").text;
      if (type == "existing") {
        lives[key_of(v)] = {true, false, unhex(v.at("content").text)};
        continue;
      }
      if (type == "transaction") {
        auto t = txns.find(v.at("transaction_id").num());
        ASSERT_NE(t, txns.end()) << "a transaction that changed nothing";
        const std::vector<value>& records = v.at("records").items;
        ASSERT_EQ(records.size(), t->second.size());
        for (size_t i = 0; i < records.size(); ++i) {
          const value& r = records[i];
          const touched& want = t->second[i];
          EXPECT_EQ(key_of(r), want.k);
          EXPECT_EQ(r.at("before").is_null(), !want.before.exists);
          if (want.before.exists) {
            EXPECT_EQ(unhex(r.at("before").text), want.before.content);
          }
          EXPECT_EQ(r.at("after").is_null(), !want.after.exists);
          if (want.after.exists) {
            EXPECT_EQ(unhex(r.at("after").text), want.after.content);
          }
          EXPECT_EQ(r.has("before_unknown"), !want.before.known);
          EXPECT_EQ(r.has("after_unknown"), !want.after.known);
        }
        spanning += txn_logs[t->first].size() > 1;
        txns.erase(t);
        continue;
      }
      // A change or a before-image: the tag at its offset, later than the last.
      const long long at = v.at("offset").num();
      ASSERT_GT(at, last_offset);
      ASSERT_LT(static_cast<size_t>(at) + 9, g.log.size());
      last_offset = at;
      EXPECT_EQ(u32(g.log, at + 1), v.at("sequence").num());
      EXPECT_EQ(u32(g.log, at + 5), v.at("timestamp").num());
      const record_key k = key_of(v);
      life& now = lives[k];
      const std::string content = v.at("content").is_null() ? "" : unhex(v.at("content").text);
      if (type == "before_image") {
        ++before_images;
        ASSERT_EQ(g.log[at], '5');
        const size_t b = at + 9;
        EXPECT_EQ(u32(g.log, b), v.at("transaction_id").num());
        EXPECT_EQ(u32(g.log, b + 4), v.at("session_id").num());
        EXPECT_EQ(record_key(u32(g.log, b + 8), u32(g.log, b + 12)), k);
        const std::string data = g.log.substr(b + 20, u16(g.log, b + 18));
        EXPECT_EQ(data, content);
        // The point of it all: the image is the record as its changes left it.
        ASSERT_TRUE(now.exists) << "a before-image of a record that does not exist";
        EXPECT_EQ(data, now.content) << "record " << k.second << " of " << k.first;
        gaps_closed += !now.known;
        now.known = true;
        continue;
      }
      ASSERT_EQ(type, "change");
      ASSERT_EQ(g.log[at], '1');
      const size_t r = at + 9, p = r + 16;
      EXPECT_EQ(static_cast<uint8_t>(g.log[r]), 13);  // FIXREC
      EXPECT_EQ(u32(g.log, r + 4), k.first);
      EXPECT_EQ(u32(g.log, r + 8), v.at("transaction_id").num());
      EXPECT_EQ(u32(g.log, r + 12), v.at("session_id").num());
      EXPECT_EQ(u32(g.log, p + 8), k.second);
      const uint16_t size = u16(g.log, r + 2);
      ASSERT_GE(size, 17);
      const std::string data = g.log.substr(p + 17, size - 17u);
      const std::string op = v.at("fixrec_op").text;
      const uint8_t code = static_cast<uint8_t>(g.log[p + 16]);
      const bool unknown = v.has("unknown");
      life after = {!v.at("content").is_null(), !unknown, content};
      if (op == "PUT" || op == "UPDATE") {
        EXPECT_EQ(code, op == "PUT" ? 3 : 1);
        EXPECT_EQ(data, content);
        EXPECT_FALSE(unknown);
      } else if (op == "UPDATE_RANGE") {
        EXPECT_EQ(code, 7);
        ASSERT_GT(data.size(), 4u);
        const uint16_t ofs = u16(data, 0), len = u16(data, 2);
        ASSERT_EQ(data.size(), 4u + len);
        ASSERT_TRUE(now.exists);
        ASSERT_LE(ofs + len, now.content.size());
        std::string patched = now.content;
        patched.replace(ofs, len, data.substr(4));
        EXPECT_EQ(patched, content);
        EXPECT_EQ(unknown, !now.known);
        chains += now.known && last_op[k] == "UPDATE_RANGE";
      } else if (op == "DELETE") {
        EXPECT_EQ(code, 5);
        EXPECT_TRUE(v.at("content").is_null());
        EXPECT_TRUE(now.exists);
      } else {
        EXPECT_TRUE(op == "UPDATE_NO_DATA" || op == "PUT_NO_DATA") << op;
        EXPECT_EQ(code, op == "PUT_NO_DATA" ? 4 : 2);
        EXPECT_EQ(data, "");
        EXPECT_TRUE(unknown);
      }
      const bool puts = op == "PUT" || op == "PUT_NO_DATA";
      EXPECT_EQ(now.exists, !puts) << op << " of record " << k.second;
      reused += puts && last_op[k] == "DELETE";
      std::vector<touched>& t = txns[v.at("transaction_id").num()];
      auto it = std::find_if(t.begin(), t.end(), [&](const touched& x) { return x.k == k; });
      if (it == t.end())
        t.push_back({k, now, after});
      else
        it->after = after;
      txn_logs[v.at("transaction_id").num()].insert(v.at("file_sequence").num());
      now = after;
      last_op[k] = op;
    }
    EXPECT_TRUE(txns.empty()) << txns.size() << " transactions without their end";
  }
  EXPECT_GT(chains, 2);
  EXPECT_GT(reused, 50);
  EXPECT_GT(gaps_closed, 20);  // before-images of contents that the log had not told
  EXPECT_GE(spanning, 8);      // two in each log's series
  EXPECT_GT(before_images, 100);
}

TEST(Truth, IsDeterministicChangesNoByteAndCountsOffsetsPerFileOfASeries) {
  const std::string args = "--seed 6 --logs 3 --tags 900";
  const generated a = generate(args), b = generate(args);
  EXPECT_TRUE(a.truth_text == b.truth_text);
  const std::string plain = golden::work_dir() + "/plain.fwlog";
  ASSERT_EQ(std::system((std::string(FWGEN_BIN) + " " + args + " -o '" + plain + "'").c_str()), 0);
  EXPECT_TRUE(slurp(plain) == a.log);
  // In a series each offset counts from its own file's first byte.
  const std::string dir = golden::work_dir() + "/series", truth = dir + ".truth";
  ASSERT_EQ(std::system((std::string(FWGEN_BIN) + " " + args + " --series '" + dir + "' --truth '" +
                         truth + "'")
                            .c_str()),
            0);
  const std::vector<value> lines = json_lines(slurp(truth), "series");
  ASSERT_EQ(lines.size(), a.truth.size());
  std::string files[4];
  for (int f = 1; f <= 3; ++f) files[f] = slurp(dir + "/00000" + std::to_string(f) + ".fwlog");
  ASSERT_TRUE(files[1] + files[2] + files[3] == a.log);
  int in_later_files = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const value& v = lines[i];
    if (!v.has("offset")) continue;
    const long long f = v.at("file_sequence").num(), at = v.at("offset").num();
    ASSERT_TRUE(f >= 1 && f <= 3);
    ASSERT_LT(static_cast<size_t>(at) + 9, files[f].size());
    EXPECT_EQ(u32(files[f], at + 1), v.at("sequence").num());
    long long before = 0;
    for (int e = 1; e < f; ++e) before += static_cast<long long>(files[e].size());
    EXPECT_EQ(a.truth[i].at("offset").num(), before + at);
    in_later_files += f > 1;
  }
  EXPECT_GT(in_later_files, 50);
}

// jrnscan's record history of every record that the logs change: each
// change where the truth has it, with the content after it where the log
// tells it and "not known" where it does not, and the content before it
// where a before-image or the changes before tell it.
TEST(Truth, HistoryAgreesWithTheTruth) {
  const golden::result tried = golden::scan(generate(cases[0]).log, {"--history", "1:1"});
  if (tried.err.find("unrecognized option") != std::string::npos)
    GTEST_SKIP() << "jrnscan has no --history yet";
  size_t compared = 0, unknown = 0, patched = 0;
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const generated g = generate(args);
    // Each change with the record as the changes and images before it left it.
    std::map<record_key, life> lives;
    std::map<record_key, std::vector<std::pair<const value*, life>>> changes;
    for (const value& v : g.truth) {
      const std::string type = v.at("type").text;
      if (type == "existing") lives[key_of(v)] = {true, false, unhex(v.at("content").text)};
      if (type == "before_image") lives[key_of(v)].known = true;
      if (type != "change") continue;
      life& now = lives[key_of(v)];
      changes[key_of(v)].push_back({&v, now});
      now = {!v.at("content").is_null(), !v.has("unknown"),
             v.at("content").is_null() ? "" : unhex(v.at("content").text)};
    }
    std::vector<std::string> options = {"--json"};
    for (const auto& c : changes) {
      options.push_back("--history");
      options.push_back(std::to_string(c.first.first) + ":" + std::to_string(c.first.second));
    }
    const golden::result r = golden::scan(g.log, options);
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<record_key, std::vector<value>> history;
    for (value& v : json_lines(r.out, "history"))
      if (v["type"].text == "record_change") history[key_of(v)].push_back(std::move(v));
    for (const auto& c : changes) {
      const record_key& k = c.first;
      SCOPED_TRACE("record " + std::to_string(k.second) + " of " + std::to_string(k.first));
      const std::vector<value>& got = history[k];
      ASSERT_EQ(got.size(), c.second.size());
      for (size_t i = 0; i < got.size(); ++i) {
        const value& t = *c.second[i].first;
        const life& before = c.second[i].second;
        const value& h = got[i];
        SCOPED_TRACE("change at sequence " + std::to_string(t.at("sequence").num()));
        ++compared;
        EXPECT_EQ(h.at("sequence").num(), t.at("sequence").num());
        EXPECT_EQ(h.at("offset").num(), t.at("offset").num());
        EXPECT_EQ(h.at("transaction_id").num(), t.at("transaction_id").num());
        const std::string op = t.at("fixrec_op").text;
        EXPECT_EQ(h.at("fixrec_op").text, op);
        // What a put replaces is not in the log: no claim on it.
        if (op != "PUT" && op != "PUT_NO_DATA") {
          ASSERT_EQ(h.at("before_known").kind, value::bool_v);
          EXPECT_EQ(h.at("before_known").b, before.known);
          if (before.known) {
            EXPECT_EQ(lower(h.at("before").text), hex(before.content));
          }
        }
        const bool known = !t.has("unknown");
        ASSERT_EQ(h.at("after_known").kind, value::bool_v);
        EXPECT_EQ(h.at("after_known").b, known);
        unknown += !known;
        patched += known && op == "UPDATE_RANGE";
        if (!known) continue;
        EXPECT_EQ(h.at("after").is_null(), t.at("content").is_null());
        if (!t.at("content").is_null()) {
          EXPECT_EQ(lower(h.at("after").text), t.at("content").text);
        }
      }
    }
  }
  EXPECT_GT(compared, 2000u);
  EXPECT_GT(unknown, 100u);
  EXPECT_GT(patched, 100u);
}

// The check compares before-images with the contents that the log told
// before: silent on the generated logs, and (once it compares) warning of a
// before-image that was altered.
TEST(Truth, CheckFindsNoBeforeImageAtOddsWithTheLog) {
  bool compares = true;
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const generated g = generate(args);
    const golden::result clean = golden::scan(g.log, {"--check"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.err.find("before-image of record"), std::string::npos) << clean.err;
    // A before-image of a record whose content the log has told.
    std::map<record_key, bool> known;
    std::map<record_key, long long> changed_at;
    const value* image = nullptr;
    for (const value& v : g.truth) {
      const std::string type = v.at("type").text;
      if (type == "change") {
        known[key_of(v)] = !v.has("unknown") && !v.at("content").is_null();
        changed_at[key_of(v)] = v.at("offset").num();
      }
      if (type == "before_image" && known[key_of(v)] && !v.at("content").text.empty()) {
        image = &v;
        break;
      }
    }
    if (!image) continue;  // the fixrec mix writes no before-images
    std::string altered = g.log;
    const long long at = image->at("offset").num();
    altered[at + 9 + 20] ^= 0x01;  // the image's first data byte
    const golden::result r = golden::scan(altered, {"--check"});
    size_t n = 0;
    for (size_t p = r.err.find("before-image of record"); p != std::string::npos;
         p = r.err.find("before-image of record", p + 1))
      ++n;
    if (n == 0) {
      compares = false;
      continue;
    }
    EXPECT_EQ(n, 1u) << r.err;
    EXPECT_NE(
        r.err.find("before-image of record " + std::to_string(image->at("recno").num()) + " "),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" at offset " + std::to_string(at) + " "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("change at offset " + std::to_string(changed_at[key_of(*image)])),
              std::string::npos)
        << r.err;
  }
  if (!compares) GTEST_SKIP() << "--check does not compare before-images yet (clean logs checked)";
}

}  // namespace
