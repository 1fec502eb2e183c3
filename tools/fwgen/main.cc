// fwgen: writes a deterministic, realistic forward log (and optionally a
// matching node name map) for trying out, testing and timing jrnscan.
#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fwgen/generator.h"

namespace {

const char usage[] =
    "usage: fwgen [options]\n"
    "Writes a forward log of a made-up order entry and payroll system: sessions that\n"
    "sign on and off, transactions with before-images, index, space and pool records,\n"
    "page and cluster images, checkpoints, slave-sync marks, context and audit records.\n"
    "The same options and seed always give the same bytes.\n"
    "\n"
    "  --seed N       seed of the generator (default 1)\n"
    "  --tags N       number of tags of the whole output, end tags included (default 400)\n"
    "  --size MIB     size of the whole output in MiB instead (fractions allowed), written\n"
    "                 as a stream: a log of many GiB takes little memory\n"
    "  --version V    format version 1.00 or 1.01 to 1.05 (default 1.05); 1.00 logs hold\n"
    "                 no AUDIT, CONTEXT or BEFORE_IMAGE tags\n"
    "  --logs N       N logs one after the other, each with its own header, EOF_CONT\n"
    "                 between them and EOF_FINISH at the end (default 1); --tags and\n"
    "                 --size are shared out among them\n"
    "  --map FILE     also write a node name map of the log's databases, sets and\n"
    "                 indexes for jrnscan -M (names in mixed case)\n"
    "  --mix KIND     realistic (default); page: PAGE tags only; fixrec: mostly FIXREC\n"
    "                 changes of 50 to 500 data bytes\n"
    "  -o FILE        output file; \"-\" or none: standard output\n"
    "  -h, --help     show this text\n";

[[noreturn]] void bad(const std::string& msg) {
  std::fprintf(stderr, "fwgen: %s (fwgen --help lists the options)\n", msg.c_str());
  std::exit(2);
}

uint64_t number(const char* opt, const char* arg, uint64_t lo, uint64_t hi) {
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(arg, &end, 10);
  if (!*arg || *end || errno || arg[0] == '-' || arg[0] == '+' || v < lo || v > hi)
    bad(std::string(opt) + " needs a whole number from " + std::to_string(lo) + " to " +
        std::to_string(hi) + ", not '" + arg + "'");
  return v;
}

bool write_all(FILE* f, const std::string& s) {
  return std::fwrite(s.data(), 1, s.size(), f) == s.size();
}

}  // namespace

int main(int argc, char** argv) {
  fwgen::options o;
  std::string out = "-", map;
  double mib = 0;
  bool tags_given = false;
  static const option long_opts[] = {{"seed", required_argument, nullptr, 's'},
                                     {"tags", required_argument, nullptr, 't'},
                                     {"size", required_argument, nullptr, 'z'},
                                     {"version", required_argument, nullptr, 'v'},
                                     {"logs", required_argument, nullptr, 'l'},
                                     {"map", required_argument, nullptr, 'm'},
                                     {"mix", required_argument, nullptr, 'x'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, ":o:h", long_opts, nullptr)) != -1) {
    switch (c) {
      case 's': o.seed = number("--seed", optarg, 0, UINT64_MAX); break;
      case 't':
        o.tags = number("--tags", optarg, 1, 1000000000);
        tags_given = true;
        break;
      case 'z': {
        char* end = nullptr;
        mib = std::strtod(optarg, &end);
        if (!*optarg || *end || !std::isfinite(mib) || mib <= 0 || mib > 1048576)
          bad(std::string("--size needs a number of MiB above 0 and up to 1048576, not '") +
              optarg + "'");
        break;
      }
      case 'v':
        if (std::strlen(optarg) != 4 || std::strncmp(optarg, "1.0", 3) != 0 || optarg[3] < '0' ||
            optarg[3] > '5')
          bad(std::string("--version must be 1.00, 1.01, 1.02, 1.03, 1.04 or 1.05, not '") +
              optarg + "'");
        o.version = optarg;
        break;
      case 'l': o.logs = static_cast<int>(number("--logs", optarg, 1, 10000)); break;
      case 'm': map = optarg; break;
      case 'x':
        if (std::strcmp(optarg, "realistic") == 0)
          o.mix = fwgen::mix::realistic;
        else if (std::strcmp(optarg, "page") == 0)
          o.mix = fwgen::mix::pages;
        else if (std::strcmp(optarg, "fixrec") == 0)
          o.mix = fwgen::mix::fixrecs;
        else
          bad(std::string("--mix must be realistic, page or fixrec, not '") + optarg + "'");
        break;
      case 'o': out = optarg; break;
      case 'h': std::fputs(usage, stdout); return 0;
      case ':': bad(std::string("option ") + argv[optind - 1] + " needs an argument");
      default:
        bad(std::string("unknown option ") + (optopt ? std::string("-") + static_cast<char>(optopt)
                                                     : std::string(argv[optind - 1])));
    }
  }
  if (optind < argc) bad(std::string("unexpected argument '") + argv[optind] + "'");
  if (tags_given && mib > 0) bad("--tags and --size exclude each other");
  if (mib > 0) {
    o.size = static_cast<uint64_t>(std::llround(mib * 1048576.0));
    if (o.size / static_cast<uint64_t>(o.logs) < 64)
      bad("--size is too small for the number of logs");
  } else if (o.tags < static_cast<uint64_t>(o.logs)) {
    bad("--tags must be at least --logs: every log ends with its own end tag");
  }

  if (!map.empty()) {
    FILE* f = std::fopen(map.c_str(), "w");
    if (!f || !write_all(f, fwgen::node_map_text(o.seed)) || std::fclose(f) != 0) {
      std::fprintf(stderr, "fwgen: cannot write %s: %s\n", map.c_str(), std::strerror(errno));
      return 1;
    }
  }
  FILE* f = out == "-" ? stdout : std::fopen(out.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "fwgen: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
    return 1;
  }
  fwgen::generator gen(o);
  bool ok = gen.run([f](const std::string& piece) { return write_all(f, piece); });
  if (std::fflush(f) != 0 || (f != stdout && std::fclose(f) != 0)) ok = false;
  if (!ok) {
    std::fprintf(stderr, "fwgen: cannot write %s: %s\n",
                 out == "-" ? "standard output" : out.c_str(), std::strerror(errno));
    return 1;
  }
  return 0;
}
