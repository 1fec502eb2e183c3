// Damage said the same way by every mode: a malformed record fails every
// analysis mode as it fails the report; a record too short or cut short is
// shown with -a as far as it was read; a log whose header is refused is
// placed where it begins; the unread rest behind a tag letter of no kind
// is dated by the last tag read, not by the bytes behind the letter.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

// Logs whose first record breaks a size rule, then a change of record
// 102:7 in transaction 5; and one without damage.
struct damaged {
  const char* what;
  std::string log;
  int status;
};

std::vector<damaged> damaged_logs() {
  std::vector<damaged> v;
  auto add = [&](const char* what, uint8_t op, const std::string& payload, int status) {
    log_builder b;
    b.image(op, 1, 2, payload);
    b.fixrec(logbuild::PUT, 5, 102, 7, "x", 2);
    b.fixrec(logbuild::UPDATE, 5, 102, 7, "y", 3);
    b.end('F');
    v.push_back({what, b.str(), status});
  };
  add("a NODEPAGE of 3 bytes", logbuild::OP_NODEPAGE, "abc", 1);
  add("a FIXREC_META of 31 bytes", logbuild::OP_FIXREC_META, std::string(31, 'm'), 1);
  add("a FIXREC of 16 bytes", logbuild::OP_FIXREC, std::string(16, 'f'), 1);
  add("a NODEPAGE without payload", logbuild::OP_NODEPAGE, "", 0);
  return v;
}

}  // namespace

TEST(DamageModes, MalformedRecordFailsEveryMode) {
  const std::vector<std::vector<std::string>> modes = {{"-a"},
                                                       {"--stats"},
                                                       {"--check"},
                                                       {"--txns"},
                                                       {"--sessions"},
                                                       {"--history=102:7"},
                                                       {"--undo=5"},
                                                       {"--transaction=5"},
                                                       {"--txns", "--json"},
                                                       {"--history=102:7", "--as-of=2030-01-01"}};
  for (const damaged& d : damaged_logs()) {
    for (const std::vector<std::string>& m : modes) {
      const golden::result r = golden::scan(d.log, m);
      EXPECT_EQ(r.status, d.status) << d.what << ", " << m[0] << "\n" << r.err;
      EXPECT_EQ(r.err.find("malformed") != std::string::npos, d.status == 1)
          << d.what << ", " << m[0] << "\n"
          << r.err;
    }
  }
}

// A FIXREC record too short for its fixed part, or a record cut inside its
// payload: -a shows its header lines, then the message; the filters that
// need the payload (the default view, -r, -p) do not show it.
TEST(DamageModes, RecordsWithoutTheirPayloadAreShownWithAll) {
  struct sample {
    const char* what;
    std::string log;
    const char* message;
    bool fixrec;
  };
  std::vector<sample> samples;
  for (size_t n : {0, 1, 16}) {
    log_builder b;
    b.image(logbuild::OP_FIXREC, 5, 102, std::string(n, 'f')).end('F');
    samples.push_back(
        {"a short FIXREC", b.str(), "t.fwlog: malformed IMAGE record at offset 36", true});
  }
  for (uint8_t op : {logbuild::OP_FIXREC, logbuild::OP_NODEPAGE, logbuild::OP_BEGIN}) {
    log_builder b;
    b.image(op, 5, 102, std::string(40, 'p'));
    for (size_t cut : {1, 39}) {
      const std::string log = b.str().substr(0, b.str().size() - cut);
      samples.push_back({"a record cut in its payload", log, "Unable to read record data\n",
                         op == logbuild::OP_FIXREC});
    }
  }
  for (const sample& s : samples) {
    SCOPED_TRACE(s.what + std::string(" of ") + std::to_string(s.log.size()) + " bytes");
    golden::result r = golden::scan(s.log, {"-a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(s.message, 0), 0u) << r.err;
    const size_t tag = r.both.find("\nsequence = 1\n");
    ASSERT_NE(tag, std::string::npos) << r.both;
    EXPECT_NE(r.both.find(" transaction_id: 5\n session_id: 1\n txn state: TXN (5)\n node_id: "
                          "#102\n",
                          tag),
              std::string::npos)
        << r.both;
    EXPECT_GT(r.both.find(s.message), tag);  // the message follows the lines
    const std::vector<std::string> json = {"-a", "--json"};
    r = golden::scan(s.log, json);
    EXPECT_NE(r.out.find("\"type\":\"tag\",\"log\":\"t.fwlog\",\"offset\":36,"), std::string::npos)
        << r.out;
    // -r judges only FIXREC records, by their record number.
    std::vector<std::vector<std::string>> hidden = {
        {}, {"-p", "5"}, {"-a", "-n", "9"}, {"-a", "-o", "NODELIST"}};
    if (s.fixrec) hidden.push_back({"-a", "-r", "7"});
    for (const std::vector<std::string>& h : hidden) {
      r = golden::scan(s.log, h);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out.find("\nsequence = 1\n"), std::string::npos) << r.out;
    }
  }
}

// --check --json places a log whose header is refused where it begins in
// the input: the first log, behind an end tag, behind a log without one.
TEST(DamageModes, RefusedHeaderIsPlacedWhereItBegins) {
  header_fields bad;
  bad.version = "9.99";
  for (const char* ending : {"", "F", "C"}) {
    log_builder b;
    b.fixrec(logbuild::PUT, 5, 102, 7, "x");
    if (*ending) b.end(*ending);
    const size_t start = b.str().size();
    b.next_log(bad).fixrec(logbuild::PUT, 5, 102, 7, "y").end('F');
    for (const std::string& log : {b.str(), b.str().substr(start)}) {
      const golden::result r = golden::scan(log, {"--check", "--json"});
      EXPECT_EQ(r.status, 1);
      std::istringstream in(r.out);
      std::vector<json_reader::value> refused;
      for (std::string line; std::getline(in, line);) {
        const json_reader::result one = json_reader::parse(line);
        ASSERT_TRUE(one.ok()) << one.message();
        if (one.v.has("end") && one.v["end"].text == "header_failure") refused.push_back(one.v);
      }
      ASSERT_EQ(refused.size(), 1u) << r.out;
      EXPECT_EQ(refused[0]["offset"].num(),
                static_cast<long long>(log.size() == b.str().size() ? start : 0))
          << ending << "\n"
          << r.out;
    }
  }
}

// Whatever the bytes behind a tag letter of no kind, the unread rest is
// dated by the last tag read: a moment after it cannot be told, a moment
// before it is answered from the change.
TEST(DamageModes, UnreadRestIsDatedByTheLastTagRead) {
  // The input begins 10 seconds before the change: a moment before that
  // cannot be told at all.
  log_builder b;
  b.at(1, 1699999990).sign_off(1).at(2, 1700000000).fixrec(logbuild::PUT, 5, 102, 7, "x");
  const std::vector<uint32_t> garbage_times = {0,          1,          1700000000,
                                               1700000100, 1900000000, 0xffffffffu};
  for (const char* moment : {"2023-11-14 22:13:19", "2023-11-14 22:13:20", "2023-11-14 22:13:25",
                             "2023-11-15 00:00:00", "2030-01-01 00:00:00"}) {
    std::string first;
    for (uint32_t ts : garbage_times) {
      const std::string log =
          b.str() + "\x7f" + logbuild::bytes().u32(0xdead).u32(ts).raw("rest").str();
      const golden::result r =
          golden::scan(log, {"--history=102:7", std::string("--as-of=") + moment});
      if (first.empty()) first = r.out;
      EXPECT_EQ(r.out, first) << moment << ", garbage time " << ts;
    }
    EXPECT_EQ(first.find("cannot tell") != std::string::npos,
              std::string(moment) > "2023-11-14 22:13:19")
        << moment << "\n"
        << first;
  }
}
