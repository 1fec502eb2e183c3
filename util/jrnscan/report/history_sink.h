// --history NODE:RECNO: every change of the asked fixed records, in log
// order across all logs and operands of the run, each with the record's
// content before and after it and what changed; with --as-of TIME instead
// the content each record had at that moment and where that comes from
// (with --save DIR also as files). The report itself is not printed.
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
#include "report/out.h"
#include "report/record_files.h"
#include "scan/diag.h"
#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

class json_writer;

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

class history_sink : public report_sink, public record_observer {
 public:
  // f: the filters that narrow the entries shown (time, sequence,
  // transaction); the contents follow every change whatever they say.
  history_sink(output& out, diagnostics& diag, const node_map& names, const filter_settings& f,
               const history_options& o);
  ~history_sink() override;
  // Opens the --save directory when there is one; false after a message.
  bool open();

  // report_sink: nothing counted, no lines.
  // Every item is validated, shown or not: a malformed record fails the run
  // as it does in every mode.
  bool wants_all_problems() const override { return true; }
  void begin_input(const char* name, int64_t size) override;
  void begin_log(const char* log_name, const fwlog_header& h) override;
  void tag_done(const tag_summary& t) override;
  void end_log(log_end how, int64_t offset) override;
  // Changes may lie in the gap: what is known of every record is lost.
  void series_gap(const series_gap_info& g) override;
  void problem(problem_kind kind, int64_t offset, const char* text) override;
  void flush() override;
  void finish() override;

  // record_observer.
  void record(const tag_summary& t, const record_event& e) override;
  void set_items(const tag_summary& t, int32_t node_id,
                 const std::vector<set_item_decl>& items) override;

 private:
  struct tracked;
  struct item;
  struct node_items;

  tracked* add(size_t request, int32_t node_id, uint32_t recno);
  tracked* find(int32_t node_id, uint32_t recno);
  tracked* resolve(int32_t node_id, uint32_t recno);
  bool first_look(int32_t node_id);
  bool name_matches(int32_t node_id, const record_request& request);
  bool node_wanted(int32_t node_id);
  const node_items* items_for(int32_t node_id, uint32_t length, std::string* why) const;
  void settle_as_of(tracked& r);
  void note_time(uint32_t ts) {
    if (!have_begin_) {
      have_begin_ = true;
      begins_ = ts;
    }
  }
  // The --as-of moment lies before the series read began.
  bool before_input() const { return have_begin_ && opt_.as_of < begins_; }
  void lose(tracked& r, const tag_summary* t, int64_t offset, const std::string& why);
  // Asked twice a tag: the usual tag, which goes on from the one before,
  // costs a compare.
  void sequence_break(const tag_summary& t) {
    if (!continuity_.goes_on(t.sequence)) sequence_broken(t);
  }
  void sequence_broken(const tag_summary& t);

  // Output.
  void print_change(tracked& r, const tag_summary& t, const record_event& e);
  void print_gap(tracked& r, const tag_summary* t, int64_t offset, const std::string& why);
  void print_as_of(const tracked& r);
  void save_as_of(const tracked& r);
  std::string& begin_text(int32_t node_id);
  void mark_cut();
  void json_record(json_writer& w, const tracked& r);
  static void json_item(json_writer& w, const item& it);
  static bool item_changed(const record_step& s, const std::vector<byte_range>& ranges, size_t next,
                           const item& it);
  void item_label(const item& it, std::string& l) const;

  output& out_;
  diagnostics& diag_;
  const node_map& names_;
  const filter_settings& filter_;
  history_options opt_;
  std::unique_ptr<record_files> files_;

  std::vector<std::unique_ptr<tracked>> records_;
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
  std::unordered_map<int32_t, std::shared_ptr<node_items>> items_;

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
  std::vector<image_note> notes_;  // of the record a gap or the end is told of
  std::string scratch_;
};

}  // namespace jrn
