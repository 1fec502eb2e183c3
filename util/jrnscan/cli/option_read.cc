// The readers of the options' values, one group of options each.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/datetime.h"
#include "cli/option_parse.h"
#include "cli/option_values.h"
#include "cli/usage.h"
#include "scan/escape.h"

namespace jrn {

// -n, -a, -t, -s, -x, -p, -r, -o, -v, -M, --kind, --since, --until.
bool read_filter_option(int c, parse_state& st) {
  run_options& o = st.o;
  filter_settings& f = o.filter;
  bool& bad = st.bad;
  const char* invocation = st.invocation;
  const bool escape_messages = st.escape_messages;
  switch (c) {
    case 'n': f.node_id = read_signed(st.name_of("-n").c_str(), optarg, "no node filter"); break;
    case 'a': f.image_like_only = 0; break;
    case 't':
      read_range(st.name_of("-t").c_str(), optarg, &f.from_time, &f.to_time);
      st.t_text = optarg;
      break;
    case 's':
      read_range(st.name_of("-s").c_str(), optarg, &f.from_seq, &f.to_seq);
      st.s_text = optarg;
      break;
    case 'x':
      read_range(st.name_of("-x").c_str(), optarg, &f.from_txn, &f.to_txn);
      st.x_text = optarg;
      break;
    case 'p': f.page = read_unsigned(st.name_of("-p").c_str(), optarg, "no page filter"); break;
    case 'r':
      f.recno = read_unsigned(st.name_of("-r").c_str(), optarg, "no record number filter");
      break;
    case 'o':
      f.pattern = optarg;
      f.pattern_len = static_cast<int32_t>(std::strlen(optarg));
      st.o_name = st.name_of("-o");
      break;
    case 'v': ++f.detail_level; break;
    case 'M':
      if (st.names.load(optarg, escape_messages) != 0) bad = true;
      break;
    case opt_kind:
      if (!parse_kinds(optarg, &f.kinds)) bad = true;
      break;
    case opt_since:
    case opt_until: {
      // A date alone bounds the whole day: from its first second, up to
      // its last.
      uint32_t t;
      if (!parse_datetime(optarg, o.utc, c == opt_until, &t)) {
        std::fprintf(stderr,
                     "%s: %s: '%s' is not a date-time; give YYYY-MM-DD, YYYY-MM-DD HH:MM, "
                     "YYYY-MM-DD HH:MM:SS or YYYY-MM-DDTHH:MM:SS, with Z or +HH:MM/-HH:MM "
                     "for a time that is not local\n",
                     invocation, c == opt_since ? "--since" : "--until", optarg);
        bad = true;
      } else if (c == opt_since) {
        f.from_time = t;
        st.since_text = optarg;
      } else {
        f.to_time = t;
        st.until_text = optarg;
      }
      break;
    }
    default: return false;
  }
  return true;
}

// The form and bounds of the report, --stats and --check.
bool read_report_option(int c, parse_state& st) {
  run_options& o = st.o;
  modes_given& given = st.given;
  bool& bad = st.bad;
  const char* invocation = st.invocation;
  switch (c) {
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
        st.names.set_learn_limit(bytes);
      }
      break;
    }
    case opt_json: o.json = true; break;
    case opt_stats: given.stats = true; break;
    case opt_check: given.check = true; break;
    case opt_strict:
      o.strict = true;
      given.strict = true;
      break;
    case opt_top: {
      uint64_t n;
      given.top = true;
      if (!parse_size(optarg, &n) || std::strpbrk(optarg, "kKmMgG") != nullptr || n > 100000) {
        std::fprintf(stderr, "%s: --top takes a number from 0 to 100000, not '%s'\n", invocation,
                     optarg);
        bad = true;
      } else {
        o.top = static_cast<uint32_t>(n);
      }
      break;
    }
    case opt_offsets:
      o.offsets = true;
      given.offsets = true;
      break;
    case opt_utc: break;  // read before the other options
    case opt_limit: {
      uint64_t n;
      given.limit = true;
      if (!parse_size(optarg, &n) || std::strpbrk(optarg, "kKmMgG") != nullptr || n == 0) {
        std::fprintf(stderr, "%s: --limit takes a number of tags from 1 up, not '%s'\n", invocation,
                     optarg);
        bad = true;
      } else {
        o.limit = n;
      }
      break;
    }
    case opt_image_memory: {
      uint64_t bytes;
      given.image_memory = true;
      if (!parse_size(optarg, &bytes) || bytes > (uint64_t{1} << 46)) {
        std::fprintf(stderr, "%s: --image-memory takes a size such as 1G or 256M, not '%s'\n",
                     invocation, optarg);
        bad = true;
      } else {
        o.image_memory = bytes;
      }
      break;
    }
    default: return false;
  }
  return true;
}

// How the inputs are read and where pages are saved.
bool read_input_option(int c, parse_state& st) {
  run_options& o = st.o;
  bool& bad = st.bad;
  const char* invocation = st.invocation;
  switch (c) {
    case opt_progress: o.progress = 1; break;
    case opt_no_progress: o.progress = 0; break;
    case 'f': o.follow = true; break;
    case opt_save:
      if (*optarg == '\0') {
        std::fprintf(stderr, "%s: --save needs a directory\n", invocation);
        bad = true;
      } else {
        o.save_dir = optarg;
      }
      break;
    case opt_order:
      if (std::strcmp(optarg, "given") == 0) {
        o.order = read_order::given;
      } else if (std::strcmp(optarg, "sequence") == 0) {
        o.order = read_order::sequence;
      } else {
        std::fprintf(stderr, "%s: --order takes given or sequence, not '%s'\n", invocation, optarg);
        bad = true;
      }
      break;
    case opt_recursive: o.recursive = true; break;
    case opt_member_limit: {
      uint64_t bytes;
      if (!parse_size(optarg, &bytes) || bytes == 0 || bytes > (uint64_t{1} << 62)) {
        std::fprintf(stderr, "%s: --member-limit takes a size such as 64G or 500M, not '%s'\n",
                     invocation, optarg);
        bad = true;
      } else {
        o.member_limit = static_cast<int64_t>(bytes);
      }
      break;
    }
    default: return false;
  }
  return true;
}

}  // namespace jrn
