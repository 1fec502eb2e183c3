// -f: a file is read as it grows; a directory is followed from file to
// file as the server switches files, each file's header telling where its
// log belongs (series and file sequence).
#include "cli/follow.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "cli/inputs.h"
#include "io/follow_source.h"
#include "log/scan.h"
#include "scan/context.h"
#include "scan/format.h"
#include "scan/log_peek.h"

namespace jrn {

namespace {

// How often a directory is listed again while a file is waited for.
constexpr int listing_interval_ms = 250;
// How long a followed file whose log ended with EOF_CONT is waited on for a
// further log in the same file. The server goes on in another file and
// never writes to this one again; a writer that appends a further log to
// the same file does so right behind the end tag.
constexpr int64_t further_log_wait_ms = 1000;
// The bytes of a file's start that tell its series and file sequence (a
// file header takes at most 36).
constexpr size_t peek_bytes = 64;

int64_t monotonic_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Where a log belongs: its series and its place in it.
struct log_key {
  uint32_t volume_set_id = 0;
  uint32_t volume_generation = 0;
  int64_t file_sequence = 0;
};

bool same_series(const log_key& a, const log_key& b) {
  return a.volume_set_id == b.volume_set_id && a.volume_generation == b.volume_generation;
}

// The key of the log whose header starts at offset of fd; false when no
// log header is there.
bool key_at(int fd, int64_t offset, log_key* key, size_t* got = nullptr) {
  uint8_t buf[peek_bytes];
  const ssize_t n = pread(fd, buf, sizeof buf, offset);
  if (got) *got = n > 0 ? static_cast<size_t>(n) : 0;
  if (n <= 0) return false;
  const log_peek k = peek_log(buf, static_cast<size_t>(n));
  if (!k.is_log) return false;
  key->volume_set_id = k.volume_set_id;
  key->volume_generation = k.volume_generation;
  key->file_sequence = k.file_sequence;
  return true;
}

// The files of a directory, each looked into once for the key of its
// first log (again when it was replaced, and while it is too short to
// tell).
class log_dir {
 public:
  // path: to open; prefix: put in front of a file's name to name it.
  log_dir(std::string path, std::string prefix)
      : path_(std::move(path)), prefix_(std::move(prefix)) {}

  // Lists the directory again and looks into the files not seen before;
  // false with errno set when it cannot be read.
  bool refresh() {
    DIR* d = opendir(path_.c_str());
    if (d == nullptr) return false;
    std::map<std::string, entry> now;
    errno = 0;
    while (struct dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") {
        errno = 0;
        continue;
      }
      entry f;
      const auto seen = files_.find(name);
      if (seen != files_.end() && seen->second.ino == e->d_ino && seen->second.settled)
        f = seen->second;
      else
        f = look_into(dirfd(d), name, e->d_ino);
      if (f.ino != 0) now.emplace(name, f);
      errno = 0;
    }
    const int listing_error = errno;
    closedir(d);
    files_.swap(now);
    errno = listing_error;
    return listing_error == 0;
  }

  // The file to follow first: in the series of the most recently modified
  // log, the one with the highest file sequence. Empty without a log.
  std::string newest() const {
    const std::pair<const std::string, entry>* latest = nullptr;
    for (const auto& f : files_)
      if (f.second.is_log && (!latest || f.second.mtime_ns >= latest->second.mtime_ns)) latest = &f;
    if (!latest) return std::string();
    const std::pair<const std::string, entry>* best = latest;
    for (const auto& f : files_)
      if (f.second.is_log && same_series(f.second.key, latest->second.key) &&
          f.second.key.file_sequence > best->second.key.file_sequence)
        best = &f;
    return best->first;
  }

  // The first file (in name order) whose log has this key; empty if none.
  std::string find(const log_key& k) const {
    for (const auto& f : files_)
      if (f.second.is_log && same_series(f.second.key, k) &&
          f.second.key.file_sequence == k.file_sequence)
        return f.first;
    return std::string();
  }

  std::string path_of(const std::string& name) const { return prefix_ + name; }

 private:
  struct entry {
    ino_t ino = 0;  // 0: not listed
    bool is_log = false;
    // Not looked into again: a log, long enough to tell it is none, or not
    // a regular file.
    bool settled = false;
    int64_t mtime_ns = 0;
    log_key key;
  };

  // Looks into a file of the directory (its entry's inode number is
  // d_ino); an entry with ino 0 is left out of the listing (it could not be
  // looked into; it is tried again on the next listing).
  static entry look_into(int dfd, const std::string& name, ino_t d_ino) {
    entry f;
    struct stat st;
    if (fstatat(dfd, name.c_str(), &st, 0) != 0) return f;
    f.ino = d_ino != 0 ? d_ino : st.st_ino;
    f.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // Only regular files are opened (a device or a FIFO is not touched).
    f.settled = true;
    if (!S_ISREG(st.st_mode)) return f;
    const int fd = openat(dfd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      f.ino = 0;
      return f;
    }
    size_t got = 0;
    f.is_log = key_at(fd, 0, &f.key, &got);
    ::close(fd);
    // A header that is still being written is looked at again.
    f.settled = f.is_log || got >= peek_bytes;
    return f;
  }

  std::string path_;
  std::string prefix_;
  std::map<std::string, entry> files_;
};

// The wait at an end tag of a followed file, while the file has not grown.
struct end_wait {
  scan_context* c = nullptr;
  int fd = -1;
  log_dir* dir = nullptr;  // where the file that continues the log would be
  // -f DIR: the wait for a further log in the same file lasts until the
  // next file is in the directory; otherwise further_log_wait_ms at most.
  bool until_next_file = false;
  int64_t tag_offset = -1;  // the end tag waited at
  int64_t deadline_ms = 0;
  int64_t listed_ms = 0;
  bool has_next = false;
  log_key next;
};

// The log a file's log continues in: the next file sequence of its series.
bool next_of(int fd, int64_t log_start, log_key* next) {
  if (!key_at(fd, log_start, next) || next->file_sequence < 0) return false;
  ++next->file_sequence;
  return true;
}

bool keep_waiting(void* ctx) {
  end_wait& w = *static_cast<end_wait*>(ctx);
  // EOF_FINISH ends the series: nothing follows it.
  if (w.c->tag.letter != tag_letter::eof_cont) return false;
  const int64_t now = monotonic_ms();
  if (w.tag_offset != w.c->tag.offset) {
    w.tag_offset = w.c->tag.offset;
    w.deadline_ms = now + further_log_wait_ms;
    w.listed_ms = now - listing_interval_ms;
    w.has_next = next_of(w.fd, w.c->log_start, &w.next);
  }
  if ((!w.until_next_file || !w.has_next) && now >= w.deadline_ms) return false;
  // Once the next file is there, this one gets nothing more.
  if (w.has_next && now - w.listed_ms >= listing_interval_ms) {
    w.listed_ms = now;
    if (w.dir->refresh() && !w.dir->find(w.next).empty()) return false;
  }
  return true;
}

// How following one file ended.
struct followed {
  int status = 0;
  bool continues = false;  // its last log ended with EOF_CONT; next is where it goes on
  log_key next;
};

// Follows the file (or standard input) at path, shown as name; the wait
// at an EOF_CONT end tag looks for the next file in dir.
followed follow_file(scan_context& c, const char* path, const char* name, log_dir& dir,
                     bool until_next_file) {
  followed r;
  const bool is_stdin = std::strcmp(path, "-") == 0;
  const int fd = is_stdin ? 0 : ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    c.diag.perror(name);
    c.out.input_failed(name);
    r.status = 1;
    return r;
  }
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  c.out.begin_input(name, regular ? static_cast<int64_t>(st.st_size) : -1);
  follow_source in(fd, is_stdin ? nullptr : path);
  end_wait w;
  w.c = &c;
  w.fd = fd;
  w.dir = &dir;
  w.until_next_file = until_next_file;
  if (regular) in.on_caught_up(keep_waiting, &w);
  r.status = scan_input(c, in, name);
  // After the scan the current tag is the one the input ended at.
  r.continues = regular && r.status == 0 && !c.stop && !c.diag.halted() && !in.stopped() &&
                c.tag.letter == tag_letter::eof_cont && next_of(fd, c.log_start, &r.next);
  if (!is_stdin) ::close(fd);
  return r;
}

// Waits a listing interval; false when a stop was asked for (the run ends).
bool wait_to_list(scan_context& c, bool* told) {
  if (!*told) {
    c.out.flush();
    *told = true;
  }
  if (!stop_signalled() && !c.diag.halted()) nap_ms(listing_interval_ms);
  if (stop_signalled()) c.stop = true;
  return !c.stop && !c.diag.halted();
}

int follow_directory(scan_context& c, const run_options& o, const char* operand, const char* name,
                     std::deque<std::string>& names) {
  std::string prefix = operand;
  if (prefix.back() != '/') prefix += '/';
  log_dir dir(operand, prefix);
  std::string file;
  // A directory without a log yet: the first one is waited for.
  bool told = false;
  for (;;) {
    if (!dir.refresh()) {
      c.diag.perror(name);
      c.out.input_failed(name);
      return 1;
    }
    file = dir.newest();
    if (!file.empty()) break;
    if (!wait_to_list(c, &told)) return 0;
  }
  for (;;) {
    names.push_back(shown_file_name(o, dir.path_of(file).c_str()));
    const followed r = follow_file(c, dir.path_of(file).c_str(), names.back().c_str(), dir, true);
    if (!r.continues) return r.status;
    // The server goes on in the next file of the series once it has
    // created it.
    told = false;
    for (;;) {
      file = dir.find(r.next);
      if (!file.empty()) break;
      if (!wait_to_list(c, &told)) return r.status;
      if (!dir.refresh()) {
        c.diag.perror(name);
        return 1;
      }
    }
  }
}

}  // namespace

int follow_operand(scan_context& c, const run_options& o, const char* operand, const char* name,
                   std::deque<std::string>& names) {
  struct stat st;
  if (std::strcmp(operand, "-") != 0 && ::stat(operand, &st) == 0 && S_ISDIR(st.st_mode))
    return follow_directory(c, o, operand, name, names);
  // The directory a file's continuation would be in, as the operand names it.
  const char* slash = std::strrchr(operand, '/');
  const std::string prefix = slash ? std::string(operand, slash + 1) : std::string();
  log_dir dir(prefix.empty() ? "." : prefix, prefix);
  const followed r = follow_file(c, operand, name, dir, false);
  if (r.continues) {
    const std::string next = dir.refresh() ? dir.find(r.next) : std::string();
    std::string where;
    if (!next.empty()) {
      where = shown_file_name(o, dir.path_of(next).c_str());
    } else {
      std::string shown_dir = prefix.empty() ? "." : prefix;
      if (shown_dir.size() > 1) shown_dir.pop_back();
      where = "not in " + shown_file_name(o, shown_dir.c_str());
    }
    c.diag.message(
        "%s: the log continues in file sequence %lld of volume set 0x%x generation %u: %s\n", name,
        static_cast<long long>(r.next.file_sequence), r.next.volume_set_id,
        r.next.volume_generation, where.c_str());
  }
  return r.status;
}

}  // namespace jrn
