#include "logbuild/log_builder.h"

#include <cstdlib>

namespace logbuild {

namespace {

// Minor number of a version text as the reader parses it; -1 if invalid.
int minor_of(const std::string& version) {
  std::string v = version.substr(0, 6);
  size_t dot = v.find('.');
  if (dot == std::string::npos) return -1;
  return std::atoi(v.c_str() + dot + 1);
}

}  // namespace

std::string header_bytes(const header_fields& h) {
  bytes b;
  std::string sig = h.signature;
  sig.resize(10, ' ');
  b.raw(sig);
  std::string ver = h.version;
  ver.resize(6, '\0');
  b.raw(ver);
  if (minor_of(h.version) >= 1) b.u16(h.byte_order).u16(h.charset).u32(h.release);
  b.u32(h.volume_set_id).u32(h.volume_generation).i32(h.file_sequence);
  return b.str();
}

log_builder::log_builder(const std::string& version) {
  header_fields h;
  h.version = version;
  begin_log(h);
}

log_builder::log_builder(const header_fields& h) { begin_log(h); }

void log_builder::begin_log(const header_fields& h) {
  log_start_ = written_ + out_.size();
  out_ += header_bytes(h);
  old_layout_ = minor_of(h.version) < 1;
  short_records_ = old_layout_;
}

log_builder& log_builder::next_log(const header_fields& h) {
  begin_log(h);
  return *this;
}

log_builder& log_builder::at(uint32_t seq, uint32_t timestamp) {
  seq_ = seq;
  ts_ = timestamp;
  return *this;
}

log_builder& log_builder::tag(char letter) {
  bytes b;
  if (!old_layout_) b.u8(static_cast<uint8_t>(letter));
  b.u32(seq_).u32(ts_);
  if (old_layout_) b.u8(static_cast<uint8_t>(letter));
  out_ += b.str();
  ++seq_;
  ++ts_;
  return *this;
}

log_builder& log_builder::raw(const std::string& b) {
  out_ += b;
  return *this;
}

log_builder& log_builder::image(uint8_t opcode, uint32_t txn, uint32_t node,
                                const std::string& payload, uint8_t state, uint32_t session,
                                int size_field) {
  tag('1');
  bytes b;
  b.u8(opcode).u8(state);
  b.u16(static_cast<uint16_t>(size_field >= 0 ? size_field : static_cast<int>(payload.size())));
  b.u32(node).u32(txn);
  if (!short_records_) b.u32(session);
  out_ += b.str();
  out_ += payload;
  return *this;
}

log_builder& log_builder::fixrec(uint8_t op, uint32_t txn, uint32_t node, uint32_t recno,
                                 const std::string& data, uint8_t state, uint32_t session) {
  return image(OP_FIXREC, txn, node, fixrec_payload(recno, op, data), state, session);
}

log_builder& log_builder::slave_sync(uint32_t vol_gen, uint32_t log_gen, uint32_t log_seq,
                                     uint32_t tag_seq) {
  tag('S');
  out_ += bytes().u32(vol_gen).u32(log_gen).u32(log_seq).u32(tag_seq).str();
  return *this;
}

log_builder& log_builder::page(const std::string& image) {
  tag('2');
  std::string p = image;
  p.resize(8192, '\0');
  out_ += p;
  return *this;
}

log_builder& log_builder::cluster_header(int32_t node, int32_t start_page, int32_t count) {
  tag('3');
  out_ += bytes().i32(node).i32(start_page).i32(count).str();
  return *this;
}

log_builder& log_builder::cluster(int32_t node, int32_t start_page,
                                  const std::vector<std::string>& pages) {
  cluster_header(node, start_page, static_cast<int32_t>(pages.size()));
  for (std::string p : pages) {
    p.resize(8192, '\0');
    out_ += p;
  }
  return *this;
}

log_builder& log_builder::nodemeta(int32_t node, const std::string& meta, int64_t size_field) {
  tag('4');
  out_ += bytes()
              .i32(node)
              .u32(static_cast<uint32_t>(size_field >= 0 ? size_field
                                                         : static_cast<int64_t>(meta.size())))
              .str();
  out_ += meta;
  return *this;
}

log_builder& log_builder::before_image(uint32_t txn, uint32_t session, int32_t node, uint32_t recno,
                                       uint8_t op, const std::string& data, int size_field) {
  tag('5');
  bytes b;
  b.u32(txn).u32(session).i32(node).u32(recno).u8(op).u8(0);
  b.u16(static_cast<uint16_t>(size_field >= 0 ? size_field : static_cast<int>(data.size())));
  out_ += b.str();
  out_ += data;
  return *this;
}

log_builder& log_builder::audit(uint32_t session, uint8_t type, const std::string& body,
                                int size_field) {
  tag('6');
  bytes b;
  b.u32(session).u8(type).u8(0);
  b.u16(static_cast<uint16_t>(size_field >= 0 ? size_field : static_cast<int>(body.size())));
  out_ += b.str();
  out_ += body;
  return *this;
}

log_builder& log_builder::memo(uint32_t session, int32_t mode, const std::string& data) {
  return audit(session, MEMO, bytes().i32(mode).raw(data).str());
}

log_builder& log_builder::sign_on(uint32_t session, const std::vector<std::string>& entries) {
  bytes b;
  b.u16(static_cast<uint16_t>(entries.size()));
  for (const std::string& e : entries) b.u16(static_cast<uint16_t>(e.size())).raw(e);
  return audit(session, SIGN_ON, b.str());
}

log_builder& log_builder::sign_off(uint32_t session) { return audit(session, SIGN_OFF, ""); }

log_builder& log_builder::dblist(uint32_t session, uint8_t type,
                                 const std::vector<std::pair<int32_t, int32_t>>& e) {
  bytes b;
  for (const auto& entry : e) b.i32(entry.first).i32(entry.second);
  return audit(session, type, b.str());
}

log_builder& log_builder::context(uint32_t node, uint8_t type, const std::string& body,
                                  int size_field) {
  tag('7');
  bytes b;
  b.u32(node).u8(type).u8(0);
  b.u16(static_cast<uint16_t>(size_field >= 0 ? size_field : static_cast<int>(body.size())));
  out_ += b.str();
  out_ += body;
  return *this;
}

log_builder& log_builder::context_db(uint32_t node, const std::string& name) {
  return context(node, CTX_DB, name);
}

log_builder& log_builder::context_set(uint32_t node, uint32_t db_node, const std::string& name) {
  return context(node, CTX_SET, bytes().u32(db_node).raw(name).str());
}

log_builder& log_builder::context_index(uint32_t node, uint32_t set_node, const std::string& name) {
  return context(node, CTX_INDEX, bytes().u32(set_node).raw(name).str());
}

log_builder& log_builder::context_set_items(uint32_t node, uint32_t db_node,
                                            const std::string& name,
                                            const std::vector<set_item>& items) {
  bytes b;
  b.u32(db_node).u8(static_cast<uint8_t>(name.size())).raw(name);
  for (const set_item& it : items) {
    b.u8(static_cast<uint8_t>(it.name.size())).raw(it.name);
    b.u8(static_cast<uint8_t>(it.type)).u16(it.count).u16(it.size).u32(it.fmt);
  }
  return context(node, CTX_SET_ITEMS, b.str());
}

log_builder& log_builder::end(char letter) { return tag(letter); }

std::string log_builder::take() {
  std::string done;
  done.swap(out_);
  written_ += done.size();
  return done;
}

std::string fixrec_payload(uint32_t recno, uint8_t op, const std::string& data,
                           uint32_t prev_cluster, uint16_t prev_offset, uint16_t prev_size,
                           uint32_t start_page) {
  return bytes()
      .u32(prev_cluster)
      .u16(prev_offset)
      .u16(prev_size)
      .u32(recno)
      .u32(start_page)
      .u8(op)
      .raw(data)
      .str();
}

std::string page_image(uint8_t seed) {
  std::string p(8192, '\0');
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<char>((i * 7 + seed) & 0xff);
  return p;
}

}  // namespace logbuild
