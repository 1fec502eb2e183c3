// The record predicate and the opcode name pattern, called directly.
#include "scan/filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "scan/report.h"

// The settings and the tag that the record filter looks at.
jrn::filter_settings filter_opts;
jrn::tag_summary current_tag;

namespace {

int glob(const char* pattern, const char* name, int case_sensitive = 0) {
  return jrn::pattern_match(name, static_cast<int>(std::strlen(name)), pattern,
                            static_cast<int>(std::strlen(pattern)), case_sensitive);
}

struct glob_case {
  const char* pattern;
  const char* name;
  int want;
};

TEST(PatternMatch, OpcodeNames) {
  const glob_case cases[] = {
      {"node", "NODE", 1},
      {"NODE*", "NODE", 1},
      {"NODE*", "NODEPAGE", 1},
      {"NODE*", "NODELISTITEM", 1},
      {"NODE*", "NOD", 0},
      {"*PAGE*", "NODEPAGE", 1},
      {"*PAGE*", "NODELISTPAGEHEAD", 1},
      {"*PAGE*", "POOL", 0},
      {"NODE?", "NODEX", 1},
      {"NODE?", "NODE", 0},
      {"NODE?", "NODEXY", 0},
      {"FIXREC_[MN]*", "FIXREC_META", 1},
      {"FIXREC_[MN]*", "FIXREC_NEWCLUSTER", 1},
      {"FIXREC_[MN]*", "FIXREC", 0},
      {"fixrec_[mn]*", "FIXREC_META", 0},
      {"fixrec_[mn]*", "FIXREC_NEWCLUSTER", 0},
      {"fixrec_[MN]*", "FIXREC_META", 1},
      {"*", "NODE", 1},
      {"*", "", 1},
      {"***", "X", 1},
      {"", "", 1},
      {"", "NODE", 0},
      {"?", "", 0},
      {"?*", "", 0},
      {"NODE", "NODEPAGE", 0},
      {"NODEPAGE", "NODE", 0},
      {"*unknown op*", "** UNKNOWN OP **", 1},
  };
  for (const glob_case& c : cases)
    EXPECT_EQ(glob(c.pattern, c.name), c.want) << c.pattern << " vs " << c.name;
}

TEST(PatternMatch, EscapesBracketsAndStars) {
  const glob_case cases[] = {
      // Escapes; a trailing backslash is a literal backslash.
      {"\\*", "*", 1},
      {"\\*", "A", 0},
      {"\\?", "?", 1},
      {"\\?", "X", 0},
      {"a\\[b]", "a[b]", 1},
      {"\\N", "n", 1},
      {"A\\", "A\\", 1},
      {"A\\", "A", 0},
      {"\\\\", "\\", 1},
      // Ranges are inclusive; a reversed range adds nothing.
      {"[A-C]", "A", 1},
      {"[A-C]", "C", 1},
      {"[A-C]", "D", 0},
      {"[A-C]", "@", 0},
      {"[C-A]", "B", 0},
      {"[C-A]", "C", 0},
      {"[C-AX]", "X", 1},
      {"[\x80-\xff]", "\xe9", 1},
      {"[\x01-\x7f]", "\xe9", 0},
      // Hyphens: first is a member, behind a range too; last behind a char adds nothing.
      {"[-A]", "-", 1},
      {"[-A]", "A", 1},
      {"[A-C-]", "-", 1},
      {"[A-C-E]", "E", 1},
      {"[A-C-E]", "D", 0},
      {"[A-]", "A", 1},
      {"[A-]", "-", 0},
      // A closing bracket first is a member; no negation; no escape inside.
      {"[]A]", "]", 1},
      {"[]A]", "A", 1},
      {"[]A]", "B", 0},
      {"[]", "[]", 1},
      {"[!A]", "!", 1},
      {"[!A]", "B", 0},
      {"[^A]", "^", 1},
      {"[\\]]", "\\]", 1},
      // Sets never fold case, literals do; a set needs a name character.
      {"[a]", "A", 0},
      {"[a]", "a", 1},
      {"\xc9", "\xe9", 0},
      {"NODE[S]", "NODES", 1},
      {"NODE[S]", "NODE", 0},
      // Without a closing bracket the opening one is a literal.
      {"NODE[", "NODE[", 1},
      {"NODE[", "NODE", 0},
      {"NODE[", "NODEX", 0},
      {"[", "[", 1},
      // Stars that must give back characters they took.
      {"*A*B", "XAYAZB", 1},
      {"*A*B", "AAB", 1},
      {"*A*B", "ABA", 0},
      {"*AB", "AAB", 1},
      {"*ABC", "ABABC", 1},
      {"A*B*C", "AXBXBXC", 1},
      {"A*B*C", "AXBXCX", 0},
      {"*?", "", 0},
      {"*?", "A", 1},
      // Behind a star a bracket stays a set and an escaped star stays literal.
      {"*[MN]*", "FIXREC_META", 1},
      {"*[MN]*", "NODE", 1},
      {"*[MN]*", "POOL", 0},
      {"*[MN]*", "A[B", 0},
      {"*\\**", "A*B", 1},
      {"*\\**", "*", 1},
      {"*\\**", "AB", 0},
      {"*\\?", "WHAT?", 1},
      {"*\\?", "WHATX", 0},
  };
  for (const glob_case& c : cases)
    EXPECT_EQ(glob(c.pattern, c.name), c.want) << c.pattern << " vs " << c.name;
}

TEST(PatternMatch, CaseSensitiveFlagAndLengths) {
  EXPECT_EQ(glob("NODE", "node", 1), 0);
  EXPECT_EQ(glob("NODE", "NODE", 1), 1);
  EXPECT_EQ(glob("N*e", "NODE", 1), 0);
  // Only the given lengths count, not what lies behind them.
  EXPECT_EQ(jrn::pattern_match("NODEPAGE", 4, "NODE", 4, 0), 1);
  EXPECT_EQ(jrn::pattern_match("NODE", 4, "NODE*XYZ", 5, 0), 1);
  EXPECT_EQ(jrn::pattern_match("NODE", 4, "NODE[", 4, 0), 1);
  // A used-up name is no NUL character, not even for a set holding one.
  EXPECT_EQ(jrn::pattern_match("NODE", 4, "NODE[\0]*", 8, 0), 0);
}

// The matcher as it was before patterns were compiled: it reads the pattern
// afresh at every step, a bracket set as many times as stars retry.
int reference_match(const unsigned char* name, int name_len, const unsigned char* pat, int pat_len,
                    int case_sensitive) {
  auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
  auto set_has = [](const unsigned char* set, int n, unsigned char c) {
    for (int k = 0; k < n;) {
      const unsigned char first = set[k];
      if (k + 1 < n && set[k + 1] == '-') {
        if (k + 2 < n) {
          if (first <= c && c <= set[k + 2]) return true;
          k += 3;
        } else {
          if (first == c) return true;
          k += 2;
        }
        continue;
      }
      if (first == c) return true;
      ++k;
    }
    return false;
  };
  int pi = 0, ni = 0, star_pi = -1, star_ni = 0;
  for (;;) {
    if (pi < pat_len && pat[pi] == '*') {
      while (pi < pat_len && pat[pi] == '*') ++pi;
      if (pi == pat_len) return 1;
      star_pi = pi;
      star_ni = ni;
      continue;
    }
    if (pi == pat_len) {
      if (ni == name_len) return 1;
    } else {
      const unsigned char t = pat[pi];
      const bool have = ni < name_len;
      const unsigned char c = have ? name[ni] : 0;
      int close = -1, width = 1;
      bool ok;
      if (t == '[')
        for (int j = pi + 2; j < pat_len && close < 0; ++j)
          if (pat[j] == ']') close = j;
      if (t == '?') {
        ok = have;
      } else if (close >= 0) {
        ok = have && set_has(pat + pi + 1, close - pi - 1, c);
        width = close - pi + 1;
      } else {
        unsigned char lit = t;
        if (t == '\\' && pi + 1 < pat_len) {
          lit = pat[pi + 1];
          width = 2;
        }
        ok = have && (case_sensitive ? c == lit : fold(c) == fold(lit));
      }
      if (ok) {
        pi += width;
        ++ni;
        continue;
      }
    }
    if (star_pi < 0 || star_ni >= name_len) return 0;
    ni = ++star_ni;
    pi = star_pi;
  }
}

// Random patterns and names over the bytes that mean something to the glob
// (and letters of both cases, a NUL, a high byte) match as they always did.
TEST(PatternMatch, CompiledAgreesWithTheStepByStepMatcher) {
  std::mt19937 rng(20231116);
  const char pattern_bytes[] = "**??[[]]--\\\\!^aAbBzZ\x00\xe9";
  const char name_bytes[] = "aAbBzZ-]![\\*?^\x00\xe9";
  auto pick = [&](const char* bytes, size_t n, int max_len) {
    std::string s(std::uniform_int_distribution<int>(0, max_len)(rng), '\0');
    for (char& ch : s) ch = bytes[std::uniform_int_distribution<size_t>(0, n - 1)(rng)];
    return s;
  };
  int matched = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string pat = pick(pattern_bytes, sizeof pattern_bytes - 1, 10);
    const jrn::name_pattern compiled[2] = {{pat.data(), static_cast<int>(pat.size()), 0},
                                           {pat.data(), static_cast<int>(pat.size()), 1}};
    for (int j = 0; j < 10; ++j) {
      const std::string name = pick(name_bytes, sizeof name_bytes - 1, 8);
      for (int cs = 0; cs < 2; ++cs) {
        const int want = reference_match(
            reinterpret_cast<const unsigned char*>(name.data()), static_cast<int>(name.size()),
            reinterpret_cast<const unsigned char*>(pat.data()), static_cast<int>(pat.size()), cs);
        ASSERT_EQ(compiled[cs].match(name.data(), static_cast<int>(name.size())), want == 1)
            << "pattern '" << pat << "' name '" << name << "' case-sensitive " << cs;
        ASSERT_EQ(jrn::pattern_match(name.data(), static_cast<int>(name.size()), pat.data(),
                                     static_cast<int>(pat.size()), cs),
                  want);
        matched += want;
      }
    }
  }
  // The draw exercises both answers.
  EXPECT_GT(matched, 2000);
  EXPECT_LT(matched, 200000);
}

// Patterns of 100,000 bytes: one long set behind stars, many sets, an
// opening bracket with no end; compiled once, each matched against every
// opcode name many times.
TEST(PatternMatch, LongPatternsCompileOnceAndMatchByTheName) {
  std::string long_set = "*[";
  for (int i = 0; i < 25000; ++i) long_set += "a-cZ";
  long_set += "]*";
  std::string many_sets;
  while (many_sets.size() < 100000) many_sets += "*[NOP]?";
  const std::string unclosed = "*" + std::string(100000, '[') + "*";
  const struct {
    const std::string& pattern;
    const char* name;
    bool want;
  } cases[] = {
      {long_set, "NODEPAGE", false},  // sets never fold case
      {long_set, "NODELISTITEM", false}, {long_set, "FIXREC_META", false},
      {long_set, "NODEZ", true},         {many_sets, "NODEPAGE", false},
      {unclosed, "NODEPAGE", false},
  };
  for (const auto& c : cases) {
    const jrn::name_pattern p(c.pattern.data(), static_cast<int>(c.pattern.size()), 0);
    for (int i = 0; i < 200000; ++i)
      ASSERT_EQ(p.match(c.name, static_cast<int>(std::strlen(c.name))), c.want) << c.name;
  }
  EXPECT_EQ(glob(long_set.c_str(), "xaZ"), 1);
  EXPECT_EQ(glob(unclosed.substr(1, 99999).c_str(), std::string(99999, '[').c_str()), 1);
}

class FilterMatch : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    filter_opts = jrn::filter_settings();
    current_tag = jrn::tag_summary();
  }
  static int at(uint32_t seq, uint32_t ts, uint32_t txn, int32_t node, int image_like) {
    current_tag.sequence = seq;
    current_tag.timestamp = ts;
    return jrn::filter_match(filter_opts, current_tag, txn, node, image_like);
  }
};

TEST_F(FilterMatch, ImageLikeRule) {
  EXPECT_EQ(at(1, 1, 1, 1, 0), 0);
  EXPECT_EQ(at(1, 1, 1, 1, 1), 1);
  EXPECT_EQ(at(0, 0, 0, 0, 1), 1);
  filter_opts.image_like_only = 0;  // -a
  EXPECT_EQ(at(0, 0, 0, 0, 0), 1);
  EXPECT_EQ(at(UINT32_MAX, UINT32_MAX, UINT32_MAX, -1, 0), 1);
}

TEST_F(FilterMatch, InclusiveBoundsAndZeroMeansOff) {
  filter_opts.image_like_only = 0;
  struct bound_case {
    uint32_t jrn::filter_settings::*from;
    uint32_t jrn::filter_settings::*to;
    int field;  // 0 sequence, 1 timestamp, 2 transaction
  };
  const bound_case fields[] = {
      {&jrn::filter_settings::from_seq, &jrn::filter_settings::to_seq, 0},
      {&jrn::filter_settings::from_time, &jrn::filter_settings::to_time, 1},
      {&jrn::filter_settings::from_txn, &jrn::filter_settings::to_txn, 2},
  };
  for (const bound_case& f : fields) {
    auto probe = [&](uint32_t v) {
      uint32_t vals[3] = {7, 7, 7};
      vals[f.field] = v;
      return at(vals[0], vals[1], vals[2], 1, 0);
    };
    SCOPED_TRACE(f.field);
    filter_opts.*f.from = 10;
    filter_opts.*f.to = 20;
    EXPECT_EQ(probe(9), 0);
    EXPECT_EQ(probe(10), 1);
    EXPECT_EQ(probe(20), 1);
    EXPECT_EQ(probe(21), 0);
    filter_opts.*f.from = 0;  // upper bound alone
    EXPECT_EQ(probe(0), 1);
    EXPECT_EQ(probe(21), 0);
    filter_opts.*f.to = 0;  // lower bound alone, compared unsigned
    filter_opts.*f.from = 0x80000000u;
    EXPECT_EQ(probe(5), 0);
    EXPECT_EQ(probe(0x80000001u), 1);
    EXPECT_EQ(probe(UINT32_MAX), 1);
    filter_opts.*f.from = 5;  // reversed bounds pass nothing
    filter_opts.*f.to = 3;
    EXPECT_EQ(probe(4), 0);
    EXPECT_EQ(probe(5), 0);
    filter_opts.*f.from = filter_opts.*f.to = 0;
  }
}

TEST_F(FilterMatch, TransactionAndNodeFiltersDropCallersPassingZero) {
  filter_opts.image_like_only = 0;
  filter_opts.from_txn = 5;
  EXPECT_EQ(at(1, 1, 0, 0, 0), 0);
  filter_opts.from_txn = 0;
  filter_opts.to_txn = 5;
  EXPECT_EQ(at(1, 1, 0, 0, 0), 1);
  filter_opts.to_txn = 0;
  filter_opts.node_id = 7;
  EXPECT_EQ(at(1, 1, 1, 0, 0), 0);
  EXPECT_EQ(at(1, 1, 1, 7, 0), 1);
  EXPECT_EQ(at(1, 1, 1, 8, 0), 0);
  filter_opts.node_id = -5;
  EXPECT_EQ(at(1, 1, 1, -5, 0), 1);
  // Image-like records still meet every other filter.
  filter_opts.image_like_only = 1;
  EXPECT_EQ(at(1, 1, 1, -5, 1), 1);
  EXPECT_EQ(at(1, 1, 1, 5, 1), 0);
}

}  // namespace
