#include "fwgen/truth.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "logbuild/log_builder.h"

namespace fwgen {

namespace {

const size_t flush_at = 1 << 20;

const char* op_name(uint8_t op) {
  switch (op) {
    case logbuild::UPDATE: return "UPDATE";
    case logbuild::UPDATE_NO_DATA: return "UPDATE_NO_DATA";
    case logbuild::PUT: return "PUT";
    case logbuild::PUT_NO_DATA: return "PUT_NO_DATA";
    case logbuild::DELETE: return "DELETE";
    case logbuild::UPDATE_RANGE: return "UPDATE_RANGE";
  }
  return "?";
}

// Whether a reader knows the content after the change: the change carries
// it whole, or patches a content that is known, or leaves none.
bool known_after(uint8_t op, bool known_before) {
  switch (op) {
    case logbuild::UPDATE:
    case logbuild::PUT:
    case logbuild::DELETE: return true;
    case logbuild::UPDATE_RANGE: return known_before;
  }
  return false;
}

void hex(std::string& out, const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
}

}  // namespace

truth::truth(sink out, std::vector<uint32_t> nodes) : out_(std::move(out)), nodes_(nodes) {}

bool truth::follows(uint32_t node) const {
  return nodes_.empty() || std::find(nodes_.begin(), nodes_.end(), node) != nodes_.end();
}

void truth::existing(uint32_t node, uint32_t recno, const std::string& content) {
  if (!follows(node)) return;
  known_[key(node, recno)] = false;
  buf_ += "{\"type\":\"existing\",\"node_id\":" + std::to_string(node) +
          ",\"recno\":" + std::to_string(recno) + ",\"content\":\"";
  hex(buf_, content);
  buf_ += "\"}\n";
  more();
}

void truth::place(const char* type, const tag_place& at, uint32_t node, uint32_t recno,
                  uint32_t txn, uint32_t session) {
  char line[320];
  std::snprintf(line, sizeof line,
                "{\"type\":\"%s\",\"node_id\":%u,\"recno\":%u,\"sequence\":%u,\"timestamp\":%u,"
                "\"offset\":%llu,\"file_sequence\":%d,\"transaction_id\":%u,\"session_id\":%u",
                type, node, recno, at.sequence, at.timestamp,
                static_cast<unsigned long long>(at.offset), at.file_sequence, txn, session);
  buf_ += line;
}

void truth::content(const char* name, const image& i) {
  buf_ += ",\"";
  buf_ += name;
  buf_ += "\":";
  if (!i.exists) {
    buf_ += "null";
    return;
  }
  buf_ += '"';
  hex(buf_, i.content);
  buf_ += '"';
}

void truth::change(const tag_place& at, uint32_t node, uint32_t recno, uint8_t op, uint32_t txn,
                   uint32_t session, const std::string* before, const std::string* after) {
  if (!follows(node)) return;
  const uint64_t k = key(node, recno);
  const auto was = known_.find(k);
  image b, a;
  b.exists = before != nullptr;
  b.known = was == known_.end() || was->second;
  if (before) b.content = *before;
  a.exists = after != nullptr;
  a.known = known_after(op, b.known);
  if (after) a.content = *after;
  known_[k] = a.known;

  place("change", at, node, recno, txn, session);
  buf_ += ",\"fixrec_op\":\"";
  buf_ += op_name(op);
  buf_ += '"';
  content("content", a);
  if (!a.known) buf_ += ",\"unknown\":true";
  buf_ += "}\n";

  auto t =
      std::find_if(open_.begin(), open_.end(), [&](const open_txn& o) { return o.txn == txn; });
  if (t == open_.end()) {
    open_.push_back({txn, session, {}});
    t = open_.end() - 1;
  }
  auto r = std::find_if(t->records.begin(), t->records.end(),
                        [&](const touched& x) { return x.node == node && x.recno == recno; });
  if (r == t->records.end())
    t->records.push_back({node, recno, std::move(b), std::move(a)});
  else
    r->after = std::move(a);
  more();
}

void truth::before_image(const tag_place& at, uint32_t node, uint32_t recno, uint32_t txn,
                         uint32_t session, const std::string& data) {
  if (!follows(node)) return;
  // The image tells the record's content: from here on a reader knows it.
  known_[key(node, recno)] = true;
  place("before_image", at, node, recno, txn, session);
  buf_ += ",\"content\":\"";
  hex(buf_, data);
  buf_ += "\"}\n";
  more();
}

void truth::end(uint32_t txn) {
  auto t =
      std::find_if(open_.begin(), open_.end(), [&](const open_txn& o) { return o.txn == txn; });
  if (t == open_.end()) return;
  buf_ += "{\"type\":\"transaction\",\"transaction_id\":" + std::to_string(txn) +
          ",\"session_id\":" + std::to_string(t->session) + ",\"records\":[";
  for (size_t i = 0; i < t->records.size(); ++i) {
    const touched& r = t->records[i];
    buf_ += i ? ",{\"node_id\":" : "{\"node_id\":";
    buf_ += std::to_string(r.node) + ",\"recno\":" + std::to_string(r.recno);
    content("before", r.before);
    content("after", r.after);
    if (!r.before.known) buf_ += ",\"before_unknown\":true";
    if (!r.after.known) buf_ += ",\"after_unknown\":true";
    buf_ += '}';
  }
  buf_ += "]}\n";
  open_.erase(t);
  more();
}

void truth::more() {
  if (buf_.size() >= flush_at) flush();
}

bool truth::flush() {
  if (ok_ && !buf_.empty()) ok_ = out_(buf_);
  buf_.clear();
  return ok_;
}

}  // namespace fwgen
