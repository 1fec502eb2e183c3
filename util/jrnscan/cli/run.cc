// The run driver: options into the filter settings, announcements, the
// scan of every log in the input, and the exit status.
#include "cli/run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/out.h"

namespace jrn {

const char* log_name = "";
bool log_continues = false;

namespace {

const char* const usage_lines[] = {
    "usage: jrnscan [options] fwlog",
    "options:",
    " -help       - show usage (this list)",
    " -v          - display details",
    " -n id       - filter records for specific node#",
    " -t f:t      - filter records from:to time (specified in seconds)",
    " -s f:t      - filter records from:to sequence id",
    " -x f:t      - filter records from:to transaction id",
    " -r rec      - filter records by specific record number",
    " -p num      - filter records for physical page (implies -a)",
    " -o pattern  - filter records by opcode pattern (implies -a)",
    " -a          - display all entry types (by default only IMAGE like",
    "               operations are displayed)",
    " -M file     - specifies file name of node name map (varodor -nt20)",
    "<$END>",
};

const char version_banner[] = "DRAV B.08.00     / WIN32 (build Feb 17 2012)\n";

int print_usage() {
  for (const char* line : usage_lines) {
    if (std::strcmp(line, "<$END>") == 0) break;
    std::fprintf(stderr, "%s\n", line);
  }
  std::fprintf(stderr, "\n");
  return 2;
}

// "f:t" as scanned with "%u:%u": a side that does not convert keeps its value.
void parse_range(const char* arg, uint32_t* from, uint32_t* to) {
  unsigned a = *from, b = *to;
  std::sscanf(arg, "%u:%u", &a, &b);
  *from = a;
  *to = b;
}

int to_int(const char* arg) { return static_cast<int>(std::strtol(arg, nullptr, 10)); }

void announce_filters() {
  filter_settings& f = filter_opts;
  if (f.node_id) out_printf("** Filter node id: #%d\n", f.node_id);
  if (f.from_time)
    out_printf("** Filter from time: %s (%d)\n", format_time(f.from_time),
               static_cast<int>(f.from_time));
  if (f.to_time)
    out_printf("** Filter to time: %s (%d)\n", format_time(f.to_time), static_cast<int>(f.to_time));
  if (f.from_txn) out_printf("** Filter from txn: %u\n", f.from_txn);
  if (f.to_txn) out_printf("** Filter to txn: %u\n", f.to_txn);
  if (f.from_seq) out_printf("** Filter from seq: %u\n", f.from_seq);
  if (f.to_seq) out_printf("** Filter to seq: %u\n", f.to_seq);
  if (f.page) {
    out_printf("** Filter page: %u (0x%x)\n", f.page, f.page);
    f.image_like_only = 0;
  }
  if (f.recno) out_printf("** Filter record number: %u\n", f.recno);
  if (f.pattern) {
    out_printf("** Filter opcode by pattern: \"%s\"\n", f.pattern);
    f.image_like_only = 0;
  }
}

}  // namespace

int jrnscan_main(int argc, char** argv) {
  const char* invocation = argv[0];
  if (argc < 2) return print_usage();
  if (std::strcmp(argv[1], "-help") == 0) return print_usage();
  if (std::strcmp(argv[1], "-version") == 0) {
    out_str(version_banner);
    out_flush();
    return 0;
  }

  filter_opts = filter_settings();
  bool bad = false;
  int c;
  while ((c = getopt(argc, argv, "n:at:s:x:p:r:o:vM:")) != -1) {
    switch (c) {
      case 'n': filter_opts.node_id = to_int(optarg); break;
      case 'a': filter_opts.image_like_only = 0; break;
      case 't': parse_range(optarg, &filter_opts.from_time, &filter_opts.to_time); break;
      case 's': parse_range(optarg, &filter_opts.from_seq, &filter_opts.to_seq); break;
      case 'x': parse_range(optarg, &filter_opts.from_txn, &filter_opts.to_txn); break;
      case 'p': filter_opts.page = static_cast<uint32_t>(to_int(optarg)); break;
      case 'r': filter_opts.recno = static_cast<uint32_t>(to_int(optarg)); break;
      case 'o':
        filter_opts.pattern = optarg;
        filter_opts.pattern_len = static_cast<int32_t>(std::strlen(optarg));
        break;
      case 'v': ++filter_opts.detail_level; break;
      case 'M':
        if (node_map_load(optarg) != 0) bad = true;
        break;
      default: bad = true; break;
    }
  }
  if (bad) {
    std::fprintf(stderr, "%s: %s\n", invocation, "bad arguments");
    return 2;
  }
  if (optind >= argc) {
    std::fprintf(stderr, "%s: %s\n", invocation, "no fwlog file specified");
    return 2;
  }

  announce_filters();

  const char* operand = argv[optind];
  int fd = 0;
  if (std::strcmp(operand, "-") == 0) {
    log_name = "(stdin)";
  } else {
    log_name = operand;
    fd = ::open(operand, O_RDONLY);
    if (fd < 0) {
      diag_perror(operand);
      return 1;
    }
  }
  log_stream in(fd);
  return scan_stream(in);
}

int scan_stream(log_stream& in) {
  malformed_seen = false;
  int result;
  do {
    log_continues = false;
    result = scan_log(in);
  } while (result >= 0 && log_continues);
  out_flush();
  return (result < 0 || malformed_seen) ? 1 : 0;
}

}  // namespace jrn
