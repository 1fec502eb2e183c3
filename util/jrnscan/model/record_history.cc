#include "model/record_history.h"

#include <strings.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "log/scan.h"
#include "model/record_origin.h"
#include "records/opcodes.h"
#include "scan/escape.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

// A --history value as messages show it: control bytes as \xNN.
std::string shown(const record_request& s) {
  std::string out;
  append_escaped(s.text.data(), s.text.size(), out);
  return out;
}

}  // namespace

bool change_view::item_changed(const record_step& s, size_t& next, const history_item& it) const {
  while (next < ranges.size() && ranges[next].offset + ranges[next].old_length <= it.offset) ++next;
  if (next == ranges.size() || ranges[next].offset >= it.offset + it.length || it.length == 0)
    return false;
  return std::memcmp(s.before.bytes.data() + it.offset, s.after.bytes.data() + it.offset,
                     it.length) != 0;
}

record_history::record_history(diagnostics& diag, const node_map& names, const filter_settings& f,
                               const history_options& o, listener& l)
    : diag_(diag), names_(names), filter_(f), opt_(o), listener_(l) {
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

followed_record* record_history::add(size_t request, int32_t node_id, uint32_t recno) {
  auto r = std::make_unique<followed_record>();
  r->request = request;
  r->node_id = node_id;
  r->recno = recno;
  records_.push_back(std::move(r));
  return records_.back().get();
}
record_history::~record_history() = default;

bool record_history::name_matches(int32_t node_id, const record_request& request) {
  if (!names_.has(node_id)) return false;
  scratch_.clear();
  names_.append_display(node_id, false, text_form::raw, scratch_);
  return scratch_.size() == request.name.size() &&
         strncasecmp(scratch_.data(), request.name.data(), request.name.size()) == 0;
}

// A node that an asked record belongs to: by number, or by a name it has
// now. Names learnt from the log count from their CONTEXT record on.
bool record_history::node_wanted(int32_t node_id) {
  for (const record_request& s : opt_.records)
    if (s.by_name ? name_matches(node_id, s) : s.node_id == node_id) return true;
  return false;
}

followed_record* record_history::find(int32_t node_id, uint32_t recno) {
  for (const auto& r : records_)
    if (r->node_id == node_id && r->recno == recno) return r.get();
  if (!names_asked_) return nullptr;
  if (first_look(node_id))
    if (followed_record* r = resolve(node_id, recno)) return r;
  // Its name matches no asked one (yet): a change of a record that a name
  // may ask for is remembered, so that a history that starts late says so.
  // Only asked record numbers come here: a node's list holds at most one
  // entry for each.
  if (e_kind_change_) remember_early(node_id, recno);
  return nullptr;
}

void record_history::remember_early(int32_t node_id, uint32_t recno) {
  auto early = early_.find(node_id);
  if (early == early_.end() && early_.size() >= opt_.early_nodes) {
    early_full_ = true;
    return;
  }
  std::vector<early_change>& list = early_[node_id];
  for (early_change& c : list)
    if (c.recno == recno) {
      ++c.count;
      return;
    }
  list.push_back({recno, 1, last_event_offset_, log_});
}

// Whether the node's name was not looked up since the map last grew (it is
// from here on). A node's qualified name changes only as names are added
// to the map: what was looked up holds until then.
bool record_history::first_look(int32_t node_id) {
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
followed_record* record_history::resolve(int32_t node_id, uint32_t recno) {
  followed_record* found = nullptr;
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
    followed_record* r = add(i, node_id, s.recno);
    if (s.recno == recno) found = r;
    // Changes of the record read before the node had its name were not
    // followed: the history is told that it starts late.
    tell_early(s, node_id);
  }
  return found;
}

// Changes of the record read before the node had its name were not
// followed: the history is told that it starts late.
void record_history::tell_early(const record_request& s, int32_t node_id) {
  auto early = early_.find(node_id);
  if (early == early_.end() && early_full_)
    diag_.bound_reached(
        "--early-nodes",
        "--history " + shown(s) + ": changes of the record before node " + std::to_string(node_id) +
            " had that name may be left out (--early-nodes)",
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
                  offset_in(c.first_offset, c.log).c_str(), node_id, c.count == 1 ? "it" : "them");
}

void record_history::begin_log(const char* log_name, const fwlog_header& h) {
  log_ = log_name;
  charset_ = h.charset;
  continuity_.begin_log(h);
}

void record_history::set_items(const tag_summary& t, int32_t node_id,
                               const std::vector<set_item_decl>& items) {
  if (!node_wanted(node_id)) return;
  auto n = std::make_shared<history_node_items>();
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
const history_node_items* record_history::items_for(int32_t node_id, uint32_t length,
                                                    std::string* why) const {
  why->clear();
  auto it = items_.find(node_id);
  if (it == items_.end()) return nullptr;
  const history_node_items& n = *it->second;
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
void record_history::sequence_broken(const tag_summary& t) {
  if (!continuity_.breaks(t.letter, t.sequence, t.offset)) return;
  const std::string why = continuity_.why(t.sequence);
  for (const auto& r : records_) lose(*r, &t, t.offset, why);
}

void record_history::record(const tag_summary& t, const record_event& e) {
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
  followed_record* r = find(e.node_id, e.recno);
  if (!r) return;
  ++r->events;
  if (e.kind == record_event::before_image) {
    r->content.before_image(t, e, log_);
    return;
  }
  if (opt_.as_of_given) {
    if (!r->settled && t.timestamp > opt_.as_of) settle_before_change(*r, t, e);
    r->content.change(t, e, log_, step_);
    return;
  }
  r->content.change(t, e, log_, step_);
  if (!filter_match(filter_, t, e.transaction_id, 0, 1)) return;
  ++r->shown;
  listener_.change(*r, t, e, step_);
}

void record_history::lose(followed_record& r, const tag_summary* t, int64_t offset,
                          const std::string& why) {
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
  listener_.gap(r, t, offset, why, notes_);
}

void record_history::malformed(int64_t offset, const char* text) {
  last_problem_offset_ = offset;
  last_problem_ = text;
}

// A FIXREC record of a followed node that was not told as a change (its
// payload broke the size rule): whether it changed an asked record cannot
// be told, so their contents are unknown from here.
void record_history::tag_done(const tag_summary& t) {
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

void record_history::end_log(log_end how, int64_t offset) {
  continuity_.end_log(how == log_end::eof_finish || how == log_end::eof_cont);
  const char* what = unread_log_why(how);
  if (!what) return;
  const std::string why = what;
  for (const auto& r : records_) lose(*r, nullptr, offset, why);
}

void record_history::series_gap(const series_gap_info& g) {
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

void record_history::view(const followed_record& r, const record_step& s, change_view& v) const {
  const bool both = s.before.is_known() && s.after.is_known();
  if (both)
    diff_bytes(s.before.bytes.data(), static_cast<uint32_t>(s.before.bytes.size()),
               s.after.bytes.data(), static_cast<uint32_t>(s.after.bytes.size()), v.ranges);
  if (both && s.before.bytes.size() == s.after.bytes.size()) {
    v.items = items_for(r.node_id, static_cast<uint32_t>(s.after.bytes.size()), &v.items_why);
  } else if (s.after.is_known() || s.before.is_known()) {
    const record_content& known = s.after.is_known() ? s.after : s.before;
    const history_node_items* n =
        items_for(r.node_id, static_cast<uint32_t>(known.bytes.size()), &v.items_why);
    if (!both) {
      v.one_side = &known;
      v.side_items = n;
    }
  }
}

void record_history::warn_unmet() {
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
}

std::vector<followed_record*> record_history::in_request_order() const {
  std::vector<followed_record*> order;
  for (const auto& r : records_) order.push_back(r.get());
  std::stable_sort(
      order.begin(), order.end(),
      [](const followed_record* a, const followed_record* b) { return a->request < b->request; });
  return order;
}

}  // namespace jrn
