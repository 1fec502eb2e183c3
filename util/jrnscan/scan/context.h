// The state of one run that the tag loop, the handlers and the decoders
// share: settings, names, the input, the current tag, diagnostics and the
// back-end. Every handler gets it as its one argument.
#pragma once

#include <cstdint>

#include "io/source.h"
#include "scan/audit_events.h"
#include "scan/diag.h"
#include "scan/filter.h"
#include "scan/format_check.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

// The page size; every page image of a PAGE or CLUSTER tag has this size.
constexpr uint32_t page_size = 8192;

struct scan_context {
  scan_context(const filter_settings& f, node_map& n, diagnostics& d, report_sink& s)
      : filter_opts(f),
        names(n),
        diag(d),
        out(s),
        lines_wanted(s.wants_lines()),
        every_problem(s.wants_all_problems()) {}

  const filter_settings& filter_opts;
  node_map& names;
  diagnostics& diag;
  report_sink& out;
  const bool lines_wanted;
  const bool every_problem;

  byte_source* in = nullptr;
  const char* log_name = "";
  int major = 0;
  int minor = 0;
  int64_t log_start = 0;       // input position of the log's first byte
  tag_summary tag;             // the tag being read
  bool lines = false;          // the current tag is shown and its lines are wanted
  bool log_continues = false;  // a further log follows in the stream
  uint64_t limit = 0;          // --limit: stop after this many shown tags; 0 = none
  uint64_t shown_tags = 0;
  bool stop = false;  // set to end the run after the current tag
  // Told of every FIXREC record and before-image, whatever the filters
  // show; null when no back-end follows records.
  record_observer* records = nullptr;
  // Told of every AUDIT tag's sessions, sign-ons and databases, whatever
  // the filters show; null when no back-end follows sessions.
  audit_observer* audits = nullptr;
  bool limit_reached() const { return limit != 0 && shown_tags >= limit; }
  // Bytes of page images and other bodies the handlers read; a body that
  // lies in the input's block is read in place instead.
  uint8_t page_buf[page_size];

  // The log offset reached: bytes of the log read so far.
  int64_t file_pos() const { return in->position() - log_start; }
  // The input offset reached: what the user's offsets count (the first
  // byte of a file or stream is 0, whichever log of it is read).
  int64_t input_pos() const { return in->position(); }

  // Settles whether the current tag is shown (what the filters decided,
  // and the tag kinds asked for) and, when it is, tells the back-end.
  bool show(bool by_filters);

  // Reads exactly n bytes; false when the input ended first.
  bool read_exact(void* dst, size_t n) { return n == 0 || in->read(dst, n) == n; }
  // Skips n bytes; false when the input ended first.
  bool skip(size_t n) { return in->skip(n) == n; }
  // Raw bytes and repeated groups of the current tag (see report_sink).
  void data(bool text_shown, fid key, const uint8_t* p, uint32_t n, uint32_t text_n,
            bool ellipsis = false) {
    if (lines) out.data(text_shown, key, p, n, text_n, ellipsis);
  }
  void words(bool text_shown, fid key, const uint8_t* p, uint32_t count) {
    if (lines) out.words(text_shown, key, p, count);
  }
  void list_begin(fid key) {
    if (lines) out.list_begin(key);
  }
  void list_item() {
    if (lines) out.list_item();
  }
  void list_end() {
    if (lines) out.list_end();
  }
  // Validation for every item, not only where the report needs it.
  bool all_problems() const { return every_problem; }
};

// The bit of a tag letter in filter_settings::kinds.
uint32_t kind_bit(uint8_t letter);

}  // namespace jrn

// One report line of the current tag: a printf format and its typed,
// named values (u32f, i32f, hexf, namef, textf, nodef, i64f). The format
// is a string literal; the compiler checks it against the values, and
// checks that the text report renders it exactly as printf would (see
// scan/format_check.h). Nothing is built when the line is not wanted.
#define JRN_ARG1_(f) , (f).arg()
#define JRN_ARGTYPE_(f) , decltype((f).arg())
#define JRN_EACH_1(m, a) m(a)
#define JRN_EACH_2(m, a, ...) m(a) JRN_EACH_1(m, __VA_ARGS__)
#define JRN_EACH_3(m, a, ...) m(a) JRN_EACH_2(m, __VA_ARGS__)
#define JRN_EACH_4(m, a, ...) m(a) JRN_EACH_3(m, __VA_ARGS__)
#define JRN_EACH_5(m, a, ...) m(a) JRN_EACH_4(m, __VA_ARGS__)
#define JRN_EACH_6(m, a, ...) m(a) JRN_EACH_5(m, __VA_ARGS__)
#define JRN_EACH_7(m, a, ...) m(a) JRN_EACH_6(m, __VA_ARGS__)
#define JRN_EACH_8(m, a, ...) m(a) JRN_EACH_7(m, __VA_ARGS__)
#define JRN_EACH_9(m, a, ...) m(a) JRN_EACH_8(m, __VA_ARGS__)
#define JRN_EACH_10(m, a, ...) m(a) JRN_EACH_9(m, __VA_ARGS__)
#define JRN_EACH_PICK_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, name, ...) name
#define JRN_EACH(m, ...)                                                                   \
  JRN_EACH_PICK_(__VA_ARGS__, JRN_EACH_10, JRN_EACH_9, JRN_EACH_8, JRN_EACH_7, JRN_EACH_6, \
                 JRN_EACH_5, JRN_EACH_4, JRN_EACH_3, JRN_EACH_2, JRN_EACH_1)               \
  (m, __VA_ARGS__)
#define JRN_FORMAT_REFUSED_                                                           \
  "the text report cannot render this format with these values: it takes %d (a "      \
  "signed value), %u, %x (with ll for a 64-bit value), %s, %% with a '0' flag and a " \
  "width on numbers, a width and a precision on %s (see scan/format_check.h)"

// A line the text report shows when text_shown holds (others see it always).
#define JRN_LINE_IF(c, text_shown, fmt, ...)                                         \
  do {                                                                               \
    static_assert(::jrn::format_fits<void JRN_EACH(JRN_ARGTYPE_, __VA_ARGS__)>(fmt), \
                  JRN_FORMAT_REFUSED_);                                              \
    if (false) {                                                                     \
      ::jrn::printf_check(fmt JRN_EACH(JRN_ARG1_, __VA_ARGS__));                     \
    }                                                                                \
    if ((c).lines) (c).out.line((text_shown), fmt, {__VA_ARGS__});                   \
  } while (0)
#define JRN_LINE(c, fmt, ...) JRN_LINE_IF(c, true, fmt, __VA_ARGS__)
// A line without values.
#define JRN_TEXT(c, text_shown, literal)                                   \
  do {                                                                     \
    static_assert(::jrn::format_fits<void>(literal), JRN_FORMAT_REFUSED_); \
    if ((c).lines) (c).out.line((text_shown), literal, {});                \
  } while (0)
