// libFuzzer target: the whole scan of every log in an arbitrary byte
// stream, under one of several option sets chosen by JRNSCAN_FUZZ_MODE:
//   default  the default view
//   all      -a -vvv (every tag and record, every dump)
//   page     -p 1 (page probes and PAGE keys)
//   pattern  -o "*NODE*[LP]?*" (the opcode matcher)
//   map      -a -v with a small node name map loaded
//   json     --json -a -v (the JSON back-end)
// Inputs of odd length are read through a file descriptor in blocks, as
// the tool reads its operands; the others from memory. The report goes to
// /dev/null through the real output path.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/options.h"
#include "cli/run.h"
#include "report/out.h"
#include "scan/node_map.h"

namespace {

std::string mode;
jrn::run_options options;

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

void set_options() {
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
    f.image_like_only = 0;
  } else if (mode == "map") {
    f.image_like_only = 0;
    f.detail_level = 1;
  } else if (mode == "json") {
    options.json = true;
    f.image_like_only = 0;
    f.detail_level = 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* m = std::getenv("JRNSCAN_FUZZ_MODE");
  mode = m ? m : "default";
  set_options();
  const int null_fd = open("/dev/null", O_WRONLY);
  jrn::out_set_fd(null_fd >= 0 ? null_fd : -1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jrn::node_map names;
  if (mode == "map") load_small_map(names);
  if (size % 2 == 1) {
    const int fd = memfd_create("fuzz", 0);
    if (fd >= 0) {
      if (write(fd, data, size) == static_cast<ssize_t>(size) && lseek(fd, 0, SEEK_SET) == 0)
        jrn::scan_fd(options, names, fd, "fuzz");
      close(fd);
      return 0;
    }
  }
  jrn::scan_bytes(options, names, data, size, "fuzz");
  return 0;
}
