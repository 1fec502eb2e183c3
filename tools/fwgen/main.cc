// fwgen: writes a deterministic, realistic forward log (and optionally a
// matching node name map) for trying out, testing and timing jrnscan: as
// one stream, as a series of files or as a tar of them, compressed if asked.
#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fwgen/generator.h"
#include "fwgen/outputs.h"

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
    "                 --size are shared out among them; near the end of each log but\n"
    "                 the last a transaction begins that the next log ends\n"
    "  --first-sequence S\n"
    "                 file sequence of the first log's header (default 1); the logs\n"
    "                 behind it count up from there\n"
    "  --series DIR   write each log to a file of its own in DIR (made if missing),\n"
    "                 named by its file sequence: 000001.fwlog, 000002.fwlog, ...; the\n"
    "                 files are the stream of --logs cut between its logs\n"
    "  --tar FILE     write those files as the members of a tar archive instead\n"
    "                 (\"-\": standard output), in a folder per day of their first tag:\n"
    "                 2023-11-14/000001.fwlog, ...\n"
    "  --compress Z   compress with Z: gzip, zstd, xz or bzip2; each file of --series\n"
    "                 (its name gets .gz, .zst, .xz or .bz2), the whole tar of --tar,\n"
    "                 or else the stream\n"
    "  --map FILE     also write a node name map of the log's databases, sets and\n"
    "                 indexes for jrnscan -M (names in mixed case)\n"
    "  --mix KIND     realistic (default); page: PAGE tags only; fixrec: mostly FIXREC\n"
    "                 changes of 50 to 500 data bytes\n"
    "  --truth FILE   also write what the log does to its records, as JSON Lines: the\n"
    "                 records that exist before it, each change (its tag's sequence,\n"
    "                 input offset, transaction, session, operation, and the record's\n"
    "                 content after it, null when deleted, \"unknown\":true when the log\n"
    "                 does not tell it), each before-image, and per transaction each\n"
    "                 record before and after it; offsets count from the first byte of\n"
    "                 the stream, or of the log's file with --series or --tar; every\n"
    "                 record of every set, or with --size or more than 100000 tags those\n"
    "                 of Shop.Customers (101) and Hr.Payroll (202)\n"
    "  --drop F       leave the log of file sequence F out of --series or --tar (the\n"
    "                 others keep their names and bytes); the truth then says what\n"
    "                 the missing file changed and what a reader can no longer know\n"
    "  --second-series DIR\n"
    "                 with --series, also write a second archive, of another volume\n"
    "                 set (that of the next seed), to DIR; the truth then covers both,\n"
    "                 each line naming its \"volume_set\" and \"generation\"\n"
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

// The output of the options; failure() says why when it cannot be opened.
std::unique_ptr<fwgen::output> open_output(const std::string& out, const std::string& series,
                                           const std::string& tar, int32_t first_sequence,
                                           logbuild::compression c, int32_t drop) {
  if (!series.empty()) return fwgen::series_output(series, first_sequence, c, drop);
  if (!tar.empty()) return fwgen::tar_output(tar, c);
  return fwgen::stream_output(out, c);
}

// Generates one archive into w, its truth (when told) through truth_sink;
// false with failure set when a write failed.
bool write_archive(const fwgen::options& o, fwgen::output& w, bool tell,
                   const fwgen::truth::sink& truth_sink, const std::vector<uint32_t>& followed,
                   int32_t drop, bool name_series, std::string* failure) {
  fwgen::truth truth(truth_sink, followed);
  if (drop) truth.drop(drop);
  fwgen::generator gen(o);
  if (name_series) truth.set_series(gen.volume_set(), gen.volume_generation());
  if (tell) gen.tell(&truth);
  const bool ok = gen.run([&w](const std::string& piece) { return w.write(piece); },
                          [&w](const fwgen::log_info& log) { return w.log_done(log); }) &&
                  w.close();
  if (!ok) *failure = w.failure();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  fwgen::options o;
  std::string out = "-", map, series, tar, truth_path, second;
  int32_t drop = 0;
  bool out_given = false;
  logbuild::compression compress = logbuild::compression::none;
  double mib = 0;
  bool tags_given = false;
  static const option long_opts[] = {{"seed", required_argument, nullptr, 's'},
                                     {"tags", required_argument, nullptr, 't'},
                                     {"size", required_argument, nullptr, 'z'},
                                     {"version", required_argument, nullptr, 'v'},
                                     {"logs", required_argument, nullptr, 'l'},
                                     {"first-sequence", required_argument, nullptr, 'f'},
                                     {"series", required_argument, nullptr, 'D'},
                                     {"tar", required_argument, nullptr, 'T'},
                                     {"compress", required_argument, nullptr, 'c'},
                                     {"map", required_argument, nullptr, 'm'},
                                     {"mix", required_argument, nullptr, 'x'},
                                     {"truth", required_argument, nullptr, 'R'},
                                     {"drop", required_argument, nullptr, 'd'},
                                     {"second-series", required_argument, nullptr, 'S'},
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
      case 'f':
        o.first_sequence = static_cast<int32_t>(number("--first-sequence", optarg, 1, INT32_MAX));
        break;
      case 'D':
        if (!*optarg) bad("--series needs a directory name");
        series = optarg;
        break;
      case 'T':
        if (!*optarg) bad("--tar needs a file name");
        tar = optarg;
        break;
      case 'c':
        if (!logbuild::compression_named(optarg, &compress) ||
            compress == logbuild::compression::none)
          bad(std::string("--compress must be gzip, zstd, xz or bzip2, not '") + optarg + "'");
        break;
      case 'm': map = optarg; break;
      case 'R':
        if (!*optarg) bad("--truth needs a file name");
        truth_path = optarg;
        break;
      case 'd': drop = static_cast<int32_t>(number("--drop", optarg, 1, INT32_MAX)); break;
      case 'S':
        if (!*optarg) bad("--second-series needs a directory name");
        second = optarg;
        break;
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
      case 'o':
        out = optarg;
        out_given = true;
        break;
      case 'h': std::fputs(usage, stdout); return 0;
      case ':': bad(std::string("option ") + argv[optind - 1] + " needs an argument");
      default:
        bad(std::string("unknown option ") + (optopt ? std::string("-") + static_cast<char>(optopt)
                                                     : std::string(argv[optind - 1])));
    }
  }
  if (optind < argc) bad(std::string("unexpected argument '") + argv[optind] + "'");
  if (tags_given && mib > 0) bad("--tags and --size exclude each other");
  if (!series.empty() && !tar.empty()) bad("--series and --tar exclude each other");
  if (out_given && !series.empty()) bad("--series writes files of its own: -o goes without it");
  if (out_given && !tar.empty()) bad("--tar names the output: -o goes without it");
  if (drop && series.empty() && tar.empty()) bad("--drop needs --series or --tar");
  if (!second.empty() && series.empty()) bad("--second-series needs --series");
  if (o.first_sequence > INT32_MAX - (o.logs - 1))
    bad("--first-sequence leaves no file sequence for the last of the --logs");
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
  // The truth's file, and why it could not be written.
  FILE* truth_file = nullptr;
  std::string truth_failure;
  auto truth_failed = [&](int err) {
    if (truth_failure.empty())
      truth_failure = "cannot write " + truth_path + ": " + std::strerror(err ? err : EIO);
    return false;
  };
  if (!truth_path.empty() && !(truth_file = std::fopen(truth_path.c_str(), "w"))) {
    truth_failed(errno);
    std::fprintf(stderr, "fwgen: %s\n", truth_failure.c_str());
    return 1;
  }
  // A large output's truth follows two sets, to stay a fraction of its size.
  std::vector<uint32_t> followed;
  if (o.size || o.tags > 100000) followed = {101, 202};
  auto truth_sink = [&](const std::string& lines) {
    errno = 0;
    return write_all(truth_file, lines) || truth_failed(errno);
  };
  o.offsets_per_log = !series.empty() || !tar.empty();

  std::unique_ptr<fwgen::output> w =
      open_output(out, series, tar, o.first_sequence, compress, drop);
  if (drop) w = fwgen::dropping_output(std::move(w), o.first_sequence, drop);
  std::string failure = w->failure();
  bool ok = failure.empty() && write_archive(o, *w, truth_file != nullptr, truth_sink, followed,
                                             drop, !second.empty(), &failure);
  if (ok && !second.empty()) {
    // The next seed's logs: another volume set, other contents.
    fwgen::options o2 = o;
    ++o2.seed;
    std::unique_ptr<fwgen::output> w2 = fwgen::series_output(second, o2.first_sequence, compress);
    failure = w2->failure();
    ok = failure.empty() &&
         write_archive(o2, *w2, truth_file != nullptr, truth_sink, followed, 0, true, &failure);
  }
  if (truth_file) {
    errno = 0;
    if (std::fclose(truth_file) != 0 && ok) ok = truth_failed(errno);
  }
  if (!ok) {
    std::fprintf(stderr, "fwgen: %s\n",
                 truth_failure.empty() ? failure.c_str() : truth_failure.c_str());
    return 1;
  }
  return 0;
}
