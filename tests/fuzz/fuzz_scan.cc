// libFuzzer target: the whole scan of every log in an arbitrary byte
// stream, under one of several option sets chosen by JRNSCAN_FUZZ_MODE:
//   default     the default view
//   all         -a -vvv (every tag and record, every dump)
//   page        -p 1 (page probes and PAGE keys)
//   pattern     -o "*NODE*[LP]?*" (the opcode matcher)
//   map         -a -v with a small node name map loaded
//   json        --json -a -v (the JSON back-end)
//   stats       --stats (the summary)
//   stats-json  --stats --json
//   check       --check --strict
//   check-json  --check --json
//   save        -a --save DIR (the saver beside the report)
//   archive-check       --check --json over an archive in sequence order
//   archive-stats       --stats --json over an archive in sequence order
//   archive-report      -a -v over an archive in sequence order
//   history     --history 101:1 --history 202:3 --json (record contents)
//   as-of       --history 101:1 --as-of 2023-11-16T05:16:00Z
//   undo        --undo -x 4400:4600 --json (a transaction's undo)
//   txns        --txns --json;  sessions  --sessions -v
//   transaction --transaction 4466 --json
// The modes of the record, transaction and session views are set through
// the command line parser, as the tool sets them.
// Inputs of odd length, and every input of the archive modes, are read
// through a file descriptor as the tool reads an operand (a compressed log
// or a tar by the logs it holds); the others from memory. The output is not
// only run: the JSON modes' output must be strict JSON of the expected
// shape, the check's verdict must agree with the exit status, and every
// file of a saver's manifest must exist with the size it gives. A breach
// aborts, which the fuzzer reports as a crash.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/run.h"
#include "json_reader.h"
#include "scan/filter.h"
#include "scan/node_map.h"

namespace {

std::string mode;
jrn::run_options options;
int out_fd = -1;  // the report: a memory file for the modes checked, else /dev/null

void load_small_map(jrn::node_map& names) {
  char path[] = "/tmp/jrnscan-fuzz-map-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return;
  const char text[] =
      "heading\nheading\n3 2 shop 0\n7 3 orders 3\n8 4 by_date 7\n9 3 loop 10\n10 3 back 9\n";
  if (write(fd, text, sizeof text - 1) < 0) std::perror("write");
  close(fd);
  names.load(path, false);
  std::remove(path);
}

// The modes set through the parser: their arguments.
const std::vector<std::vector<const char*>> parsed_modes = {
    {"history", "--history", "101:1", "--history", "202:3", "--json", "--utc"},
    {"as-of", "--history", "101:1", "--as-of", "2023-11-16T05:16:00Z", "--utc"},
    {"undo", "--undo", "-x", "4400:4600", "--json"},
    {"txns", "--txns", "--json"},
    {"sessions", "--sessions", "-v", "--escape=always"},
    {"transaction", "--transaction", "4466", "--json"},
};

bool set_parsed_options() {
  for (const std::vector<const char*>& m : parsed_modes) {
    if (mode != m[0]) continue;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("jrnscan"));
    for (size_t i = 1; i < m.size(); ++i) argv.push_back(const_cast<char*>(m[i]));
    argv.push_back(const_cast<char*>("fuzz"));
    argv.push_back(nullptr);
    jrn::node_map names;
    if (jrn::parse_command_line(static_cast<int>(argv.size() - 1), argv.data(), options, names) >=
        0)
      std::abort();
    options.operands.clear();
    options.progress = 0;
    return true;
  }
  return false;
}

void set_options() {
  if (set_parsed_options()) return;
  jrn::filter_settings& f = options.filter;
  if (mode == "all") {
    f.image_like_only = 0;
    f.detail_level = 3;
  } else if (mode == "page") {
    f.page = 1;
    f.image_like_only = 0;
  } else if (mode == "pattern") {
    static const char pattern[] = "*NODE*[LP]?*";
    f.pattern = pattern;
    f.pattern_len = sizeof pattern - 1;
    f.compiled_pattern = std::make_shared<jrn::name_pattern>(pattern, f.pattern_len, 0);
    f.image_like_only = 0;
  } else if (mode == "map") {
    f.image_like_only = 0;
    f.detail_level = 1;
  } else if (mode == "json") {
    options.json = true;
    f.image_like_only = 0;
    f.detail_level = 1;
  } else if (mode == "stats" || mode == "stats-json") {
    options.mode = jrn::output_mode::stats;
    options.json = mode == "stats-json";
    options.progress = 0;
    f.image_like_only = 0;
  } else if (mode == "check" || mode == "check-json") {
    options.mode = jrn::output_mode::check;
    options.json = mode == "check-json";
    options.strict = mode == "check";
    options.progress = 0;
    f.image_like_only = 0;
  } else if (mode == "save") {
    f.image_like_only = 0;
  } else if (mode == "archive-check" || mode == "archive-stats" || mode == "archive-report") {
    options.order = jrn::read_order::sequence;
    options.progress = 0;
    f.image_like_only = 0;
    if (mode == "archive-check") {
      options.mode = jrn::output_mode::check;
      options.json = true;
    } else if (mode == "archive-stats") {
      options.mode = jrn::output_mode::stats;
      options.json = true;
    } else {
      f.detail_level = 1;
    }
  }
}

bool archive_mode() { return mode.rfind("archive-", 0) == 0; }

bool checked_mode() {
  return mode == "json" || mode == "stats-json" || mode == "archive-stats" ||
         mode == "check-json" || mode == "archive-check" || mode == "check" || mode == "stats" ||
         mode == "history" || mode == "undo" || mode == "txns" || mode == "transaction";
}

[[noreturn]] void breach(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_scan (%s): %s\n%s\n", mode.c_str(), what, detail.c_str());
  std::abort();
}

std::string take_output() {
  std::string text;
  const off_t n = lseek(out_fd, 0, SEEK_END);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  if (n > 0 && pread(out_fd, &text[0], text.size(), 0) != n) breach("output unreadable", "");
  if (ftruncate(out_fd, 0) != 0 || lseek(out_fd, 0, SEEK_SET) != 0) breach("output reset", "");
  return text;
}

// Every line a JSON object with this key (a JSON Lines report: "type").
std::vector<json_reader::value> json_lines(const std::string& text, const char* key = "type") {
  std::vector<json_reader::value> lines;
  size_t start = 0;
  for (size_t nl; start < text.size(); start = nl + 1) {
    nl = text.find('\n', start);
    if (nl == std::string::npos) breach("JSON line without its newline", text.substr(start));
    const json_reader::result r = json_reader::parse(text.substr(start, nl - start));
    if (!r.ok() || !r.v.is_object() || !r.v[key].is_string())
      breach("not a JSON object with its key", r.message() + ": " + text.substr(start, nl - start));
    lines.push_back(r.v);
  }
  return lines;
}

void check_output(const std::string& text, int status) {
  if (mode == "json" || mode == "history" || mode == "undo" || mode == "txns" ||
      mode == "transaction") {
    json_lines(text);
  } else if (mode == "stats-json" || mode == "archive-stats") {
    const json_reader::result r = json_reader::parse(text);
    if (!r.ok() || !r.v.is_object()) breach("summary is not one JSON object", r.message());
  } else if (mode == "check-json" || mode == "archive-check") {
    const std::vector<json_reader::value> lines = json_lines(text);
    if (lines.empty() || lines.back()["type"].text != "check_run")
      breach("no run object last", text);
    const bool failed = lines.back()["verdict"].text == "failed";
    if (failed != (status != 0)) breach("verdict and exit status differ", text);
  } else if (mode == "check") {
    const bool ok = text.size() >= 5 && text.compare(text.size() - 5, 5, ": ok\n") == 0;
    if (ok != (status == 0)) breach("verdict and exit status differ", text);
  } else if (mode == "stats") {
    if (text.empty()) breach("no summary", "");
  }
}

// Every manifest line names a file of the directory with its size; then
// the directory is emptied for the next input.
void check_saved(const std::string& dir) {
  std::string manifest;
  if (FILE* f = std::fopen((dir + "/manifest.jsonl").c_str(), "rb")) {
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) manifest.append(buf, n);
    std::fclose(f);
  }
  for (const json_reader::value& line : json_lines(manifest, "file")) {
    const json_reader::value& file = line["file"];
    struct stat st;
    if (file.text.find('/') != std::string::npos || stat((dir + "/" + file.text).c_str(), &st) != 0)
      breach("manifest names a file that is not in the directory", file.text);
    const json_reader::value& size = line["size"];
    if (size.is_integer() && size.num() != st.st_size)
      breach("saved file's size differs from the manifest", file.text);
  }
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') unlinkat(dirfd(d), e->d_name, 0);
    closedir(d);
  }
  rmdir(dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* m = std::getenv("JRNSCAN_FUZZ_MODE");
  mode = m ? m : "default";
  set_options();
  if (checked_mode()) {
    out_fd = memfd_create("fuzz-out", 0);
  } else {
    const int null_fd = open("/dev/null", O_WRONLY);
    out_fd = null_fd >= 0 ? null_fd : -1;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jrn::node_map names;
  if (mode == "map") load_small_map(names);
  std::string save_dir;
  if (mode == "save") {
    char dir[] = "/tmp/jrnscan-fuzz-save-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 0;
    save_dir = dir;
    rmdir(dir);  // the saver makes it
    options.save_dir = save_dir;
  }
  int status = 0;
  bool scanned = false;
  if (size % 2 == 1 || archive_mode()) {
    const int fd = memfd_create("fuzz", 0);
    if (fd >= 0) {
      if (write(fd, data, size) == static_cast<ssize_t>(size) && lseek(fd, 0, SEEK_SET) == 0) {
        status = jrn::scan_fd(options, names, fd, "fuzz", out_fd);
        scanned = true;
      }
      close(fd);
    }
  }
  if (!scanned) status = jrn::scan_bytes(options, names, data, size, "fuzz", out_fd);
  if (checked_mode()) check_output(take_output(), status);
  if (!save_dir.empty()) check_saved(save_dir);
  return 0;
}
