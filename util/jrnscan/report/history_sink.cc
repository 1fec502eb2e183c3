#include "report/history_sink.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/scan.h"
#include "records/opcodes.h"
#include "report/cut_mark.h"
#include "report/hexdump.h"
#include "report/json_sink.h"
#include "report/json_writer.h"
#include "report/record_text.h"
#include "scan/escape.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

// One asked record of one node.
struct history_sink::tracked {
  size_t request = 0;  // the first --history value that asked for it
  int32_t node_id = 0;
  uint32_t recno = 0;
  record_tracker content;
  uint64_t events = 0;  // changes and before-images read
  uint64_t shown = 0;   // entries shown
  // --as-of: the content at that moment, once settled.
  bool settled = false;
  record_content at;
  content_origin at_origin;
  const char* source = "unknown";
  std::string reason;  // not known: why
  std::string note;
  uint16_t charset = 65535;  // of the log the content was settled in
};

struct history_sink::item {
  std::string name;
  uint8_t type;
  uint32_t offset;
  uint32_t length;  // count x size
};

// The items a SET_ITEMS record declared for a node, and the bytes they
// take in all.
struct history_sink::node_items {
  std::vector<item> items;
  uint64_t total = 0;
  int64_t offset = 0;  // of the SET_ITEMS record
  const char* log = "";
};

namespace {

// A recno as the report prints it (signed), for record numbers of 2^31
// and more.
int32_t as_printed(uint32_t recno) { return static_cast<int32_t>(recno); }

// Strict decimal: all of text, within [lo, hi].
bool read_number(const char* text, int64_t lo, int64_t hi, int64_t* v) {
  if (*text == '\0') return false;
  const char* p = text;
  if (*p == '-') ++p;
  if (*p < '0' || *p > '9') return false;
  errno = 0;
  char* end = nullptr;
  const long long n = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || n < lo || n > hi) return false;
  *v = n;
  return true;
}

const char* origin_word(const content_origin& o) {
  switch (o.kind) {
    case content_origin::after_image: return o.patches ? "patched" : "after_image";
    case content_origin::before_image: return o.patches ? "patched" : "before_image";
    case content_origin::deleted: return "deleted";
    default: return "unknown";
  }
}

// A --history value as messages show it: control bytes as \xNN.
std::string shown(const record_request& s) {
  std::string out;
  append_escaped(s.text.data(), s.text.size(), out);
  return out;
}

// The record's facts under the catalogue's keys; the history's own beside.
constexpr json_key k_node_id(field_key(fid::node_id)), k_node(field_of(fid::node_id).name_key),
    k_recno(field_key(fid::recno)), k_transaction_id(field_key(fid::transaction_id)),
    k_session_id(field_key(fid::session_id)), k_fixrec_op(field_key(fid::fixrec_op)),
    k_fixrec_op_code(field_key(fid::fixrec_op_code));
constexpr json_key k_type("type"), k_log("log"), k_sequence("sequence"), k_timestamp("timestamp"),
    k_time("time"), k_offset("offset"), k_before("before"), k_before_known("before_known"),
    k_before_source("before_source"), k_after("after"), k_after_known("after_known"),
    k_diff("diff"), k_old("old"), k_new("new"), k_items("items"), k_name("name"), k_size("size"),
    k_old_text("old_text"), k_new_text("new_text"), k_reason("reason"), k_note("note"),
    k_as_of("as_of"), k_as_of_timestamp("as_of_timestamp"), k_known("known"), k_content("content"),
    k_source("source"), k_source_offset("source_offset"), k_source_log("source_log"),
    k_patches("patches"), k_value("value"), k_text("text");

void json_text_or_hex(json_writer& w, const json_key& text_key, const uint8_t* p, size_t n,
                      uint16_t charset) {
  if (json_text_ok(p, n, charset)) w.string(text_key, reinterpret_cast<const char*>(p), n);
}

void json_hex(json_writer& w, const json_key& k, const record_content& c) {
  if (!c.is_known()) {
    w.null(k);
    return;
  }
  w.key(k);
  w.hex(c.bytes.data(), c.bytes.size());
}

}  // namespace

// Whether the item's own bytes differ between the contents before and
// after (of the same length): the ranges merge changes that lie close, so
// an item in a range may be unchanged. next: the first range that does not
// end before the item.
bool history_sink::item_changed(const record_step& s, const std::vector<byte_range>& ranges,
                                size_t next, const item& it) {
  if (next == ranges.size() || ranges[next].offset >= it.offset + it.length || it.length == 0)
    return false;
  return std::memcmp(s.before.bytes.data() + it.offset, s.after.bytes.data() + it.offset,
                     it.length) != 0;
}

bool parse_record_request(const char* text, record_request* request, std::string* why) {
  *request = record_request();
  request->text = text;
  const char* colon = std::strrchr(text, ':');
  if (!colon || colon == text || colon[1] == '\0') {
    *why = "takes NODE:RECNO (a node number or qualified name, a record number)";
    return false;
  }
  int64_t n;
  if (!read_number(colon + 1, INT32_MIN, UINT32_MAX, &n)) {
    *why = "has a record number that is not a number from 0 to 4294967295";
    return false;
  }
  request->recno = static_cast<uint32_t>(n);
  std::string node(text, static_cast<size_t>(colon - text));
  const char* digits = node.c_str();
  if (*digits == '#') ++digits;
  if (read_number(digits, INT32_MIN, UINT32_MAX, &n)) {
    request->node_id = static_cast<int32_t>(static_cast<uint32_t>(n));
    if (request->node_id == 0) {
      *why = "names node 0, which no record belongs to";
      return false;
    }
    return true;
  }
  if (node[0] == '#' || node[0] == '-' || (node[0] >= '0' && node[0] <= '9')) {
    *why = "has a node that is neither a number from -2147483648 to 4294967295 nor a name";
    return false;
  }
  request->by_name = true;
  request->name = node;
  return true;
}

history_sink::history_sink(output& out, diagnostics& diag, const node_map& names,
                           const filter_settings& f, const history_options& o)
    : out_(out), diag_(diag), names_(names), filter_(f), opt_(o) {
  for (size_t i = 0; i < opt_.records.size(); ++i) {
    const record_request& s = opt_.records[i];
    bool have = false;
    for (uint32_t n : recnos_) have = have || n == s.recno;
    if (!have) recnos_.push_back(s.recno);
    if (s.by_name) {
      names_asked_ = true;
      continue;
    }
    bool dup = false;
    for (const auto& r : records_) dup = dup || (r->node_id == s.node_id && r->recno == s.recno);
    if (!dup) add(i, s.node_id, s.recno);
  }
}

history_sink::tracked* history_sink::add(size_t request, int32_t node_id, uint32_t recno) {
  auto r = std::make_unique<tracked>();
  r->request = request;
  r->node_id = node_id;
  r->recno = recno;
  records_.push_back(std::move(r));
  return records_.back().get();
}

history_sink::~history_sink() = default;

bool history_sink::open() {
  if (opt_.save_dir.empty()) return true;
  files_ = std::make_unique<record_files>(diag_);
  return files_->open(opt_.save_dir);
}

// Starts an entry of the text in scratch_: a blank line, then the node.
std::string& history_sink::begin_text(int32_t node_id) {
  scratch_.assign("\n");
  names_.append_display(node_id, true, opt_.escape ? text_form::terminal : text_form::raw,
                        scratch_);
  return scratch_;
}

// The record's members: "node_id", "node" (its name or null), "recno".
void history_sink::json_record(json_writer& w, const tracked& r) {
  w.u64(k_node_id, static_cast<uint32_t>(r.node_id));
  scratch_.clear();
  append_node_json(names_, r.node_id, scratch_);
  w.raw(k_node, scratch_.data(), scratch_.size());
  w.u64(k_recno, r.recno);
}

// An item's object up to its value: "name", "type", "offset", "size".
void history_sink::json_item(json_writer& w, const item& it) {
  w.begin_object();
  w.string(k_name, it.name.data(), it.name.size());
  const char type = static_cast<char>(it.type);
  w.string(k_type, &type, 1);
  w.u64(k_offset, it.offset);
  w.u64(k_size, it.length);
}

// "  item NAME: ", the name escaped for a terminal when asked.
void history_sink::item_label(const item& it, std::string& l) const {
  l += "  item ";
  if (opt_.escape)
    append_escaped(it.name.data(), it.name.size(), l);
  else
    l += it.name;
  l += ": ";
}

bool history_sink::name_matches(int32_t node_id, const record_request& request) {
  if (!names_.has(node_id)) return false;
  scratch_.clear();
  names_.append_display(node_id, false, text_form::raw, scratch_);
  return scratch_.size() == request.name.size() &&
         strncasecmp(scratch_.data(), request.name.data(), request.name.size()) == 0;
}

// A node that an asked record belongs to: by number, or by a name it has
// now. Names learnt from the log count from their CONTEXT record on.
bool history_sink::node_wanted(int32_t node_id) {
  for (const record_request& s : opt_.records)
    if (s.by_name ? name_matches(node_id, s) : s.node_id == node_id) return true;
  return false;
}

history_sink::tracked* history_sink::find(int32_t node_id, uint32_t recno) {
  for (const auto& r : records_)
    if (r->node_id == node_id && r->recno == recno) return r.get();
  if (!names_asked_) return nullptr;
  if (first_look(node_id))
    if (tracked* r = resolve(node_id, recno)) return r;
  // Its name matches no asked one (yet): a change of a record that a name
  // may ask for is remembered, so that a history that starts late says so.
  // Only asked record numbers come here: a node's list holds at most one
  // entry for each.
  if (e_kind_change_) {
    auto early = early_.find(node_id);
    if (early == early_.end() && early_.size() >= opt_.early_nodes) {
      early_full_ = true;
      return nullptr;
    }
    std::vector<early_change>& list = early_[node_id];
    for (early_change& c : list)
      if (c.recno == recno) {
        ++c.count;
        return nullptr;
      }
    list.push_back({recno, 1, last_event_offset_, log_});
  }
  return nullptr;
}

// Whether the node's name was not looked up since the map last grew (it is
// from here on). A node's qualified name changes only as names are added
// to the map: what was looked up holds until then.
bool history_sink::first_look(int32_t node_id) {
  if (names_.size() != names_seen_ || name_checked_.size() > 4096) {
    name_checked_.clear();
    names_seen_ = names_.size();
  }
  if (name_checked_.count(node_id)) return false;
  name_checked_[node_id] = true;
  return true;
}

// Follows the asked records of every name that the node now has; the one
// of recno when there is one.
history_sink::tracked* history_sink::resolve(int32_t node_id, uint32_t recno) {
  tracked* found = nullptr;
  for (size_t i = 0; i < opt_.records.size(); ++i) {
    const record_request& s = opt_.records[i];
    if (!s.by_name || !name_matches(node_id, s)) continue;
    bool have = false;
    size_t of_request = 0;
    for (const auto& r : records_) {
      have = have || (r->node_id == node_id && r->recno == s.recno);
      of_request += r->request == i;
    }
    if (have) continue;
    if (of_request >= opt_.nodes_per_name) {
      diag_.bound_reached("--nodes-per-name",
                          "--history " + shown(s) + ": records of nodes beyond the " +
                              std::to_string(opt_.nodes_per_name) +
                              " of that name are not followed (--nodes-per-name)",
                          "jrnscan: warning: --history %s: more than %u nodes have that name; "
                          "the records of the others are not followed",
                          shown(s).c_str(), opt_.nodes_per_name);
      continue;
    }
    tracked* r = add(i, node_id, s.recno);
    if (s.recno == recno) found = r;
    // Changes of the record read before the node had its name were not
    // followed: the history is told that it starts late.
    auto early = early_.find(node_id);
    if (early == early_.end() && early_full_)
      diag_.bound_reached(
          "--early-nodes",
          "--history " + shown(s) + ": changes of the record before node " +
              std::to_string(node_id) + " had that name may be left out (--early-nodes)",
          "jrnscan: warning: --history %s: node %d is met with that name at "
          "%s, after more than %u nodes without an asked name changed asked "
          "records; changes of the record before then may be left out",
          shown(s).c_str(), node_id, offset_in(last_event_offset_, log_).c_str(), opt_.early_nodes);
    if (early != early_.end())
      for (const early_change& c : early->second)
        if (c.recno == s.recno)
          diag_.say("jrnscan: warning: --history %s: %" PRIu64
                    " change%s of the record, from "
                    "%s on, came before node %d was known by that name; the history does not "
                    "show %s (give the node's number or a -M map)\n",
                    shown(s).c_str(), c.count, c.count == 1 ? "" : "s",
                    offset_in(c.first_offset, c.log).c_str(), node_id,
                    c.count == 1 ? "it" : "them");
  }
  return found;
}

void history_sink::begin_input(const char* name, int64_t) { log_ = name; }

void history_sink::begin_log(const char* log_name, const fwlog_header& h) {
  log_ = log_name;
  charset_ = h.charset;
  continuity_.begin_log(h);
}

void history_sink::set_items(const tag_summary& t, int32_t node_id,
                             const std::vector<set_item_decl>& items) {
  if (!node_wanted(node_id)) return;
  auto n = std::make_shared<node_items>();
  n->offset = t.offset;
  n->log = log_;
  for (const set_item_decl& d : items) {
    const uint32_t length = uint32_t{d.count} * d.size;
    n->items.push_back({d.name, d.type, static_cast<uint32_t>(n->total), length});
    n->total += length;
  }
  items_[node_id] = std::move(n);
}

// The items of the node when they add up to the record's length; why
// says otherwise (empty when the node has none).
const history_sink::node_items* history_sink::items_for(int32_t node_id, uint32_t length,
                                                        std::string* why) const {
  why->clear();
  auto it = items_.find(node_id);
  if (it == items_.end()) return nullptr;
  const node_items& n = *it->second;
  if (n.total == length && !n.items.empty()) return &n;
  char count[40], sizes[100];
  std::snprintf(count, sizeof count, "the %zu items", n.items.size());
  std::snprintf(sizes, sizeof sizes,
                " declares take %" PRIu64 " bytes, the record %u: bytes are shown", n.total,
                length);
  *why = count + std::string(" that the SET_ITEMS record at ") + offset_in(n.offset, n.log) + sizes;
  return nullptr;
}

// A break in the tag sequence: changes of every followed record may be
// among the tags missing.
void history_sink::sequence_broken(const tag_summary& t) {
  if (!continuity_.breaks(t.letter, t.sequence, t.offset)) return;
  const std::string why = continuity_.why(t.sequence);
  for (const auto& r : records_) lose(*r, &t, t.offset, why);
}

void history_sink::record(const tag_summary& t, const record_event& e) {
  last_event_offset_ = t.offset;
  note_time(t.timestamp);
  // The tag at a break is itself followed, after what the break lost.
  sequence_break(t);
  // Most events are of other records: the record number first.
  bool asked = false;
  for (uint32_t n : recnos_)
    if (n == e.recno) {
      asked = true;
      break;
    }
  if (!asked) return;
  e_kind_change_ = e.kind == record_event::change;
  tracked* r = find(e.node_id, e.recno);
  if (!r) return;
  ++r->events;
  if (e.kind == record_event::before_image) {
    r->content.before_image(t, e, log_);
    return;
  }
  if (opt_.as_of_given) {
    if (!r->settled && t.timestamp > opt_.as_of) {
      // The first change after the moment: the content before it (its
      // before-image, or what the changes before left) is the answer.
      settle_as_of(*r);
      if (before_input()) {
        // Nothing read tells the record's content before the input.
      } else if (r->at.state == record_content::unknown &&
                 r->at_origin.kind == content_origin::none && e.operation == fixrec_put) {
        // A PUT makes a record that did not exist before.
        r->at.set_absent();
        r->source = "before_put";
        r->at_origin = content_origin();
        r->at_origin.kind = content_origin::deleted;
        r->at_origin.offset = t.offset;
        r->at_origin.log = log_;
        r->reason.clear();
      } else if (std::strcmp(r->source, "unknown") == 0) {
        r->reason += "; the first change after that moment, the ";
        r->reason += fixrec_op_name(e.operation);
        r->reason += " at " + offset_in(t.offset, log_) + ", has no before-image";
      }
    }
    r->content.change(t, e, log_, step_);
    return;
  }
  r->content.change(t, e, log_, step_);
  if (!filter_match(filter_, t, e.transaction_id, 0, 1)) return;
  ++r->shown;
  print_change(*r, t, e);
}

// The content at the --as-of moment: what the changes up to it left, or
// the before-image read since.
void history_sink::settle_as_of(tracked& r) {
  r.settled = true;
  r.charset = charset_;
  if (before_input()) {
    // Before the first tag of the series: no later before-image tells
    // what the record held then.
    r.at.set_unknown();
    r.at_origin = content_origin();
    r.source = "unknown";
    r.reason = std::string("the input begins at ") + format_time(begins_, opt_.utc).c_str();
    return;
  }
  const record_content& c = r.content.content();
  const content_origin& o = r.content.origin();
  const record_content* image = r.content.pending_image();
  if (c.is_known()) {
    r.at = c;
    r.at_origin = o;
    r.source = origin_word(o);
    if (image && image->is_known() && !image->same_as(c))
      r.note = "the before-image at " +
               offset_in(r.content.pending_origin().offset, r.content.pending_origin().log) +
               " differs from it";
    return;
  }
  if (image && image->is_known()) {
    r.at = *image;
    r.at_origin = r.content.pending_origin();
    r.source = "before_image";
    return;
  }
  if (image) {
    // A before-image that may have been cut.
    r.at = *image;
    r.at_origin = r.content.pending_origin();
    r.source = "unknown";
    r.reason = origin_text(r.at_origin);
    return;
  }
  r.at = c;
  r.at_origin = o;
  if (c.state == record_content::absent) {
    r.source = "deleted";
    return;
  }
  r.source = "unknown";
  if (o.kind == content_origin::none)
    r.reason = "no change of the record was read up to that moment";
  else
    r.reason = "at " + offset_in(o.offset, o.log) + ": " + o.why;
}

void history_sink::lose(tracked& r, const tag_summary* t, int64_t offset, const std::string& why) {
  const uint32_t ts = t ? t->timestamp : last_timestamp_;
  if (opt_.as_of_given && !r.settled && ts > opt_.as_of) {
    settle_as_of(r);
    if (std::strcmp(r.source, "unknown") == 0 && !before_input())
      r.reason += "; then at " + offset_in(offset, log_) + ": " + why;
  }
  const bool was_unknown =
      r.content.content().state == record_content::unknown && r.content.pending_image() == nullptr;
  // Notes on before-images whose change lies in the gap go with it.
  r.content.take_notes(notes_);
  r.content.lose(offset, ts, log_, why);
  if (opt_.as_of_given || was_unknown) return;
  if (t && !filter_match(filter_, *t, t->transaction_id, 0, 1)) return;
  print_gap(r, t, offset, why);
}

void history_sink::problem(problem_kind kind, int64_t offset, const char* text) {
  if (kind != problem_kind::malformed) return;
  last_problem_offset_ = offset;
  last_problem_ = text;
}

// A FIXREC record of a followed node that was not told as a change (its
// payload broke the size rule): whether it changed an asked record cannot
// be told, so their contents are unknown from here.
void history_sink::tag_done(const tag_summary& t) {
  sequence_break(t);
  continuity_.done(t.letter, t.sequence);
  // A letter of no kind is no tag: the bytes behind it are no timestamp.
  // (The letter's kind is looked up when the letter changes.)
  if (t.letter != last_letter_) {
    last_letter_ = t.letter;
    letter_is_tag_ = tag_kind_of(t.letter).handler || is_end_tag(t.letter);
  }
  if (letter_is_tag_) {
    last_timestamp_ = t.timestamp;
    note_time(t.timestamp);
  }
  const bool told = last_event_offset_ == t.offset;
  last_event_offset_ = -1;
  if (t.letter != tag_letter::rec || !t.is_record || t.opcode != op_fixrec || told) return;
  // Records asked for by a name the node has are followed from here: the
  // record unread may have changed them.
  if (names_asked_ && first_look(t.node_id)) resolve(t.node_id, 0);
  std::string why;
  for (const auto& r : records_) {
    if (r->node_id != t.node_id) continue;
    if (why.empty()) {
      why = unreadable_fixrec_why;
      if (last_problem_offset_ == t.offset) why += " (" + last_problem_ + ")";
    }
    lose(*r, &t, t.offset, why);
  }
}

void history_sink::end_log(log_end how, int64_t offset) {
  continuity_.end_log(how == log_end::eof_finish || how == log_end::eof_cont);
  const char* what = unread_log_why(how);
  if (!what) return;
  const std::string why = what;
  for (const auto& r : records_) lose(*r, nullptr, offset, why);
}

void history_sink::series_gap(const series_gap_info& g) {
  const std::string why = g.reason;
  for (const auto& r : records_) lose(*r, nullptr, g.offset, why);
  // The input begins for the series where its first log read began.
  if (g.kind == series_gap_info::other_series) {
    have_begin_ = g.have_first_time;
    begins_ = g.first_time;
  }
  // A log read out of order lies before what was read: its first tag is.
  if (g.kind == series_gap_info::out_of_order) have_begin_ = false;
}

void history_sink::flush() { out_.flush(); }

// ---------------------------------------------------------------- output

void history_sink::print_change(tracked& r, const tag_summary& t, const record_event& e) {
  const record_step& s = step_;
  std::vector<byte_range> ranges;
  const bool both = s.before.is_known() && s.after.is_known();
  if (both)
    diff_bytes(s.before.bytes.data(), static_cast<uint32_t>(s.before.bytes.size()),
               s.after.bytes.data(), static_cast<uint32_t>(s.after.bytes.size()), ranges);
  // Items name the changed bytes when both contents have the items' length.
  std::string items_why;
  const node_items* items = nullptr;
  // Only one side known (a PUT, a DELETE, a change of a content not known
  // before): the text gives that side by item.
  const record_content* one_side = nullptr;
  const node_items* side_items = nullptr;
  if (both && s.before.bytes.size() == s.after.bytes.size()) {
    items = items_for(r.node_id, static_cast<uint32_t>(s.after.bytes.size()), &items_why);
  } else if (s.after.is_known() || s.before.is_known()) {
    const record_content& known = s.after.is_known() ? s.after : s.before;
    const node_items* n =
        items_for(r.node_id, static_cast<uint32_t>(known.bytes.size()), &items_why);
    if (!both) {
      one_side = &known;
      side_items = n;
    }
  }
  const bool op_known = fixrec_op_known(e.operation);
  const char* op = fixrec_op_name(e.operation);
  const uint16_t cs = charset_;

  if (opt_.json) {
    json_writer w(out_);
    w.begin_object();
    w.ascii(k_type, "record_change");
    w.string(k_log, log_, std::strlen(log_));
    json_record(w, r);
    w.u64(k_sequence, t.sequence);
    w.u64(k_timestamp, t.timestamp);
    w.iso_time(k_time, t.timestamp);
    w.i64(k_offset, t.offset);
    w.u64(k_transaction_id, e.transaction_id);
    w.u64(k_session_id, e.session_id);
    if (op_known)
      w.ascii(k_fixrec_op, op);
    else
      w.null(k_fixrec_op);
    w.u64(k_fixrec_op_code, e.operation);
    json_hex(w, k_before, s.before);
    w.boolean(k_before_known, s.before.state != record_content::unknown);
    if (s.before.state == record_content::unknown)
      w.null(k_before_source);
    else
      w.ascii(k_before_source, s.before_from_image ? "before_image" : "earlier_changes");
    json_hex(w, k_after, s.after);
    w.boolean(k_after_known, s.after.state != record_content::unknown);
    w.begin_array(k_diff);
    if (s.patch_only) {
      w.begin_object();
      w.u64(k_offset, s.patch_offset);
      w.null(k_old);
      w.key(k_new);
      w.hex(s.patch.data(), s.patch.size());
      w.end_object();
    }
    for (const byte_range& g : ranges) {
      w.begin_object();
      w.u64(k_offset, g.offset);
      w.key(k_old);
      w.hex(s.before.bytes.data() + g.offset, g.old_length);
      w.key(k_new);
      w.hex(s.after.bytes.data() + g.offset, g.new_length);
      w.end_object();
    }
    w.end_array();
    if (items) {
      w.begin_array(k_items);
      size_t next = 0;  // ranges and items both lie in order
      for (const item& it : items->items) {
        while (next < ranges.size() && ranges[next].offset + ranges[next].old_length <= it.offset)
          ++next;
        if (!item_changed(s, ranges, next, it)) continue;
        const uint8_t* o = s.before.bytes.data() + it.offset;
        const uint8_t* n = s.after.bytes.data() + it.offset;
        json_item(w, it);
        w.key(k_old);
        w.hex(o, it.length);
        w.key(k_new);
        w.hex(n, it.length);
        json_text_or_hex(w, k_old_text, o, it.length, cs);
        json_text_or_hex(w, k_new_text, n, it.length, cs);
        w.end_object();
      }
      w.end_array();
    }
    if (!s.why.empty()) w.string(k_reason, s.why.data(), s.why.size());
    if (!s.notes.empty()) {
      const std::string note = image_notes_text(s.notes, "; ");
      w.string(k_note, note.data(), note.size());
    }
    w.end_object();
    w.end_line();
    return;
  }

  // The text: a head line, then before, after and what changed.
  const bool verbose = filter_.detail_level >= 1;
  const size_t most = verbose ? SIZE_MAX : 48;
  std::string& l = begin_text(r.node_id);
  char code[32];
  if (!op_known) std::snprintf(code, sizeof code, "operation %u", e.operation);
  char head[200];
  std::snprintf(head, sizeof head, " record %u: %s, sequence %u, %s, transaction %u, session %u, ",
                r.recno, op_known ? op : code, t.sequence,
                format_time(t.timestamp, opt_.utc).c_str(), e.transaction_id, e.session_id);
  l += head;
  l += offset_in(t.offset, log_);
  l += '\n';

  auto describe = [&](const record_content& c, bool other_known, const std::string& unknown_why) {
    std::string d;
    if (c.is_known()) {
      char n[32];
      std::snprintf(n, sizeof n, "%zu bytes", c.bytes.size());
      d = n;
      if (!other_known && !c.bytes.empty() && !side_items) {
        d += ' ';
        append_value(c.bytes.data(), c.bytes.size(), cs, most, d);
      }
    } else if (c.state == record_content::absent) {
      d = "none (the record does not exist)";
    } else {
      d = "unknown";
      if (!unknown_why.empty()) d += " (" + unknown_why + ")";
    }
    return d;
  };
  std::string before_why;
  if (s.before.state == record_content::unknown)
    before_why = s.before_origin.kind == content_origin::none ? "no earlier change of it was read"
                                                              : origin_text(s.before_origin);
  l += "  before: " + describe(s.before, s.after.is_known(), before_why);
  if (s.before_from_image) l += ", from the before-image";
  l += '\n';
  l += "  after: " + describe(s.after, s.before.is_known(), "");
  if (!s.why.empty()) l += ": " + s.why;
  l += '\n';
  append_note_lines(s.notes, l);
  if (s.patch_only)
    append_range_line(s.patch_offset, nullptr, 0, s.patch.data(),
                      static_cast<uint32_t>(s.patch.size()), cs, most, l);
  if (items) {
    size_t next = 0;
    for (const item& it : items->items) {
      while (next < ranges.size() && ranges[next].offset + ranges[next].old_length <= it.offset)
        ++next;
      if (!item_changed(s, ranges, next, it)) continue;
      item_label(it, l);
      append_value(s.before.bytes.data() + it.offset, it.length, cs, most, l);
      l += " -> ";
      append_value(s.after.bytes.data() + it.offset, it.length, cs, most, l);
      l += '\n';
    }
  } else {
    for (const byte_range& g : ranges)
      append_range_line(g.offset, s.before.bytes.data() + g.offset, g.old_length,
                        s.after.bytes.data() + g.offset, g.new_length, cs, most, l);
  }
  if (side_items) {
    // Every item, from or to what the other side is: "?" not known,
    // "(none)" no record.
    const bool after = one_side == &s.after;
    const record_content& other = after ? s.before : s.after;
    const char* missing = other.state == record_content::absent ? "(none)" : "?";
    for (const item& it : side_items->items) {
      item_label(it, l);
      if (after) l += std::string(missing) + " -> ";
      append_value(one_side->bytes.data() + it.offset, it.length, cs, most, l);
      if (!after) l += std::string(" -> ") + missing;
      l += '\n';
    }
  }
  if (verbose && !items_why.empty()) l += "  items: " + items_why + "\n";
  out_.write(l.data(), l.size());
  if (verbose) dump_contents(out_, s.before, s.after);
}

void history_sink::print_gap(tracked& r, const tag_summary* t, int64_t offset,
                             const std::string& why) {
  if (opt_.json) {
    json_writer w(out_);
    w.begin_object();
    w.ascii(k_type, "record_gap");
    w.string(k_log, log_, std::strlen(log_));
    json_record(w, r);
    if (t) {
      w.u64(k_sequence, t->sequence);
      w.u64(k_timestamp, t->timestamp);
      w.iso_time(k_time, t->timestamp);
      w.u64(k_transaction_id, t->transaction_id);
      w.u64(k_session_id, t->session_id);
    }
    w.i64(k_offset, offset);
    w.string(k_reason, why.data(), why.size());
    if (!notes_.empty()) {
      const std::string note = image_notes_text(notes_, "; ");
      w.string(k_note, note.data(), note.size());
    }
    w.end_object();
    w.end_line();
    return;
  }
  std::string& l = begin_text(r.node_id);
  char head[160];
  if (t)
    std::snprintf(head, sizeof head, " record %u: content unknown from sequence %u, %s, ", r.recno,
                  t->sequence, format_time(t->timestamp, opt_.utc).c_str());
  else
    std::snprintf(head, sizeof head, " record %u: content unknown from ", r.recno);
  l += head;
  l += offset_in(offset, log_);
  l += "\n  " + why + "\n";
  append_note_lines(notes_, l);
  out_.write(l.data(), l.size());
}

void history_sink::print_as_of(const tracked& r) {
  const bool known = r.at.state != record_content::unknown;
  std::string items_why;
  const node_items* items =
      r.at.is_known() ? items_for(r.node_id, static_cast<uint32_t>(r.at.bytes.size()), &items_why)
                      : nullptr;
  const bool have_origin = r.at_origin.kind != content_origin::none && known;
  if (opt_.json) {
    json_writer w(out_);
    w.begin_object();
    w.ascii(k_type, "record_as_of");
    json_record(w, r);
    w.iso_time(k_as_of, opt_.as_of);
    w.u64(k_as_of_timestamp, opt_.as_of);
    w.boolean(k_known, known);
    json_hex(w, k_content, r.at);
    w.ascii(k_source, r.source);
    if (have_origin) {
      w.i64(k_source_offset, r.at_origin.offset);
      w.string(k_source_log, r.at_origin.log, std::strlen(r.at_origin.log));
    } else {
      w.null(k_source_offset);
      w.null(k_source_log);
    }
    w.u64(k_patches, known ? r.at_origin.patches : 0);
    if (items) {
      w.begin_array(k_items);
      for (const item& it : items->items) {
        const uint8_t* v = r.at.bytes.data() + it.offset;
        json_item(w, it);
        w.key(k_value);
        w.hex(v, it.length);
        json_text_or_hex(w, k_text, v, it.length, r.charset);
        w.end_object();
      }
      w.end_array();
    }
    if (!known) w.string(k_reason, r.reason.data(), r.reason.size());
    if (!r.note.empty()) w.string(k_note, r.note.data(), r.note.size());
    w.end_object();
    w.end_line();
    return;
  }
  const bool verbose = filter_.detail_level >= 1;
  const size_t most = verbose ? SIZE_MAX : 48;
  std::string& l = begin_text(r.node_id);
  char head[120];
  std::snprintf(head, sizeof head, " record %u as of %s: ", r.recno,
                format_time(opt_.as_of, opt_.utc).c_str());
  l += head;
  if (r.at.is_known()) {
    char n[40];
    std::snprintf(n, sizeof n, "%zu bytes, from ", r.at.bytes.size());
    l += n;
    l += origin_text(r.at_origin);
    l += '\n';
    if (!items && !r.at.bytes.empty()) {
      l += "  ";
      append_value(r.at.bytes.data(), r.at.bytes.size(), r.charset, most, l);
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
    for (const item& it : items->items) {
      item_label(it, l);
      append_value(r.at.bytes.data() + it.offset, it.length, r.charset, most, l);
      l += '\n';
    }
  if (!r.note.empty()) l += "  note: " + r.note + "\n";
  if (verbose && !items_why.empty()) l += "  items: " + items_why + "\n";
  out_.write(l.data(), l.size());
  if (verbose && r.at.is_known() && !r.at.bytes.empty())
    dump_hex(out_, r.at.bytes.data(), static_cast<uint32_t>(r.at.bytes.size()));
}

void history_sink::save_as_of(const tracked& r) {
  if (!files_ || files_->failed()) return;
  char name[80];
  std::snprintf(name, sizeof name, "record.%u.%u.as-of", static_cast<uint32_t>(r.node_id), r.recno);
  const bool file = r.at.is_known();
  if (file && !files_->write(name, r.at.bytes.data(), r.at.bytes.size())) return;
  std::string s = "{\"file\":";
  s += file ? std::string("\"") + name + "\"" : "null";
  char num[96];
  std::snprintf(num, sizeof num, ",\"node_id\":%u,\"node\":", static_cast<uint32_t>(r.node_id));
  s += num;
  append_node_json(names_, r.node_id, s);
  std::snprintf(num, sizeof num, ",\"recno\":%u,\"as_of\":\"%s\",\"known\":%s", r.recno,
                format_iso_utc(opt_.as_of).c_str(),
                r.at.state != record_content::unknown ? "true" : "false");
  s += num;
  s += ",\"source\":\"";
  s += r.source;
  s += '"';
  if (r.at.state != record_content::unknown && r.at_origin.kind != content_origin::none) {
    std::snprintf(num, sizeof num, ",\"source_offset\":%lld,\"source_log\":\"",
                  static_cast<long long>(r.at_origin.offset));
    s += num;
    append_json_string(r.at_origin.log, std::strlen(r.at_origin.log), s);
    s += '"';
  }
  if (file) {
    std::snprintf(num, sizeof num, ",\"size\":%zu", r.at.bytes.size());
    s += num;
  }
  if (r.at.state == record_content::unknown) {
    s += ",\"reason\":\"";
    append_json_string(r.reason.data(), r.reason.size(), s);
    s += '"';
  }
  s += '}';
  files_->manifest(s);
}

void history_sink::finish() {
  // The asked records that nothing was read of.
  for (size_t i = 0; i < opt_.records.size(); ++i) {
    const record_request& s = opt_.records[i];
    bool any = false, seen = false;
    for (const auto& r : records_) {
      if (r->recno != s.recno) continue;
      if (s.by_name ? !name_matches(r->node_id, s) : r->node_id != s.node_id) continue;
      any = true;
      seen = seen || r->events != 0;
    }
    if (!any)
      diag_.say("jrnscan: warning: --history %s: no node of that name was met\n", shown(s).c_str());
    else if (!seen && !opt_.as_of_given)
      diag_.say("jrnscan: warning: --history %s: no change of that record was read\n",
                shown(s).c_str());
  }
  // In the order the records were asked for.
  std::vector<tracked*> order;
  for (const auto& r : records_) order.push_back(r.get());
  std::stable_sort(order.begin(), order.end(),
                   [](const tracked* a, const tracked* b) { return a->request < b->request; });
  if (opt_.as_of_given) {
    for (tracked* r : order) {
      if (!r->settled) {
        // No change after the moment: what the input left is the answer.
        settle_as_of(*r);
        if (std::strcmp(r->source, "unknown") == 0 &&
            r->content.origin().kind != content_origin::none)
          r->reason += "; and no later change with a before-image was read";
      }
      print_as_of(*r);
      save_as_of(*r);
    }
    if (files_) files_->close();
    mark_cut();
    return;
  }
  if (opt_.json) {
    mark_cut();
    return;
  }
  // The text ends with each record's count and last content.
  for (tracked* r : order) {
    if (r->events == 0) continue;
    const uint64_t changes = r->content.changes();
    std::string& l = begin_text(r->node_id);
    char head[160];
    std::snprintf(head, sizeof head, " record %u: %" PRIu64 " change%s", r->recno, changes,
                  changes == 1 ? "" : "s");
    l += head;
    if (r->shown != changes) {
      std::snprintf(head, sizeof head, ", %" PRIu64 " shown", r->shown);
      l += head;
    }
    const record_content& c = r->content.content();
    if (c.is_known()) {
      std::snprintf(head, sizeof head, "; at the end %zu bytes, from ", c.bytes.size());
      l += head + origin_text(r->content.origin());
    } else if (c.state == record_content::absent) {
      l += "; at the end it does not exist (" + origin_text(r->content.origin()) + ")";
    } else {
      l += "; at the end its content is unknown";
      if (r->content.origin().kind == content_origin::untold)
        l += " (" + origin_text(r->content.origin()) + ")";
    }
    if (r->recno > INT32_MAX) {
      std::snprintf(head, sizeof head, " (the report prints the record number as %d)",
                    as_printed(r->recno));
      l += head;
    }
    l += '\n';
    // Before-images judged wrong that no change followed.
    r->content.take_notes(notes_);
    append_note_lines(notes_, l);
    out_.write(l.data(), l.size());
  }
  mark_cut();
}

// The last line when a bound cut the history.
void history_sink::mark_cut() {
  if (opt_.json) {
    json_writer w(out_);
    cut_object(diag_, w);
    return;
  }
  scratch_.clear();
  cut_line(diag_, scratch_);
  out_.write(scratch_.data(), scratch_.size());
}

}  // namespace jrn
