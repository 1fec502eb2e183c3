// The JSON writer: texts escaped exactly as append_json_string does for
// every byte value, wherever the byte stands; numbers at their limits;
// commas in nested containers; hexadecimal data, long values written in
// pieces, times and shares as the other formatters give them; and every
// JSON output of the tool strict JSON on damaged logs with hostile texts.
#include "report/json_writer.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"
#include "report/json_sink.h"
#include "report/out.h"
#include "scan/time_text.h"

namespace {

using jrn::json_key;
using jrn::json_writer;

// What fn writes into the report.
template <typename F>
std::string written(F fn) {
  FILE* f = std::tmpfile();
  {
    jrn::output out(fileno(f));
    fn(out);
  }
  std::string text;
  std::rewind(f);
  char buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  std::fclose(f);
  return text;
}

std::string quoted_as_before(const std::string& s) {
  std::string out = "\"";
  jrn::append_json_string(s.data(), s.size(), out);
  return out + "\"";
}

std::string put_text(const std::string& s) {
  std::vector<char> buf(6 * s.size() + 1);
  char* end = jrn::json_put_text(buf.data(), reinterpret_cast<const uint8_t*>(s.data()), s.size());
  return std::string(buf.data(), end);
}

TEST(JsonWriter, EscapesEveryByteAsBefore) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(written([&](jrn::output& out) { json_writer(out).string(one.data(), 1); }),
              quoted_as_before(one))
        << "byte " << b;
    all += one;
  }
  EXPECT_EQ("\"" + put_text(all) + "\"", quoted_as_before(all));
  // The forms themselves, so that a change to both functions is caught.
  EXPECT_EQ(put_text(std::string("\0\x1f\x7f\x80\x9f", 5)), "\\u0000\\u001f\\u007f\\u0080\\u009f");
  EXPECT_EQ(put_text("\"\\\n\t\r/"), "\\\"\\\\\\n\\t\\r/");
  EXPECT_EQ(put_text("\xa0\xe9\xff"), "\xc2\xa0\xc3\xa9\xc3\xbf");
  // A byte to escape at every place in and around runs of plain bytes
  // (which are copied eight at a time), in texts of every length to 40.
  const std::string plain = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
  for (const char special : {'\0', '\x1f', '"', '\\', '\n', '\x7f', '\x80', '\x9f', '\xa0', '\xff'})
    for (size_t len = 0; len <= plain.size(); ++len)
      for (size_t at = 0; at < len; ++at) {
        std::string s = plain.substr(0, len);
        s[at] = special;
        ASSERT_EQ("\"" + put_text(s) + "\"", quoted_as_before(s))
            << "byte " << int(static_cast<uint8_t>(special)) << " at " << at << " of " << len;
      }
}

TEST(JsonWriter, NumbersAtTheirLimits) {
  std::vector<uint64_t> unsigned_values = {0,         1, 9, UINT32_MAX, uint64_t{UINT32_MAX} + 1,
                                           UINT64_MAX};
  for (uint64_t p = 10; p <= UINT64_MAX / 10; p *= 10) {
    unsigned_values.push_back(p - 1);
    unsigned_values.push_back(p);
  }
  unsigned_values.push_back(10000000000000000000ull);
  unsigned_values.push_back(10000000000000000000ull - 1);
  const std::vector<int64_t> signed_values = {0,         -1,        1,         INT32_MIN,
                                              INT32_MAX, INT64_MAX, INT64_MIN, INT64_MIN + 1};
  std::string expect = "[";
  for (uint64_t v : unsigned_values) expect += std::to_string(v) + ",";
  for (int64_t v : signed_values) expect += std::to_string(v) + ",";
  expect.back() = ']';
  EXPECT_EQ(written([&](jrn::output& out) {
              json_writer w(out);
              w.begin_array();
              for (uint64_t v : unsigned_values) w.u64(v);
              for (int64_t v : signed_values) w.i64(v);
              w.end_array();
            }),
            expect);
}

TEST(JsonWriter, CommasInNestedContainers) {
  const std::string text = written([](jrn::output& out) {
    json_writer w(out);
    w.begin_object();
    w.u64(json_key("a"), 1);
    w.key("b");
    w.begin_array();
    w.i64(-2);
    w.string("x\"", 2);
    w.null();
    w.boolean(true);
    w.begin_object();
    w.key(json_key("c"));
    w.begin_object();
    w.end_object();
    w.end_object();
    w.begin_array();
    w.end_array();
    w.end_array();
    w.ascii(json_key("d"), "ok");
    w.null(json_key("e"));
    w.key(json_key("f"));
    w.hex(nullptr, 0);
    w.end_object();
    w.end_line();
    w.begin_array();  // the next line starts without a comma
    w.end_array();
    w.end_line();
  });
  EXPECT_EQ(text,
            "{\"a\":1,\"b\":[-2,\"x\\\"\",null,true,{\"c\":{}},[]],\"d\":\"ok\",\"e\":null,"
            "\"f\":\"\"}\n[]\n");
  EXPECT_TRUE(json_reader::parse(text.substr(0, text.find('\n'))).ok());
}

std::string hex_of(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Lengths around the sixteen bytes done at a time, and values longer than
// a piece, which are written a piece at a time.
TEST(JsonWriter, HexAndLongValues) {
  std::string bytes;
  for (int i = 0; i < 3 * 16384 + 77; ++i) bytes += static_cast<char>(i * 37 + i / 256);
  for (size_t n : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{33},
                   size_t{255}, json_writer::piece, json_writer::piece + 1, bytes.size()}) {
    const std::string part = bytes.substr(0, n);
    EXPECT_EQ(written([&](jrn::output& out) {
                json_writer(out).hex(reinterpret_cast<const uint8_t*>(part.data()), part.size());
              }),
              "\"" + hex_of(part) + "\"")
        << n << " bytes";
    EXPECT_EQ(written([&](jrn::output& out) { json_writer(out).string(part.data(), part.size()); }),
              quoted_as_before(part))
        << n << " bytes";
  }
}

// Times within a day, across days and backwards, at both ends of the
// 32-bit range, as format_iso_utc gives them.
TEST(JsonWriter, TimesAsFormatIsoUtc) {
  const std::vector<uint32_t> times = {0,
                                       1,
                                       59,
                                       86399,
                                       86400,
                                       1700000000,
                                       1700000001,
                                       1700003600,
                                       1699999999,
                                       1700086399,
                                       1700086400,
                                       1700000000,
                                       951782400,
                                       951868799,
                                       UINT32_MAX,
                                       UINT32_MAX - 1,
                                       UINT32_MAX - 86400};
  std::string expect;
  for (uint32_t t : times) expect += std::string(",\"") + jrn::format_iso_utc(t).c_str() + "\"";
  expect[0] = '[';
  EXPECT_EQ(written([&](jrn::output& out) {
              json_writer w(out);
              w.begin_array();
              for (uint32_t t : times) w.iso_time(t);
              w.end_array();
            }),
            expect + "]");
}

// Shares as printf's "%.4f" writes them, ties (k / 32) included.
TEST(JsonWriter, FixedAsPrintf) {
  std::vector<double> values;
  for (int whole : {3, 7, 32, 64, 1000, 20000})
    for (int part = 0; part <= whole; ++part) values.push_back(static_cast<double>(part) / whole);
  std::string expect;
  for (double v : values) {
    char text[64];
    std::snprintf(text, sizeof text, ",%.4f", v);
    expect += text;
  }
  expect[0] = '[';
  EXPECT_EQ(written([&](jrn::output& out) {
              json_writer w(out);
              w.begin_array();
              for (double v : values) w.fixed(v, 4);
              w.end_array();
            }),
            expect + "]");
}

// Texts with every kind of byte, in a log cut and changed at many places:
// every line of the JSON Lines report and of --check --json, and the
// --stats --json document, stay strict JSON.
TEST(JsonWriter, OutputStaysStrictJsonOnDamagedLogs) {
  std::string hostile;
  for (int b = 1; b < 256; ++b) hostile += static_cast<char>(b);
  logbuild::log_builder b;
  b.context_db(100, hostile).context_set(102, 100, "s\"\\t\x85");
  b.sign_on(3, {hostile, "x\x7f\xff"}).fixrec(logbuild::PUT, 17, 102, 7, hostile);
  b.memo(3, 1, hostile).fixrec(logbuild::PUT, 18, 100, 8, "ab").end();
  const std::string log = b.str();
  std::vector<std::string> damaged;
  for (size_t at = 36; at < log.size(); at += 61) damaged.push_back(log.substr(0, at));
  for (size_t at = 36; at < log.size(); at += 43) {
    std::string changed = log;
    changed[at] = static_cast<char>(changed[at] ^ 0x5a);
    damaged.push_back(changed);
  }
  damaged.push_back(log);
  for (size_t i = 0; i < damaged.size(); ++i) {
    const std::string what = "log " + std::to_string(i);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--json", "-a", "-vvv"}, {"--check", "--json"}}) {
      const std::string& mode = options[0];
      const golden::result r = golden::scan(damaged[i], options);
      std::istringstream lines(r.out);
      std::string line;
      int n = 0;
      while (std::getline(lines, line)) {
        const json_reader::result parsed = json_reader::parse(line);
        EXPECT_TRUE(parsed.ok()) << what << " " << mode << " line " << n << ": " << parsed.message()
                                 << "\n"
                                 << line.substr(0, 300);
        ++n;
      }
      EXPECT_GT(n, 0) << what << " " << mode;
    }
    const golden::result stats = golden::scan(damaged[i], {"--stats", "--json"});
    const json_reader::result doc = json_reader::parse(stats.out);
    EXPECT_TRUE(doc.ok()) << what << " --stats: " << doc.message();
  }
}

// A report kept in memory (the --save manifests' lines) holds the bytes a
// file would, whether the values fit the buffer, fill it many times over
// or are written on their own for their size.
TEST(JsonWriter, ReportInMemoryAsInAFile) {
  const std::string big(jrn::output::capacity / 2 + 3, 'x');
  for (size_t values : {size_t{0}, size_t{1}, size_t{1000}, size_t{200000}}) {
    auto fill = [&](jrn::output& out) {
      json_writer w(out);
      w.begin_array();
      for (size_t i = 0; i < values; ++i) {
        w.u64(i * 7919);
        w.string("a\x01\"b", 4);
        if (i % 50000 == 49999) w.raw(big.data(), big.size());
      }
      w.end_array();
      out.printf("%s", "\n");
    };
    std::string kept;
    {
      jrn::output out(kept);
      fill(out);
      out.flush();
      EXPECT_FALSE(out.failed());
    }
    EXPECT_EQ(kept, written(fill)) << values << " values";
  }
}

}  // namespace
