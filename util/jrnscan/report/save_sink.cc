#include "report/save_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/scan.h"
#include "records/opcodes.h"
#include "report/json_sink.h"
#include "report/out.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

const char manifest_name[] = "manifest.jsonl";
// Keeps every saved name well inside the usual 255-byte limit.
constexpr size_t base_limit = 160;

// Makes dir and the directories above it that are missing.
bool make_dirs(const std::string& dir) {
  for (size_t at = 0; at <= dir.size();) {
    size_t slash = dir.find('/', at);
    if (slash == std::string::npos) slash = dir.size();
    if (slash > 0) {
      const std::string part = dir.substr(0, slash);
      if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    at = slash + 1;
  }
  return true;
}

// The log's base name as a file name start.
std::string base_of(const char* log_name) {
  if (std::strcmp(log_name, "(stdin)") == 0) return "stdin";
  const char* slash = std::strrchr(log_name, '/');
  std::string base(slash ? slash + 1 : log_name);
  if (base.size() > base_limit) base.resize(base_limit);
  for (char& ch : base) {
    const bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                       (ch >= '0' && ch <= '9') || ch == '.' || ch == '_' || ch == '-';
    if (!plain) ch = '_';
  }
  if (base.empty() || base == "." || base == "..") base = "log";
  return base;
}

// The read and write bits of the input's file, which the files saved from
// it keep; 0600 for standard input and for what is not a regular file.
mode_t mode_of(const char* name, int64_t size) {
  struct stat st;
  if (size < 0 || std::strcmp(name, "(stdin)") == 0 || stat(name, &st) != 0 || !S_ISREG(st.st_mode))
    return 0600;
  return st.st_mode & 0666;
}

// Writes all n bytes; false with errno set when a write fails.
bool write_whole(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool saves_bytes(const tag_summary& t) {
  switch (t.letter) {
    case tag_letter::page:
    case tag_letter::cluster:
    case tag_letter::before_image: return true;
    case tag_letter::rec: return t.is_record && t.opcode == op_fixrec;
    default: return false;
  }
}

}  // namespace

save_sink::~save_sink() {
  if (manifest_fd_ >= 0) ::close(manifest_fd_);
  if (dir_fd_ >= 0) ::close(dir_fd_);
}

bool save_sink::open(const std::string& dir) {
  dir_ = dir;
  // Named in messages as DIR/NAME.
  while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
  if (!make_dirs(dir) || (dir_fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0) {
    diag_.say("jrnscan: cannot make the directory %s: %s\n", dir.c_str(), std::strerror(errno));
    return false;
  }
  // Owner only until the run's end says what its inputs allow.
  umask_ = umask(0);
  umask(umask_);
  manifest_fd_ = openat(dir_fd_, manifest_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (manifest_fd_ < 0) {
    const int err = errno;
    const std::string path = dir_ + "/" + manifest_name;
    if (err == EEXIST)
      diag_.say("jrnscan: %s already exists; saved files are never overwritten\n", path.c_str());
    else
      diag_.say("jrnscan: cannot write %s: %s\n", path.c_str(), std::strerror(err));
    return false;
  }
  return true;
}

void save_sink::fail(const std::string& name, int err) {
  // What was reported goes out first (the message path flushes it); then
  // the run halts, as it does when the report itself cannot be written.
  failed_ = true;
  const std::string path = dir_ + "/" + name;
  if (err == EEXIST)
    diag_.say("jrnscan: %s already exists; saved files are never overwritten\n", path.c_str());
  else
    diag_.say("jrnscan: cannot write %s: %s\n", path.c_str(), std::strerror(err));
  diag_.halt();
}

void save_sink::begin_input(const char* name, int64_t size) {
  ++inputs_;
  logs_in_input_ = 0;
  file_mode_ = mode_of(name, size);
  inputs_mode_ &= file_mode_;
}

// The operand keeps its number, so that the names of the later ones are
// the same whether or not this one could be read.
void save_sink::input_failed(const char*) {
  ++inputs_;
  logs_in_input_ = 0;
}

void save_sink::begin_log(const char* log_name, const fwlog_header&) {
  if (inputs_ == 0) inputs_ = 1;  // a scan that did not announce its input
  ++logs_in_input_;
  prefix_ = base_of(log_name);
  prefix_ += '.';
  prefix_ += std::to_string(inputs_);
  if (logs_in_input_ > 1) {
    char nth[24];
    std::snprintf(nth, sizeof nth, ".log%06u", logs_in_input_);
    prefix_ += nth;
  }
  log_json_.assign(1, '"');
  append_json_string(log_name, std::strlen(log_name), log_json_);
  log_json_ += '"';
}

void save_sink::show_tag(const tag_summary& t) {
  tag_ = t;
  wanted_ = saves_bytes(t);
  in_images_ = false;
  image_ = -1;
  have_recno_ = have_key_ = false;
}

void save_sink::line(bool, const char*, std::initializer_list<field> fields) {
  if (!wanted_) return;
  for (const field& f : fields) {
    switch (field_of(f.id).role) {
      case field_role::record_number:
        have_recno_ = true;
        recno_ = json_number(f.id, f.num);
        break;
      case field_role::page_key:
        have_key_ = true;
        key_ = f.num;
        break;
      default: break;
    }
  }
}

void save_sink::list_begin(fid id) {
  if (wanted_ && field_of(id).role == field_role::page_images) {
    in_images_ = true;
    image_ = -1;
  }
}

void save_sink::list_item() {
  if (in_images_) ++image_;
}

void save_sink::list_end() { in_images_ = false; }

void save_sink::data(bool, fid id, const uint8_t* p, uint32_t n, uint32_t, bool) {
  if (!wanted_) return;
  switch (field_of(id).role) {
    case field_role::page_image:
      // A CLUSTER's images are saved one by one, in its list of them.
      if (tag_.letter == tag_letter::page || (in_images_ && image_ >= 0)) save("page", p, n);
      break;
    case field_role::before_image: save("before", p, n); break;
    case field_role::after_image: save("data", p, n); break;
    default: break;
  }
}

void save_sink::tag_done(const tag_summary&) { wanted_ = false; }

void save_sink::save(const char* suffix, const uint8_t* p, uint32_t n) {
  if (failed_) return;
  char name[base_limit + 96];
  int len = std::snprintf(name, sizeof name, "%s.%012lld.%u", prefix_.c_str(),
                          static_cast<long long>(tag_.offset), tag_.sequence);
  if (tag_.letter == tag_letter::cluster)
    len += std::snprintf(name + len, sizeof name - len, ".%06lld", static_cast<long long>(image_));
  std::snprintf(name + len, sizeof name - len, ".%s", suffix);
  const std::string file(name);

  const int fd = openat(dir_fd_, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, file_mode_);
  if (fd < 0) return fail(file, errno);
  int err = 0;
  if (!write_whole(fd, reinterpret_cast<const char*>(p), n)) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    // No cut file is left behind to be taken for a whole one.
    unlinkat(dir_fd_, name, 0);
    return fail(file, err);
  }
  if (write_manifest(file, n)) ++saved_;
}

// {"file", "log", "offset", "sequence", "time", "tag", "node_id", "node",
//  then "opcode" (REC), "key" (PAGE), "recno" (FIXREC, BEFORE_IMAGE),
//  "image" (CLUSTER), and "size"}.
bool save_sink::write_manifest(const std::string& file, uint32_t n) {
  std::string& s = scratch_;
  s.assign("{\"file\":\"");
  s += file;  // plain characters only
  s += "\",\"log\":";
  s += log_json_;
  char num[160];
  std::snprintf(num, sizeof num, ",\"offset\":%lld,\"sequence\":%u,\"time\":\"%s\",\"tag\":\"%s\"",
                static_cast<long long>(tag_.offset), tag_.sequence,
                format_iso_utc(tag_.timestamp).c_str(), tag_kind_of(tag_.letter).name);
  s += num;
  if (tag_.letter == tag_letter::page) {
    s += ",\"node_id\":null,\"node\":null";
  } else {
    std::snprintf(num, sizeof num,
                  ",\"node_id\":%u,\"node\":", static_cast<uint32_t>(tag_.node_id));
    s += num;
    if (names_.has(tag_.node_id)) {
      // Cut as written in JSON, so that a name of control bytes cannot
      // make a manifest line many times the size of its tag.
      s += '"';
      names_.append_display(tag_.node_id, false, text_form::json, s);
      s += '"';
    } else {
      s += "null";
    }
  }
  if (tag_.letter == tag_letter::rec) {
    s += ",\"opcode\":\"";
    s += opcode_lookup(tag_.opcode).name;
    s += '"';
  }
  if (have_key_) {
    std::snprintf(num, sizeof num, ",\"key\":%lld", static_cast<long long>(key_));
    s += num;
  }
  if (have_recno_) {
    std::snprintf(num, sizeof num, ",\"recno\":%lld", static_cast<long long>(recno_));
    s += num;
  }
  if (tag_.letter == tag_letter::cluster) {
    std::snprintf(num, sizeof num, ",\"image\":%lld", static_cast<long long>(image_));
    s += num;
  }
  std::snprintf(num, sizeof num, ",\"size\":%u}\n", n);
  s += num;
  // A line cut short by a failed write is taken back, and so is the file
  // it was for: the manifest stays whole lines, each of a file that is
  // there.
  if (!write_whole(manifest_fd_, s.data(), s.size())) {
    const int err = errno;
    if (ftruncate(manifest_fd_, manifest_size_) != 0) {
      // The cut line stays; the message says the manifest failed.
    }
    unlinkat(dir_fd_, file.c_str(), 0);
    fail(manifest_name, err);
    return false;
  }
  manifest_size_ += static_cast<int64_t>(s.size());
  return true;
}

// The manifest is as readable as every input allows (the umask applies
// as it does to a file made).
void save_sink::finish() {
  if (manifest_fd_ < 0) return;
  const int fd = manifest_fd_;
  manifest_fd_ = -1;
  const mode_t mode = inputs_mode_ & 0666 & ~umask_;
  if (fchmod(fd, mode) != 0) {
    // Left owner-only: never more readable than it should be.
  }
  if (::close(fd) != 0) fail(manifest_name, errno);
}

}  // namespace jrn
