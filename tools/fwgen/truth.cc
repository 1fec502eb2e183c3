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

void truth::set_series(uint32_t volume_set, uint32_t generation) {
  series_ = ",\"volume_set\":" + std::to_string(volume_set) +
            ",\"generation\":" + std::to_string(generation);
}

// The start of a line: its type and series.
void truth::type(const char* t) {
  buf_ += "{\"type\":\"";
  buf_ += t;
  buf_ += '"';
  buf_ += series_;
}

bool truth::dropped(const tag_place& at, uint32_t node, uint32_t recno) {
  if (drop_ == 0 || at.file_sequence < drop_) return false;
  if (!in_drop_ && !drop_said_) {
    // A reader of the rest cannot know what changed in the dropped log.
    in_drop_ = true;
    for (auto& k : known_) k.second = false;
  }
  if (at.file_sequence > drop_) {
    say_dropped();
    return false;
  }
  const uint64_t k = key(node, recno);
  known_[k] = false;
  if (std::find(drop_records_.begin(), drop_records_.end(), k) == drop_records_.end())
    drop_records_.push_back(k);
  return true;
}

void truth::say_dropped() {
  if (drop_said_ || !in_drop_) return;
  drop_said_ = true;
  in_drop_ = false;
  type("dropped");
  buf_ += ",\"file_sequence\":" + std::to_string(drop_) + ",\"records\":[";
  for (size_t i = 0; i < drop_records_.size(); ++i)
    buf_ += (i ? ",{\"node_id\":" : "{\"node_id\":") + std::to_string(drop_records_[i] >> 32) +
            ",\"recno\":" + std::to_string(drop_records_[i] & 0xffffffffu) + "}";
  buf_ += "]}\n";
}

void truth::existing(uint32_t node, uint32_t recno, const std::string& content) {
  if (!follows(node)) return;
  known_[key(node, recno)] = false;
  type("existing");
  buf_ += ",\"node_id\":" + std::to_string(node) + ",\"recno\":" + std::to_string(recno) +
          ",\"content\":\"";
  hex(buf_, content);
  buf_ += "\"}\n";
  more();
}

void truth::place(const char* type, const tag_place& at, uint32_t node, uint32_t recno,
                  uint32_t txn, uint32_t session) {
  char line[320];
  this->type(type);
  std::snprintf(line, sizeof line,
                ",\"node_id\":%u,\"recno\":%u,\"sequence\":%u,\"timestamp\":%u,"
                "\"offset\":%llu,\"file_sequence\":%d,\"transaction_id\":%u,\"session_id\":%u",
                node, recno, at.sequence, at.timestamp, static_cast<unsigned long long>(at.offset),
                at.file_sequence, txn, session);
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
  if (!follows(node) || dropped(at, node, recno)) return;
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
  if (!follows(node) || dropped(at, node, recno)) return;
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
  if (in_drop_) {
    // Ended in the dropped log: the reader never sees it whole.
    open_.erase(t);
    return;
  }
  type("transaction");
  buf_ += ",\"transaction_id\":" + std::to_string(txn) +
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
  if (buf_.size() >= flush_at) hand_over();
}

bool truth::hand_over() {
  if (ok_ && !buf_.empty()) ok_ = out_(buf_);
  buf_.clear();
  return ok_;
}

bool truth::flush() {
  // Called as each log ends: the dropped log's effect is said behind it.
  say_dropped();
  return hand_over();
}

}  // namespace fwgen
