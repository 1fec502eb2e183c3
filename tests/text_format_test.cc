// Report-line formats: the compile-time check accepts exactly what the text
// report renders, and the text report renders each accepted form exactly as
// snprintf does; the hex dump and the tag header's time against the same
// references.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "report/hexdump.h"
#include "report/out.h"
#include "report/text_sink.h"
#include "scan/format_check.h"
#include "scan/time_text.h"

namespace {

using jrn::format_error;
using jrn::format_fits;

// Everything the report writer gets while f runs.
template <class F>
std::string captured(F&& f) {
  std::FILE* file = std::tmpfile();
  {
    jrn::output out(fileno(file));
    f(out);
  }
  std::rewind(file);
  std::string s;
  char buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) s.append(buf, n);
  std::fclose(file);
  return s;
}

template <class... A>
std::string printed(const char* fmt, A... args) {
  char buf[20000];
  const int n = std::snprintf(buf, sizeof buf, fmt, args...);
  return std::string(buf, n < 0 ? 0 : static_cast<size_t>(n));
}

// The forms the text report renders, with values of each kind.
static_assert(format_fits<void, int, unsigned, long long, const char*>("%05d %8x %022lld %.3s"),
              "a line of every kind");
static_assert(!format_fits<void, unsigned>("%d"), "%d of an unsigned value");

TEST(FormatCheck, AcceptsWhatTheTextReportRenders) {
  for (const char* fmt : {"",
                          "plain text\n",
                          "100%%\n",
                          "%%%%",
                          "%d",
                          "%u",
                          "%x",
                          "%s",
                          "%5d",
                          "%05d",
                          "%02x",
                          "%012u",
                          "%lld",
                          "%llu",
                          "%llx",
                          "%020lld",
                          "%16llx",
                          "%10s",
                          "%.256s",
                          "%8.3s",
                          "%9999d",
                          "%.9999s",
                          "  a = %u (0x%x) %s%%\n"})
    EXPECT_EQ(format_error(fmt), -1) << fmt;
}

TEST(FormatCheck, RefusesWhatItWouldPrintWrong) {
  for (const char* fmt :
       {"%-5u", "%#x",     "%+d",      "% d", "%'d", "%*d", "%.*s", "%ld",   "%lu",  "%lx",
        "%c",   "%hd",     "%hhu",     "%zu", "%jd", "%td", "%Lf",  "%i",    "%o",   "%X",
        "%p",   "%n",      "%f",       "%e",  "%g",  "%a",  "%05s", "%.3d",  "%.2x", "%lls",
        "%5%",  "%10000d", "%.10000s", "%.s", "%",   "50%", "%l",   "%lllu", "%-s"})
    EXPECT_NE(format_error(fmt), -1) << fmt;
  EXPECT_EQ(format_error("ab %u %-5u"), 6);  // where the refused conversion is
}

TEST(FormatCheck, ConversionsFitTheirValues) {
  EXPECT_TRUE((format_fits<void, int>("%d")));
  EXPECT_TRUE((format_fits<void, int>("%u %%")));  // two's complement, as printf shows it
  EXPECT_TRUE((format_fits<void, unsigned>("%x")));
  EXPECT_TRUE((format_fits<void, long long>("%lld")));
  EXPECT_TRUE((format_fits<void, long long>("%llx")));
  EXPECT_TRUE((format_fits<void, const char*>("%s")));
  EXPECT_TRUE((format_fits<void>("no values: 100%%")));
  EXPECT_FALSE((format_fits<void, unsigned>("%d")));  // above 2^31 printf shows it negative
  EXPECT_FALSE((format_fits<void, long long>("%d")));
  EXPECT_FALSE((format_fits<void, int>("%lld")));
  EXPECT_FALSE((format_fits<void, int>("%s")));
  EXPECT_FALSE((format_fits<void, const char*>("%u")));
  EXPECT_FALSE((format_fits<void, int>("%d %d")));    // a value short
  EXPECT_FALSE((format_fits<void, int, int>("%d")));  // a value left over
  EXPECT_FALSE((format_fits<void>("%u")));
}

// One line through the text report.
class TextLines : public ::testing::Test {
 protected:
  template <class V>
  std::string line(const char* fmt, V v) {
    return captured([&](jrn::output&) { sink.line(true, fmt, {v}); });
  }
  // What the fixture's sink writes while f runs (one sink for the whole
  // test: its kept formats carry over from line to line).
  template <class F>
  std::string captured(F&& f) {
    f(out);
    out.flush();
    const off_t end = lseek(fileno(file), 0, SEEK_END);
    std::string s(static_cast<size_t>(end - read_), '\0');
    if (!s.empty() && pread(fileno(file), &s[0], s.size(), read_) != static_cast<ssize_t>(s.size()))
      s.clear();
    read_ = end;
    return s;
  }
  ~TextLines() override { std::fclose(file); }

  jrn::filter_settings filter;
  jrn::node_map names;
  std::FILE* file = std::tmpfile();
  off_t read_ = 0;
  jrn::output out{fileno(file)};
  jrn::text_sink sink{out, filter, names, jrn::text_options{}};
};

// Formats are kept by address: each must stay put for the whole run.
const char* const signed_forms[] = {"%d", "%1d", "%5d", "%05d", "%012d", "<%03d|"};
const char* const unsigned_forms[] = {"%u", "%7u", "%010u", "%x", "%8x", "%08x", "%02x"};
const char* const wide_forms[] = {"%lld", "%22lld", "%022lld", "%llu", "%llx", "%016llx"};
const char* const string_forms[] = {"%s", "%1s", "%10s", "%.3s", "%8.3s", "%.0s", "[%s]"};

TEST_F(TextLines, NumbersAsSnprintf) {
  for (const int32_t v : {0, 1, -1, 9, 10, -42, 99, 100, 12345, -99999, INT32_MAX, INT32_MIN}) {
    for (const char* fmt : signed_forms) {
      EXPECT_EQ(line(fmt, jrn::i32f(jrn::fid::recno, v)), printed(fmt, v)) << fmt << " " << v;
      EXPECT_EQ(line(fmt, jrn::nodenumf(jrn::fid::node_id, v)), printed(fmt, v));
    }
    for (const char* fmt : unsigned_forms)  // a signed value in two's complement
      EXPECT_EQ(line(fmt, jrn::i32f(jrn::fid::recno, v)), printed(fmt, static_cast<unsigned>(v)))
          << fmt << " " << v;
  }
  for (const uint32_t v : {0u, 1u, 15u, 16u, 4096u, 123456789u, 0x80000000u, 0xffffffffu}) {
    for (const char* fmt : unsigned_forms) {
      EXPECT_EQ(line(fmt, jrn::u32f(jrn::fid::recno, v)), printed(fmt, v)) << fmt << " " << v;
      EXPECT_EQ(line(fmt, jrn::hexf(jrn::fid::page, v)), printed(fmt, v)) << fmt << " " << v;
    }
  }
  for (const int64_t v : {int64_t{0}, int64_t{-1}, int64_t{1} << 40, -(int64_t{1} << 33),
                          int64_t{9999999999}, INT64_MAX, INT64_MIN}) {
    for (const char* fmt : wide_forms)
      EXPECT_EQ(line(fmt, jrn::i64f(jrn::fid::size, v)), printed(fmt, static_cast<long long>(v)))
          << fmt << " " << v;
  }
}

TEST_F(TextLines, StringsAsSnprintf) {
  for (const char* s : {"", "a", "abc", "PUT_NO_DATA", "a rather longer name of a code"}) {
    for (const char* fmt : string_forms) {
      EXPECT_EQ(line(fmt, jrn::namef(jrn::fid::opcode, s)), printed(fmt, s)) << fmt << " " << s;
      EXPECT_EQ(line(fmt, jrn::textf(jrn::fid::name, s, static_cast<uint32_t>(strlen(s)))),
                printed(fmt, s))
          << fmt << " " << s;
    }
  }
  // A text is taken by its length, not up to a NUL; %.256s cuts a long one.
  const std::string long_text(1000, 'q');
  EXPECT_EQ(line("  data: %.256s ...\n", jrn::textf(jrn::fid::name, long_text.data(), 1000)),
            printed("  data: %.256s ...\n", long_text.c_str()));
  EXPECT_EQ(line("%s|", jrn::textf(jrn::fid::name, "ab\0cd", 5)), std::string("ab\0cd|", 6));
}

TEST_F(TextLines, NodesAsTheirDisplay) {
  const auto display = [&](int32_t id) {
    std::string s;
    names.append_display(id, true, false, s);
    return s;
  };
  for (const char* fmt : string_forms)
    EXPECT_EQ(line(fmt, jrn::nodef(jrn::fid::node_id, 202)), printed(fmt, display(202).c_str()));
  EXPECT_EQ(line(" node_id: %s\n", jrn::nodef(jrn::fid::node_id, 202)), " node_id: #202\n");
  // A name learnt later shows from then on: the display is not kept stale.
  ASSERT_TRUE(names.learn(200, 2, "hr", 2, 0));
  ASSERT_TRUE(names.learn(202, 3, "payroll", 7, 200));
  EXPECT_EQ(line(" node_id: %s\n", jrn::nodef(jrn::fid::node_id, 202)),
            " node_id: HR.PAYROLL (#202)\n");
  EXPECT_EQ(line(" node_id: %s\n", jrn::nodef(jrn::fid::node_id, -5)), " node_id: #-5\n");
}

TEST_F(TextLines, LinesOfSeveralValues) {
  static const char fmt[] = "  op = %s (%d)\n  o_pgno = 0x%x\n  ofs = %lld, %05d%%\n";
  EXPECT_EQ(captured([&](jrn::output&) {
              sink.line(true, fmt,
                        {jrn::namef(jrn::fid::op, "SPLIT"), jrn::i32f(jrn::fid::op_code, 7),
                         jrn::hexf(jrn::fid::o_pgno, 0xbeef), jrn::i64f(jrn::fid::size, -3),
                         jrn::i32f(jrn::fid::recno, -7)});
              sink.line(false, fmt, {});  // left out of the text
            }),
            printed(fmt, "SPLIT", 7, 0xbeef, -3ll, -7));
  // Literal runs longer than a piece, around a value.
  static const std::string big = std::string(5000, 'a') + "%d" + std::string(9000, 'b') + "\n";
  EXPECT_EQ(line(big.c_str(), jrn::i32f(jrn::fid::recno, -7)), printed(big.c_str(), -7));
  // More formats than the parsed forms kept: each renders as its own, twice.
  std::vector<std::string> many;
  for (int i = 0; i < 2000; ++i) many.push_back("f" + std::to_string(i) + " = %u\n");
  std::string got, want;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& fmt : many) {
      got += line(fmt.c_str(), jrn::u32f(jrn::fid::recno, 7));
      want += printed(fmt.c_str(), 7u);
    }
  }
  EXPECT_EQ(got, want);
}

// "%03x:", sixteen " %02x", blanks for missing bytes, " |", the characters
// and "|\n" per line.
std::string reference_dump(const std::string& b) {
  std::string s;
  for (size_t at = 0; at < b.size(); at += 16) {
    s += printed("%03zx:", at);
    std::string chars;
    for (size_t i = at; i < at + 16; ++i) {
      if (i < b.size()) {
        const unsigned char c = static_cast<unsigned char>(b[i]);
        s += printed(" %02x", c);
        chars += c >= 32 && c <= 126 ? static_cast<char>(c) : '.';
      } else {
        s += "   ";
        chars += ' ';
      }
    }
    s += " |" + chars + "|\n";
  }
  return s;
}

TEST(TextHexDump, AsTheReference) {
  std::string bytes(0x10000 + 16 * 1234 + 7, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + i / 7);
  for (const bool simd : {true, false}) {
    jrn::dump_hex_use_simd(simd);
    // Every length of a short last line, at offsets of three, four and five
    // digits.
    for (const size_t start : {size_t{0}, size_t{0xff8}, size_t{0xfff8}}) {
      for (size_t n = 0; n <= 48; ++n) {
        const std::string b = bytes.substr(start, n);
        EXPECT_EQ(captured([&](jrn::output& out) {
                    jrn::dump_hex(out, reinterpret_cast<const uint8_t*>(b.data()),
                                  static_cast<uint32_t>(b.size()));
                  }),
                  reference_dump(b))
            << start << " " << n << " " << simd;
      }
    }
    // A dump larger than the report buffer, behind a part-filled buffer.
    const std::string whole = captured([&](jrn::output& out) {
      out.str("x\n");
      jrn::dump_hex(out, reinterpret_cast<const uint8_t*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size()));
      jrn::dump_hex(out, reinterpret_cast<const uint8_t*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size()));
    });
    EXPECT_TRUE(whole == "x\n" + reference_dump(bytes) + reference_dump(bytes)) << simd;
  }
  jrn::dump_hex_use_simd(true);
}

// The tag header's time, written from a kept conversion within a second and
// a minute, against a conversion of every timestamp, in zones with clock
// changes and with an offset of whole seconds (where minutes of the local
// clock do not begin on minutes of UTC).
TEST(TextTime, AsAConversionOfEachTimestamp) {
  const char* const saved = std::getenv("TZ");
  const std::string old = saved ? saved : "";
  for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                           "LMT0:44:30", "NST3:30NDT,M3.2.0/0:01,M11.1.0/0:01"}) {
    setenv("TZ", zone, 1);
    tzset();
    for (const bool utc : {false, true}) {
      jrn::time_formatter times(utc);
      // Around the spring and autumn changes of 2023 in each zone, in
      // steps that revisit seconds and cross minutes, then backwards.
      std::vector<uint32_t> ts;
      for (const uint32_t base : {1679792400u, 1698541200u, 1678604400u, 1699164000u}) {
        for (uint32_t t = base - 7300; t < base + 7300; t += (t % 7) + 1) ts.push_back(t);
        for (uint32_t t = base + 100; t > base - 100; t -= 13) ts.push_back(t);
      }
      for (const uint32_t t : {0u, 59u, 60u, 4294967295u, 4294967280u, 4294967279u, 12345u})
        ts.push_back(t);
      for (const uint32_t t : ts) {
        const jrn::time_text want = jrn::format_time(t, utc);
        char strf[64] = "";
        time_t wide = t;
        struct tm tm;
        if (utc ? gmtime_r(&wide, &tm) : localtime_r(&wide, &tm))
          std::strftime(strf, sizeof strf, "%Y-%m-%d %H:%M:%S", &tm);
        ASSERT_STREQ(want.text, strf) << zone << " " << t;
        ASSERT_STREQ(times(t), want.text) << zone << " " << t << " " << utc;
        ASSERT_EQ(times.length(), strlen(want.text));
      }
    }
  }
  if (saved)
    setenv("TZ", old.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
