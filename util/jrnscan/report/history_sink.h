// --history NODE:RECNO: every change of the asked fixed records, in log
// order across all logs and operands of the run, each with the record's
// content before and after it and what changed; with --as-of TIME instead
// the content each record had at that moment and where that comes from
// (with --save DIR also as files). The report itself is not printed.
//
// The records are followed by record_history (model/record_history.h);
// this sink hands it the events and what it shows to the text
// (history_text.cc) or the JSON Lines (history_json.cc).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/record_history.h"
#include "report/out.h"
#include "report/record_files.h"
#include "scan/diag.h"
#include "scan/filter.h"
#include "scan/node_map.h"
#include "scan/record_events.h"
#include "scan/report.h"

namespace jrn {

// How the history is written: the text or the JSON Lines.
class history_renderer {
 public:
  virtual ~history_renderer() = default;
  // An entry for a change (v: its ranges and items), for a gap, and with
  // --as-of for the content at that moment.
  virtual void change(const followed_record& r, const tag_summary& t, const record_event& e,
                      const record_step& s, const change_view& v) = 0;
  virtual void gap(const followed_record& r, const tag_summary* t, int64_t offset,
                   const std::string& why, const std::vector<image_note>& notes) = 0;
  virtual void as_of(const followed_record& r) = 0;
  // At the end of a history without --as-of, for each record that was read
  // of: its count and last content (the text only).
  virtual void summary(followed_record& /*r*/) {}
  // The last line when a bound cut the history.
  virtual void mark_cut() = 0;
};

// What the renderers read.
struct history_context {
  output& out;
  diagnostics& diag;
  const node_map& names;
  const filter_settings& filter;
  const history_options& opt;
  const record_history& records;
};

std::unique_ptr<history_renderer> make_history_text(const history_context& c);
std::unique_ptr<history_renderer> make_history_json(const history_context& c);
// The --save manifest line of a record's content at the --as-of moment;
// file: the name of the file that holds it, null when there is none.
std::string history_as_of_manifest(const node_map& names, const followed_record& r, uint32_t as_of,
                                   const char* file);

class history_sink : public report_sink, public record_observer, record_history::listener {
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
  // record_history::listener.
  void change(const followed_record& r, const tag_summary& t, const record_event& e,
              const record_step& s) override;
  void gap(const followed_record& r, const tag_summary* t, int64_t offset, const std::string& why,
           const std::vector<image_note>& notes) override;
  void save_as_of(const followed_record& r);

  output& out_;
  diagnostics& diag_;
  const node_map& names_;
  history_options opt_;
  std::unique_ptr<record_files> files_;
  record_history records_;
  std::unique_ptr<history_renderer> renderer_;
  change_view view_;
};

}  // namespace jrn
