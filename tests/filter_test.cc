// The record predicate and the opcode name pattern, called directly.
#include "scan/filter.h"

#include <gtest/gtest.h>

#include <cstring>

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
