#include "cli/inputs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <tuple>
#include <utility>

#include "scan/escape.h"

namespace jrn {

namespace {

// Files a run takes at most; a tree of more is cut there, said once.
constexpr size_t max_units = size_t{1} << 20;

// The bytes looked at to place a log: its file header and first tag
// header fit in them with room to spare.
constexpr size_t peek_bytes = 64;

struct planner {
  const run_options& o;
  input_plan& plan;
  std::set<std::pair<dev_t, ino_t>> directories;  // read or being read
  bool cut = false;

  input_unit& add(const std::string& path) {
    plan.units.emplace_back();
    input_unit& u = plan.units.back();
    u.path = path;
    u.shown = shown_file_name(o, path.c_str());
    u.given = plan.units.size() - 1;
    return u;
  }

  bool full() {
    if (plan.units.size() < max_units) return false;
    if (!cut) {
      cut = true;
      input_unit& u = add(plan.units.back().path);
      u.trouble = "more than " + std::to_string(max_units) + " files; the rest are not read";
    }
    return true;
  }

  // Adds the files of a directory, in the byte order of their names, and
  // with --recursive those of its subdirectories where they stand.
  void add_directory(const std::string& dir, const struct stat& st) {
    if (!directories.emplace(st.st_dev, st.st_ino).second) {
      add(dir).trouble = "is a directory read before (a link leads back to it); not read again";
      return;
    }
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
      add(dir).error = errno;
      return;
    }
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      names.emplace_back(e->d_name);
      errno = 0;
    }
    const int listing_error = errno;
    closedir(d);
    std::sort(names.begin(), names.end());
    const std::string prefix = dir.back() == '/' ? dir : dir + "/";
    for (const std::string& name : names) {
      if (full()) return;
      const std::string path = prefix + name;
      struct stat entry;
      if (::stat(path.c_str(), &entry) != 0) {
        add(path).error = errno;
        continue;
      }
      if (S_ISDIR(entry.st_mode)) {
        if (o.recursive) add_directory(path, entry);
        continue;
      }
      if (!S_ISREG(entry.st_mode)) {
        add(path).trouble = "is not a regular file; not read";
        continue;
      }
      add(path).size = static_cast<int64_t>(entry.st_size);
    }
    if (listing_error != 0) add(dir).error = listing_error;
  }

  void add_operand(const char* operand) {
    if (full()) return;
    if (std::strcmp(operand, "-") == 0) {
      add(operand);
      return;
    }
    struct stat st;
    const bool have_stat = ::stat(operand, &st) == 0;
    if (have_stat && S_ISDIR(st.st_mode)) {
      plan.has_directory = true;
      const size_t before = plan.units.size();
      add_directory(operand, st);
      if (plan.units.size() == before) add(operand).trouble = "is a directory without files";
      return;
    }
    // Opening it says what is wrong with it, at its turn.
    input_unit& u = add(operand);
    if (have_stat && S_ISREG(st.st_mode)) u.size = static_cast<int64_t>(st.st_size);
  }
};

// The first bytes of a file that tell whether it is a log: its signature.
bool starts_as_log(const uint8_t* p, size_t n) { return n >= 4 && std::memcmp(p, "DRAV", 4) == 0; }

// Looks into a file: what it holds, where its first log belongs, and for
// a plain file how its last log ends. A regular file is read with pread,
// which leaves it as it was, and closed again; standard input, a pipe or
// a device cannot be read twice and is kept open as it was looked into,
// its first bytes held for its reader.
// A file that cannot be opened keeps its errno for its turn.
void peek_unit(input_unit& u, const input_options& reading) {
  const bool is_stdin = u.path == "-";
  const int fd = is_stdin ? 0 : ::open(u.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    u.error = errno;
    return;
  }
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!regular && !is_stdin && S_ISDIR(st.st_mode)) {
    u.error = EISDIR;
    ::close(fd);
    return;
  }
  // Standard input is never closed and opened again, whatever it is.
  if (!regular || is_stdin) {
    u.held = input_operand::open(fd, u.shown, reading);
    if (!is_stdin) u.held_fd = owned_fd(fd);
    u.archive = u.held->compression() != nullptr || u.held->kind() == input_kind::tar;
    // Its log goes where its header puts it, as a file's does (a tar's
    // members cannot be looked into ahead of their turn).
    const std::vector<uint8_t> first = u.held->first_bytes(peek_bytes);
    u.key = peek_log(first.data(), std::min(first.size(), peek_bytes));
    return;
  }
  u.peeked = true;
  uint8_t head[peek_bytes];
  const ssize_t n = pread(fd, head, sizeof head, 0);
  if (n > 0 && starts_as_log(head, static_cast<size_t>(n))) {
    u.key = peek_log(head, static_cast<size_t>(n));
    if (u.key.is_log && u.size >= u.key.header_bytes + int64_t{tag_header_bytes}) {
      uint8_t last[tag_header_bytes];
      if (pread(fd, last, sizeof last, u.size - static_cast<off_t>(sizeof last)) ==
          static_cast<ssize_t>(sizeof last))
        u.end = peek_end_tag(last, u.key.minor);
    }
  } else if (n > 0) {
    // Compressed, a tar, or no log: its first member's first bytes tell.
    input_options once = reading;
    once.read_ahead.threaded = false;
    once.read_ahead.block_bytes = 64 << 10;
    std::unique_ptr<input_operand> in = input_operand::open(fd, u.shown, once);
    const bool has_member = in->next();
    u.tar = in->kind() == input_kind::tar;
    u.archive = in->compression() != nullptr || u.tar;
    if (has_member) {
      const size_t got = in->source().read(head, sizeof head);
      u.key = peek_log(head, got);
    }
  }
  ::close(fd);
}

}  // namespace

void owned_fd::reset() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string shown_file_name(const run_options& o, const char* path) {
  if (std::strcmp(path, "-") == 0) return "(stdin)";
  std::string name;
  if (escapes_for(o.escape, 2) || (!o.json && escapes_for(o.escape, 1)))
    append_escaped_file_name(path, std::strlen(path), name);
  else
    name = path;
  return name;
}

input_options reading_options(const run_options& o) {
  input_options in;
  in.max_member_size = o.member_limit;
  return in;
}

input_plan plan_inputs(const run_options& o) {
  input_plan plan;
  planner p{o, plan, {}, false};
  for (const char* operand : o.operands) p.add_operand(operand);
  if (o.order == read_order::given && !plan.has_directory) return plan;
  const input_options reading = reading_options(o);
  for (input_unit& u : plan.units)
    if (u.error == 0 && u.trouble.empty()) peek_unit(u, reading);
  return plan;
}

read_order order_inputs(input_plan& plan, read_order wanted) {
  read_order order = wanted;
  if (order == read_order::automatic) {
    order = plan.has_directory ? read_order::sequence : read_order::given;
    for (const input_unit& u : plan.units)
      if (u.archive) order = read_order::sequence;
  }
  if (order != read_order::sequence) return order;
  std::stable_sort(plan.units.begin(), plan.units.end(),
                   [](const input_unit& a, const input_unit& b) {
                     if (a.key.is_log != b.key.is_log) return !a.key.is_log;
                     if (!a.key.is_log) return false;
                     if (a.key.volume_set_id != b.key.volume_set_id)
                       return a.key.volume_set_id < b.key.volume_set_id;
                     if (a.key.volume_generation != b.key.volume_generation)
                       return a.key.volume_generation < b.key.volume_generation;
                     return a.key.file_sequence < b.key.file_sequence;
                   });
  return order;
}

bool unit_time_range(const input_plan& plan, size_t i, uint32_t* first, uint32_t* last,
                     bool* last_known) {
  const input_unit& u = plan.units[i];
  if (u.tar || !u.key.is_log || !u.key.has_first_tag) return false;
  *first = u.key.first_timestamp;
  *last_known = false;
  if (u.end.is_end) {
    *last = u.end.timestamp;
    *last_known = true;
    return true;
  }
  // A compressed file's end is not read ahead of its turn: the next file
  // of the series began after it ended.
  if (i + 1 < plan.units.size()) {
    const log_peek& next = plan.units[i + 1].key;
    if (next.is_log && next.has_first_tag && next.volume_set_id == u.key.volume_set_id &&
        next.volume_generation == u.key.volume_generation &&
        next.file_sequence > u.key.file_sequence) {
      *last = next.first_timestamp;
      *last_known = true;
    }
  }
  return true;
}

bool first_logs_unique(const input_plan& plan) {
  std::set<std::tuple<uint32_t, uint32_t, int32_t>> keys;
  for (const input_unit& u : plan.units) {
    if (u.error != 0 || !u.trouble.empty()) continue;  // not read
    if (!u.peeked || u.tar || u.path == "-") return false;
    if (!u.key.is_log) continue;  // its header is refused: no log is read from it
    if (!keys.emplace(u.key.volume_set_id, u.key.volume_generation, u.key.file_sequence).second)
      return false;
  }
  return true;
}

}  // namespace jrn
