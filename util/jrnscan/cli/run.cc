// The run driver: options into the filter settings, announcements, the
// scan of every log in the input, and the exit status.
#include "cli/run.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "cli/option_values.h"
#include "log/scan.h"
#include "output/diag.h"
#include "output/escape.h"
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

// --help: the usage on standard output, a success.
int print_help() {
  for (const char* line : usage_lines) {
    if (std::strcmp(line, "<$END>") == 0) break;
    out_str(line);
    out_char('\n');
  }
  out_flush();
  return 0;
}

int print_usage() {
  for (const char* line : usage_lines) {
    if (std::strcmp(line, "<$END>") == 0) break;
    std::fprintf(stderr, "%s\n", line);
  }
  std::fprintf(stderr, "\n");
  return 2;
}

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


// Where a failed read is reported: the log name and the log offset.
void report_read_error(int err, int64_t position) {
  diag("%s: read error at offset %lld: %s\n", log_name,
       static_cast<long long>(position - log_start), std::strerror(err));
}

// Reads one operand as its own input; returns its exit status.
int scan_operand(const char* operand) {
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
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      errno = EISDIR;
      diag_perror(operand);
      return 1;
    }
  }
  log_stream in(fd);
  in.on_error(report_read_error);
  const int status = scan_stream(in);
  if (fd != 0) ::close(fd);
  return status;
}

enum long_only : int { opt_escape = 256, opt_name_memory, opt_help, opt_version };

const struct option long_options[] = {
    {"node", required_argument, nullptr, 'n'},
    {"time", required_argument, nullptr, 't'},
    {"seq", required_argument, nullptr, 's'},
    {"txn", required_argument, nullptr, 'x'},
    {"record", required_argument, nullptr, 'r'},
    {"page", required_argument, nullptr, 'p'},
    {"opcode", required_argument, nullptr, 'o'},
    {"all", no_argument, nullptr, 'a'},
    {"verbose", no_argument, nullptr, 'v'},
    {"map", required_argument, nullptr, 'M'},
    {"escape", required_argument, nullptr, opt_escape},
    {"name-memory", required_argument, nullptr, opt_name_memory},
    {"help", no_argument, nullptr, opt_help},
    {"version", no_argument, nullptr, opt_version},
    {nullptr, 0, nullptr, 0},
};

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
  // Escaping is settled before anything from a map file is echoed.
  escape_mode escape = escape_mode::automatic;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strncmp(argv[i], "--escape=", 9) == 0) {
      const char* v = argv[i] + 9;
      if (std::strcmp(v, "always") == 0) escape = escape_mode::always;
      if (std::strcmp(v, "never") == 0) escape = escape_mode::never;
      if (std::strcmp(v, "auto") == 0) escape = escape_mode::automatic;
    }
  }
  set_escape_mode(escape);

  bool bad = false;
  const char* t_text = nullptr;
  const char* s_text = nullptr;
  const char* x_text = nullptr;
  int c;
  int long_index = -1;
  // The option as the user wrote it, for warnings.
  auto name_of = [&](const char* short_name) {
    return long_index >= 0 ? (std::string("--") + long_options[long_index].name)
                           : std::string(short_name);
  };
  while ((c = getopt_long(argc, argv, "n:at:s:x:p:r:o:vM:", long_options, &long_index)) != -1) {
    switch (c) {
      case 'n':
        filter_opts.node_id = read_signed(name_of("-n").c_str(), optarg, "no node filter");
        break;
      case 'a': filter_opts.image_like_only = 0; break;
      case 't':
        read_range(name_of("-t").c_str(), optarg, &filter_opts.from_time, &filter_opts.to_time);
        t_text = optarg;
        break;
      case 's':
        read_range(name_of("-s").c_str(), optarg, &filter_opts.from_seq, &filter_opts.to_seq);
        s_text = optarg;
        break;
      case 'x':
        read_range(name_of("-x").c_str(), optarg, &filter_opts.from_txn, &filter_opts.to_txn);
        x_text = optarg;
        break;
      case 'p':
        filter_opts.page = read_unsigned(name_of("-p").c_str(), optarg, "no page filter");
        break;
      case 'r':
        filter_opts.recno =
            read_unsigned(name_of("-r").c_str(), optarg, "no record number filter");
        break;
      case 'o':
        filter_opts.pattern = optarg;
        filter_opts.pattern_len = static_cast<int32_t>(std::strlen(optarg));
        break;
      case 'v': ++filter_opts.detail_level; break;
      case 'M':
        if (node_map_load(optarg) != 0) bad = true;
        break;
      case opt_escape:
        if (std::strcmp(optarg, "auto") != 0 && std::strcmp(optarg, "always") != 0 &&
            std::strcmp(optarg, "never") != 0) {
          std::fprintf(stderr, "%s: --escape takes auto, always or never, not '%s'\n", invocation,
                       optarg);
          bad = true;
        }
        break;
      case opt_name_memory: {
        uint64_t bytes;
        if (!parse_size(optarg, &bytes)) {
          std::fprintf(stderr, "%s: --name-memory takes a size such as 64M or 1G, not '%s'\n",
                       invocation, optarg);
          bad = true;
        } else {
          node_names().set_learn_limit(bytes);
        }
        break;
      }
      case opt_help: return print_help();
      case opt_version:
        out_str(version_banner);
        out_flush();
        return 0;
      default: bad = true; break;
    }
    long_index = -1;
  }
  if (bad) {
    std::fprintf(stderr, "%s: %s\n", invocation, "bad arguments");
    return 2;
  }
  if (optind >= argc) {
    std::fprintf(stderr, "%s: %s\n", invocation, "no fwlog file specified");
    return 2;
  }
  int stdin_operands = 0;
  for (int i = optind; i < argc; ++i) stdin_operands += std::strcmp(argv[i], "-") == 0;
  if (stdin_operands > 1) {
    std::fprintf(stderr, "%s: standard input (-) may be given only once\n", invocation);
    return 2;
  }
  if (t_text) check_range_order("-t", t_text, filter_opts.from_time, filter_opts.to_time);
  if (s_text) check_range_order("-s", s_text, filter_opts.from_seq, filter_opts.to_seq);
  if (x_text) check_range_order("-x", x_text, filter_opts.from_txn, filter_opts.to_txn);

  announce_filters();

  // Every operand is read, in order, into the one report; the status is
  // the worst of them.
  int status = 0;
  for (int i = optind; i < argc; ++i) {
    if (scan_operand(argv[i]) != 0) status = 1;
  }
  out_flush();
  return status;
}

int scan_stream(log_stream& in) {
  malformed_seen = false;
  log_start = in.position();
  int result;
  do {
    log_continues = false;
    result = scan_log(in);
  } while (result >= 0 && log_continues);
  out_flush();
  return (result < 0 || malformed_seen || in.error() != 0) ? 1 : 0;
}

}  // namespace jrn
