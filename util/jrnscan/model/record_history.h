// The records that --history asks for, followed through the log: which
// nodes they belong to (by number, or by a qualified name as the names are
// learnt), their contents change by change, the items their nodes declare,
// what breaks in the log leave untold and, with --as-of, the content each
// had at that moment and where it comes from. Values only: what is shown
// of a change or a gap is handed to a listener.
//
// Only the asked records are followed: memory is their contents (at most
// 64 KiB each, twice with --as-of) and the items of their nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/record_content.h"
#include "model/tag_continuity.h"
#include "scan/diag.h"
#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

// One --history value: a node, by number or by qualified name, and a
// record number.
struct record_request {
  std::string text;  // as given
  bool by_name = false;
  int32_t node_id = 0;  // by number
  std::string name;     // by name: as given (matched ignoring ASCII case)
  uint32_t recno = 0;
};

// NODE:RECNO: NODE a node number (-2147483648 to 4294967295, or #N) or a
// qualified name; RECNO a record number from 0 to 4294967295, or from
// -2147483648 to -1 for the numbers of 2^31 and more as the report prints
// them. False with why set when the text is not one.
bool parse_record_request(const char* text, record_request* request, std::string* why);

struct history_options {
  std::vector<record_request> records;
  bool as_of_given = false;
  uint32_t as_of = 0;    // --as-of: seconds since 1970
  bool json = false;     // JSON Lines
  bool utc = false;      // text: times in UTC
  bool escape = false;   // text: texts from the log escaped for a terminal
  std::string save_dir;  // with --as-of: the contents as files here
  // Asked by name: the most nodes of one name followed (--nodes-per-name), and
  // the most nodes not yet known by an asked name whose changes of asked
  // records are remembered (--early-nodes).
  uint32_t nodes_per_name = 16;
  uint32_t early_nodes = 64;
};

// One item a SET_ITEMS record declared.
struct history_item {
  std::string name;
  uint8_t type;
  uint32_t offset;
  uint32_t length;  // count x size
};

// The items a SET_ITEMS record declared for a node, and the bytes they
// take in all.
struct history_node_items {
  std::vector<history_item> items;
  uint64_t total = 0;
  int64_t offset = 0;  // of the SET_ITEMS record
  const char* log = "";
};

// One asked record of one node.
struct followed_record {
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

// What a change shows beside its contents: the ranges that differ, and
// the items that name them or that give the one side known.
struct change_view {
  std::vector<byte_range> ranges;
  // Both contents known and of the items' length: the items name the
  // changed bytes.
  const history_node_items* items = nullptr;
  // Only one side known (a PUT, a DELETE, a change of a content not known
  // before) and the items fit it: that side by item.
  const record_content* one_side = nullptr;
  const history_node_items* side_items = nullptr;
  std::string items_why;  // why the node's items do not fit (empty: none declared)

  // Whether the item's own bytes differ between s.before and s.after (of
  // the same length): the ranges merge changes that lie close, so an item
  // in a range may be unchanged. next: the first range that does not end
  // before the item; moved on.
  bool item_changed(const record_step& s, size_t& next, const history_item& it) const;
};

class record_history {
 public:
  // What the history shows as it goes.
  class listener {
   public:
    virtual ~listener() = default;
    // A change of a followed record that the filters let through; s holds
    // the contents before and after it.
    virtual void change(const followed_record& r, const tag_summary& t, const record_event& e,
                        const record_step& s) = 0;
    // The content became unknown at offset (t: the tag, when a tag did it);
    // notes: the notes on before-images whose change lies in the gap.
    virtual void gap(const followed_record& r, const tag_summary* t, int64_t offset,
                     const std::string& why, const std::vector<image_note>& notes) = 0;
  };

  // f: the filters that narrow the entries shown; the contents follow every
  // change whatever they say.
  record_history(diagnostics& diag, const node_map& names, const filter_settings& f,
                 const history_options& o, listener& l);
  ~record_history();

  void begin_input(const char* name) { log_ = name; }
  void begin_log(const char* log_name, const fwlog_header& h);
  void set_items(const tag_summary& t, int32_t node_id, const std::vector<set_item_decl>& items);
  void record(const tag_summary& t, const record_event& e);
  void tag_done(const tag_summary& t);
  void end_log(log_end how, int64_t offset);
  void series_gap(const series_gap_info& g);
  // A malformed item's text, for the reason of an unreadable FIXREC record.
  void malformed(int64_t offset, const char* text);

  // At the end: warns of the asked records that nothing was read of, and
  // gives the followed ones in the order they were asked for.
  void warn_unmet();
  std::vector<followed_record*> in_request_order() const;
  // --as-of: settles a record that no change after the moment settled.
  void settle_at_end(followed_record& r);

  // The log being read and its character set.
  const char* log() const { return log_; }
  uint16_t charset() const { return charset_; }
  // The ranges and items a change shows.
  void view(const followed_record& r, const record_step& s, change_view& v) const;
  // The items of the node when they add up to the record's length; why
  // says otherwise (empty when the node has none).
  const history_node_items* items_for(int32_t node_id, uint32_t length, std::string* why) const;

 private:
  followed_record* add(size_t request, int32_t node_id, uint32_t recno);
  followed_record* find(int32_t node_id, uint32_t recno);
  followed_record* resolve(int32_t node_id, uint32_t recno);
  void remember_early(int32_t node_id, uint32_t recno);
  void tell_early(const record_request& s, int32_t node_id);
  bool first_look(int32_t node_id);
  bool name_matches(int32_t node_id, const record_request& request);
  bool node_wanted(int32_t node_id);
  void settle_as_of(followed_record& r);
  void settle_before_change(followed_record& r, const tag_summary& t, const record_event& e);
  void note_time(uint32_t ts) {
    if (!have_begin_) {
      have_begin_ = true;
      begins_ = ts;
    }
  }
  // The --as-of moment lies before the series read began.
  bool before_input() const { return have_begin_ && opt_.as_of < begins_; }
  void lose(followed_record& r, const tag_summary* t, int64_t offset, const std::string& why);
  // Asked twice a tag: the usual tag, which goes on from the one before,
  // costs a compare.
  void sequence_break(const tag_summary& t) {
    if (!continuity_.goes_on(t.sequence)) sequence_broken(t);
  }
  void sequence_broken(const tag_summary& t);

  diagnostics& diag_;
  const node_map& names_;
  const filter_settings& filter_;
  const history_options& opt_;
  listener& listener_;

  std::vector<std::unique_ptr<followed_record>> records_;
  std::vector<uint32_t> recnos_;  // the asked record numbers, each once
  bool names_asked_ = false;
  // Node numbers whose names match no asked name, while the name map has
  // names_seen_ entries (a number's name only appears as the map grows).
  std::unordered_map<int32_t, bool> name_checked_;
  size_t names_seen_ = 0;
  // Unnamed nodes whose asked records changed before a name came: told
  // when the name turns out to be asked for.
  struct early_change {
    uint32_t recno;
    uint64_t count;
    int64_t first_offset;
    const char* log;
  };
  std::unordered_map<int32_t, std::vector<early_change>> early_;
  bool early_full_ = false;  // a node's changes were not remembered for want of room
  std::unordered_map<int32_t, std::shared_ptr<history_node_items>> items_;

  const char* log_ = "";
  uint16_t charset_ = 65535;
  int64_t last_event_offset_ = -1;  // the tag of the last record event
  bool e_kind_change_ = false;      // the event being looked up is a change
  std::string last_problem_;        // the last malformed item's text
  int64_t last_problem_offset_ = -1;
  uint32_t last_timestamp_ = 0;  // of the last tag read
  int last_letter_ = -1;         // the letter of the last tag, and
  bool letter_is_tag_ = false;   //   whether it starts a tag of a known kind
  tag_continuity continuity_;
  // The first tag time in the input of the series being read: an --as-of
  // moment before it cannot be told.
  bool have_begin_ = false;
  uint32_t begins_ = 0;
  record_step step_;
  std::vector<image_note> notes_;  // of the record a gap is told of
  std::string scratch_;
};

}  // namespace jrn
