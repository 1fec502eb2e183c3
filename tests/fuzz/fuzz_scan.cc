// libFuzzer target: the whole scan of every log in an arbitrary byte
// stream, under one of several option sets chosen by JRNSCAN_FUZZ_MODE:
//   default  the default view
//   all      -a -vvv (every tag and record, every dump)
//   page     -p 1 (page probes and PAGE keys)
//   pattern  -o "*NODE*[LP]?*" (the opcode matcher)
//   map      -a -v with a small node name map loaded
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/filter.h"
#include "cli/node_map.h"
#include "cli/run.h"
#include "log/scan.h"
#include "log/stream.h"
#include "output/out.h"

namespace {

std::string mode;

void load_small_map() {
  char path[] = "/tmp/jrnscan-fuzz-map-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return;
  const char text[] =
      "heading\nheading\n3 2 shop 0\n7 3 orders 3\n8 4 by_date 7\n9 3 loop 10\n10 3 back 9\n";
  if (write(fd, text, sizeof text - 1) < 0) std::perror("write");
  close(fd);
  jrn::node_map_load(path);
  std::remove(path);
}

void set_options() {
  jrn::filter_opts = jrn::filter_settings();
  if (mode == "all") {
    jrn::filter_opts.image_like_only = 0;
    jrn::filter_opts.detail_level = 3;
  } else if (mode == "page") {
    jrn::filter_opts.page = 1;
    jrn::filter_opts.image_like_only = 0;
  } else if (mode == "pattern") {
    static const char pattern[] = "*NODE*[LP]?*";
    jrn::filter_opts.pattern = pattern;
    jrn::filter_opts.pattern_len = sizeof pattern - 1;
    jrn::filter_opts.image_like_only = 0;
  } else if (mode == "map") {
    jrn::filter_opts.image_like_only = 0;
    jrn::filter_opts.detail_level = 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* m = std::getenv("JRNSCAN_FUZZ_MODE");
  mode = m ? m : "default";
  jrn::out_set_fd(-1);  // the report is formatted in full, then dropped
  jrn::log_name = "fuzz";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jrn::node_map_clear();
  if (mode == "map") load_small_map();
  set_options();
  jrn::current_tag = jrn::tag_header();
  jrn::log_stream in(data, size);
  jrn::scan_stream(in);
  return 0;
}
