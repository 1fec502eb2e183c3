#include "log/scan.h"

#include <ctime>

#include "cli/filter.h"
#include "cli/run.h"
#include "log/header.h"
#include "output/diag.h"
#include "output/out.h"

namespace jrn {

tag_header current_tag;
int64_t tag_offset = 0;

const char* format_time(uint32_t t) {
  // Shown tags often share a second: keep the last conversion.
  static uint32_t last = 0;
  static bool have = false;
  static char text[40];
  if (!have || t != last) {
    time_t wide = static_cast<time_t>(t);  // widened without sign extension
    struct tm tm;
    if (localtime_r(&wide, &tm) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm) == 0)
      text[0] = '\0';
    last = t;
    have = true;
  }
  return text;
}

void print_tag_header(const int64_t* file_pos) {
  const tag_header& t = current_tag;
  out_printf("\nsequence = %d\ntimestamp = %s (%d)\n", static_cast<int32_t>(t.sequence),
             format_time(t.timestamp), static_cast<int32_t>(t.timestamp));
  if (t.type == '1' && brief_view()) return;
  const char* name = tag_kind_of(t.type).name;
  if (t.type == '2') {
    // A PAGE tag's key is the number of the 8192-byte unit, counted from 1,
    // that holds its page image.
    uint32_t key = static_cast<uint32_t>((*file_pos >> 13) + 1);
    out_printf("tag = %s (%d), key = %u (0x%x, ofs = %lld)\n", name, 50, key, key,
               static_cast<long long>(*file_pos));
    return;
  }
  out_printf("tag = %s (%d)\n", name, t.type);
}

namespace {

constexpr uint8_t signature_start = 'D';  // first byte of "DRAV.FWLOG"

// An end tag: a following log may start right behind it.
int end_of_log(log_stream& in, int64_t* file_pos) {
  print_tag_header(file_pos);
  log_continues = true;
  uint8_t next;
  if (in.read(&next, 1) != 1) {
    log_continues = false;
    return 1;
  }
  if (next == signature_start) {
    in.unget(next);
    return 1;
  }
  // Anything else behind an end tag is not read as a log, but the reader
  // is told how much was left out.
  log_continues = false;
  int64_t rest = 1;
  for (size_t got; (got = in.skip(log_stream::block_size)) > 0;) rest += static_cast<int64_t>(got);
  diag("%s: %lld bytes after the end of the log at offset %lld are not a log; ignored\n",
       log_name, static_cast<long long>(rest), static_cast<long long>(*file_pos));
  return 1;
}

// The end of the input between tags or inside a tag's opening bytes: the
// message of the format, unless a failed read (already reported) ended it.
int input_ended(const log_stream& in, const char* what) {
  if (in.error() == 0) diag("Unexpected EOF reading tag %s\n", what);
  return 1;
}

}  // namespace

int64_t log_start = 0;

int scan_log(log_stream& in) {
  int64_t file_pos = 0;
  log_start = in.position();
  malformed_new_log();
  fwlog_header h;
  if (read_fwlog_header(in, &file_pos, &h) != 0) return -1;
  print_fwlog_header(h);
  const bool old_layout = h.minor < 1;

  for (;;) {
    tag_offset = file_pos;
    uint8_t type = 0;
    if (!old_layout) {
      if (read_counted(&type, 1, 1, in, &file_pos) != 1) return input_ended(in, "opcode");
      if (type == signature_start) {
        in.unget(type);
        log_continues = true;
        return 1;
      }
    }
    uint8_t head[8];
    if (read_counted(head, 8, 1, in, &file_pos) != 1) return input_ended(in, "header");
    if (old_layout && read_counted(&type, 1, 1, in, &file_pos) != 1)
      return input_ended(in, "opcode");
    current_tag.type = type;
    std::memcpy(&current_tag.sequence, head, 4);
    std::memcpy(&current_tag.timestamp, head + 4, 4);

    const tag_kind& kind = tag_kind_of(type);
    if (kind.handler) {
      int r = kind.handler(in, h.major, h.minor, &file_pos);
      if (r != 0) return r;
      continue;
    }
    if (type == 'C' || type == 'F') return end_of_log(in, &file_pos);
    // An unknown letter: its body length is unknown, so nothing behind it
    // can be read.
    print_tag_header(&file_pos);
    diag("%s: unrecognized tag type 0x%02x at offset %lld; the rest of the input is not read\n",
         log_name, type, static_cast<long long>(tag_offset));
    return 1;
  }
}

}  // namespace jrn
