// The history as text: for each change a head line under the node, the
// contents before and after and what changed (by item when the node's
// items fit); for a gap where the content became unknown; with --as-of the
// content at that moment; at the end each record's count and last content.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "report/hexdump.h"
#include "report/history_sink.h"
#include "report/record_text.h"
#include "scan/escape.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

// A recno as the report prints it (signed), for record numbers of 2^31
// and more.
int32_t as_printed(uint32_t recno) { return static_cast<int32_t>(recno); }

class history_text : public history_renderer {
 public:
  explicit history_text(const history_context& c) : c_(c) {}

  void change(const followed_record& r, const tag_summary& t, const record_event& e,
              const record_step& s, const change_view& v) override;
  void gap(const followed_record& r, const tag_summary* t, int64_t offset, const std::string& why,
           const std::vector<image_note>& notes) override;
  void as_of(const followed_record& r) override;
  void summary(followed_record& r) override;
  void mark_cut() override {
    l_.clear();
    cut_line(c_.diag, l_);
    c_.out.write(l_.data(), l_.size());
  }

 private:
  bool verbose() const { return c_.filter.detail_level >= 1; }
  size_t most() const { return verbose() ? SIZE_MAX : 48; }
  std::string& begin_text(int32_t node_id);
  void item_label(const history_item& it);
  std::string describe(const record_content& c, bool other_known, const std::string& unknown_why,
                       const change_view& v) const;
  void change_items(const record_step& s, const change_view& v);
  void side_items(const record_step& s, const change_view& v);

  history_context c_;
  std::vector<image_note> notes_;
  std::string l_;  // the entry being built
};

// Starts an entry: a blank line, then the node.
std::string& history_text::begin_text(int32_t node_id) {
  l_.assign("\n");
  c_.names.append_display(node_id, true, c_.opt.escape ? text_form::terminal : text_form::raw, l_);
  return l_;
}

// "  item NAME: ", the name escaped for a terminal when asked.
void history_text::item_label(const history_item& it) {
  l_ += "  item ";
  if (c_.opt.escape)
    append_escaped(it.name.data(), it.name.size(), l_);
  else
    l_ += it.name;
  l_ += ": ";
}

// A content as the before and after lines give it.
std::string history_text::describe(const record_content& c, bool other_known,
                                   const std::string& unknown_why, const change_view& v) const {
  std::string d;
  if (c.is_known()) {
    char n[32];
    std::snprintf(n, sizeof n, "%zu bytes", c.bytes.size());
    d = n;
    if (!other_known && !c.bytes.empty() && !v.side_items) {
      d += ' ';
      append_value(c.bytes.data(), c.bytes.size(), c_.records.charset(), most(), d);
    }
  } else if (c.state == record_content::absent) {
    d = "none (the record does not exist)";
  } else {
    d = "unknown";
    if (!unknown_why.empty()) d += " (" + unknown_why + ")";
  }
  return d;
}

// What changed: by item when the items fit, else by range of bytes.
void history_text::change_items(const record_step& s, const change_view& v) {
  const uint16_t cs = c_.records.charset();
  if (v.items) {
    size_t next = 0;
    for (const history_item& it : v.items->items) {
      if (!v.item_changed(s, next, it)) continue;
      item_label(it);
      append_value(s.before.bytes.data() + it.offset, it.length, cs, most(), l_);
      l_ += " -> ";
      append_value(s.after.bytes.data() + it.offset, it.length, cs, most(), l_);
      l_ += '\n';
    }
  } else {
    for (const byte_range& g : v.ranges)
      append_range_line(g.offset, s.before.bytes.data() + g.offset, g.old_length,
                        s.after.bytes.data() + g.offset, g.new_length, cs, most(), l_);
  }
}

// Only one side known: every item, from or to what the other side is: "?"
// not known, "(none)" no record.
void history_text::side_items(const record_step& s, const change_view& v) {
  const bool after = v.one_side == &s.after;
  const record_content& other = after ? s.before : s.after;
  const char* missing = other.state == record_content::absent ? "(none)" : "?";
  for (const history_item& it : v.side_items->items) {
    item_label(it);
    if (after) l_ += std::string(missing) + " -> ";
    append_value(v.one_side->bytes.data() + it.offset, it.length, c_.records.charset(), most(), l_);
    if (!after) l_ += std::string(" -> ") + missing;
    l_ += '\n';
  }
}

// A head line, then before, after and what changed.
void history_text::change(const followed_record& r, const tag_summary& t, const record_event& e,
                          const record_step& s, const change_view& v) {
  const bool op_known = fixrec_op_known(e.operation);
  std::string& l = begin_text(r.node_id);
  char code[32];
  if (!op_known) std::snprintf(code, sizeof code, "operation %u", e.operation);
  char head[200];
  std::snprintf(head, sizeof head, " record %u: %s, sequence %u, %s, transaction %u, session %u, ",
                r.recno, op_known ? fixrec_op_name(e.operation) : code, t.sequence,
                format_time(t.timestamp, c_.opt.utc).c_str(), e.transaction_id, e.session_id);
  l += head;
  l += offset_in(t.offset, c_.records.log());
  l += '\n';
  std::string before_why;
  if (s.before.state == record_content::unknown)
    before_why = s.before_origin.kind == content_origin::none ? "no earlier change of it was read"
                                                              : origin_text(s.before_origin);
  l += "  before: " + describe(s.before, s.after.is_known(), before_why, v);
  if (s.before_from_image) l += ", from the before-image";
  l += '\n';
  l += "  after: " + describe(s.after, s.before.is_known(), "", v);
  if (!s.why.empty()) l += ": " + s.why;
  l += '\n';
  append_note_lines(s.notes, l);
  if (s.patch_only)
    append_range_line(s.patch_offset, nullptr, 0, s.patch.data(),
                      static_cast<uint32_t>(s.patch.size()), c_.records.charset(), most(), l);
  change_items(s, v);
  if (v.side_items) side_items(s, v);
  if (verbose() && !v.items_why.empty()) l += "  items: " + v.items_why + "\n";
  c_.out.write(l.data(), l.size());
  if (verbose()) dump_contents(c_.out, s.before, s.after);
}

void history_text::gap(const followed_record& r, const tag_summary* t, int64_t offset,
                       const std::string& why, const std::vector<image_note>& notes) {
  std::string& l = begin_text(r.node_id);
  char head[160];
  if (t)
    std::snprintf(head, sizeof head, " record %u: content unknown from sequence %u, %s, ", r.recno,
                  t->sequence, format_time(t->timestamp, c_.opt.utc).c_str());
  else
    std::snprintf(head, sizeof head, " record %u: content unknown from ", r.recno);
  l += head;
  l += offset_in(offset, c_.records.log());
  l += "\n  " + why + "\n";
  append_note_lines(notes, l);
  c_.out.write(l.data(), l.size());
}

void history_text::as_of(const followed_record& r) {
  std::string items_why;
  const history_node_items* items =
      r.at.is_known()
          ? c_.records.items_for(r.node_id, static_cast<uint32_t>(r.at.bytes.size()), &items_why)
          : nullptr;
  std::string& l = begin_text(r.node_id);
  char head[120];
  std::snprintf(head, sizeof head, " record %u as of %s: ", r.recno,
                format_time(c_.opt.as_of, c_.opt.utc).c_str());
  l += head;
  if (r.at.is_known()) {
    char n[40];
    std::snprintf(n, sizeof n, "%zu bytes, from ", r.at.bytes.size());
    l += n;
    l += origin_text(r.at_origin);
    l += '\n';
    if (!items && !r.at.bytes.empty()) {
      l += "  ";
      append_value(r.at.bytes.data(), r.at.bytes.size(), r.charset, most(), l);
      l += '\n';
    }
  } else if (r.at.state == record_content::absent) {
    l += std::strcmp(r.source, "before_put") == 0
             ? "did not exist: the first change after it puts the record, at " +
                   offset_in(r.at_origin.offset, r.at_origin.log)
             : "did not exist: " + origin_text(r.at_origin);
    l += '\n';
  } else {
    l += "cannot tell: " + r.reason + "\n";
  }
  if (items)
    for (const history_item& it : items->items) {
      item_label(it);
      append_value(r.at.bytes.data() + it.offset, it.length, r.charset, most(), l);
      l += '\n';
    }
  if (!r.note.empty()) l += "  note: " + r.note + "\n";
  if (verbose() && !items_why.empty()) l += "  items: " + items_why + "\n";
  c_.out.write(l.data(), l.size());
  if (verbose() && r.at.is_known() && !r.at.bytes.empty())
    dump_hex(c_.out, r.at.bytes.data(), static_cast<uint32_t>(r.at.bytes.size()));
}

// The record's count of changes and its last content.
void history_text::summary(followed_record& r) {
  const uint64_t changes = r.content.changes();
  std::string& l = begin_text(r.node_id);
  char head[160];
  std::snprintf(head, sizeof head, " record %u: %" PRIu64 " change%s", r.recno, changes,
                changes == 1 ? "" : "s");
  l += head;
  if (r.shown != changes) {
    std::snprintf(head, sizeof head, ", %" PRIu64 " shown", r.shown);
    l += head;
  }
  const record_content& c = r.content.content();
  if (c.is_known()) {
    std::snprintf(head, sizeof head, "; at the end %zu bytes, from ", c.bytes.size());
    l += head + origin_text(r.content.origin());
  } else if (c.state == record_content::absent) {
    l += "; at the end it does not exist (" + origin_text(r.content.origin()) + ")";
  } else {
    l += "; at the end its content is unknown";
    if (r.content.origin().kind == content_origin::untold)
      l += " (" + origin_text(r.content.origin()) + ")";
  }
  if (r.recno > INT32_MAX) {
    std::snprintf(head, sizeof head, " (the report prints the record number as %d)",
                  as_printed(r.recno));
    l += head;
  }
  l += '\n';
  // Before-images judged wrong that no change followed.
  r.content.take_notes(notes_);
  append_note_lines(notes_, l);
  c_.out.write(l.data(), l.size());
}

}  // namespace

std::unique_ptr<history_renderer> make_history_text(const history_context& c) {
  return std::make_unique<history_text>(c);
}

}  // namespace jrn
