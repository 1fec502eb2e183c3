#include "report/save_sink.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "log/scan.h"
#include "records/opcodes.h"
#include "report/json_sink.h"
#include "report/json_writer.h"
#include "report/out.h"
#include "scan/catalogue.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

// Keeps every saved name well inside the usual 255-byte limit.
constexpr size_t base_limit = 160;

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

bool save_sink::open(const std::string& dir) {
  // The manifest is owner-only until the run's end says what its inputs
  // allow, less the umask.
  umask_ = umask(0);
  umask(umask_);
  return files_.open(dir);
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
  if (files_.failed()) return;
  char name[base_limit + 96];
  int len = std::snprintf(name, sizeof name, "%s.%012lld.%u", prefix_.c_str(),
                          static_cast<long long>(tag_.offset), tag_.sequence);
  if (tag_.letter == tag_letter::cluster)
    len += std::snprintf(name + len, sizeof name - len, ".%06lld", static_cast<long long>(image_));
  std::snprintf(name + len, sizeof name - len, ".%s", suffix);
  const std::string file(name);
  if (files_.write(file, p, n, file_mode_) && write_manifest(file, n)) ++saved_;
}

// {"file", "log", "offset", "sequence", "time", "tag", "node_id", "node",
//  then "opcode" (REC), "key" (PAGE), "recno" (FIXREC, BEFORE_IMAGE),
//  "image" (CLUSTER), and "size"}.
bool save_sink::write_manifest(const std::string& file, uint32_t n) {
  static constexpr json_key k_file("file"), k_log("log"), k_offset("offset"),
      k_sequence("sequence"), k_time("time"), k_tag("tag"), k_node_id(field_key(fid::node_id)),
      k_node(field_of(fid::node_id).name_key), k_opcode("opcode"), k_key("key"),
      k_recno(field_key(fid::recno)), k_image("image"), k_size("size");
  json_writer w(manifest_out_);
  w.begin_object();
  w.ascii(k_file, file.c_str());  // plain characters only
  w.raw(k_log, log_json_.data(), log_json_.size());
  w.i64(k_offset, tag_.offset);
  w.u64(k_sequence, tag_.sequence);
  w.iso_time(k_time, tag_.timestamp);
  w.ascii(k_tag, tag_kind_of(tag_.letter).name);
  if (tag_.letter == tag_letter::page) {
    w.null(k_node_id);
    w.null(k_node);
  } else {
    w.u64(k_node_id, static_cast<uint32_t>(tag_.node_id));
    if (names_.has(tag_.node_id)) {
      // Cut as written in JSON, so that a name of control bytes cannot
      // make a manifest line many times the size of its tag.
      std::string name(1, '"');
      names_.append_display(tag_.node_id, false, text_form::json, name);
      name += '"';
      w.raw(k_node, name.data(), name.size());
    } else {
      w.null(k_node);
    }
  }
  if (tag_.letter == tag_letter::rec) w.ascii(k_opcode, opcode_lookup(tag_.opcode).name);
  if (have_key_) w.i64(k_key, key_);
  if (have_recno_) w.i64(k_recno, recno_);
  if (tag_.letter == tag_letter::cluster) w.i64(k_image, image_);
  w.u64(k_size, n);
  w.end_object();
  manifest_out_.flush();
  const bool ok = files_.manifest(manifest_line_, file);
  manifest_line_.clear();
  return ok;
}

// The manifest is as readable as every input allows (the umask applies
// as it does to a file made).
void save_sink::finish() { files_.close(inputs_mode_ & 0666 & ~umask_); }

}  // namespace jrn
