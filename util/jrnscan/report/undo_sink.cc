#include "report/undo_sink.h"

#include <algorithm>

#include "report/record_text.h"

namespace jrn {

undo_sink::undo_sink(output& out, diagnostics& diag, const node_map& names, const undo_options& o)
    : out_(out),
      diag_(diag),
      names_(names),
      opt_(o),
      table_(diag, o.from_txn, o.to_txn, o.max_records) {}

undo_sink::~undo_sink() = default;

bool undo_sink::open() {
  if (opt_.save_dir.empty()) return true;
  files_ = std::make_unique<record_files>(diag_);
  manifest_out_ = std::make_unique<output>(manifest_line_);
  return files_->open(opt_.save_dir);
}

void undo_sink::begin_input(const char* name, int64_t) { table_.begin_input(name); }
void undo_sink::begin_log(const char* log_name, const fwlog_header& h) {
  table_.begin_log(log_name, h);
}
void undo_sink::series_gap(const series_gap_info& g) { table_.series_gap(g); }
void undo_sink::record(const tag_summary& t, const record_event& e) { table_.record(t, e); }
void undo_sink::tag_done(const tag_summary& t) { table_.tag_done(t); }
void undo_sink::end_log(log_end how, int64_t offset) { table_.end_log(how, offset); }
void undo_sink::flush() { out_.flush(); }

std::string undo_sink::node_text(int32_t node_id) const {
  std::string s;
  names_.append_display(node_id, true, opt_.escape ? text_form::terminal : text_form::raw, s);
  return s;
}

void undo_sink::finish() {
  uint64_t count[4] = {0, 0, 0, 0};
  uint64_t records = 0, with_conflicts = 0;
  std::vector<followed*> order;
  for (const auto& p : table_.records()) {
    if (p->started) {
      order.push_back(p.get());
      continue;
    }
    // A before-image of theirs that no change of theirs followed.
    diag_.say(
        "jrnscan: warning: --undo: the before-image of record %u of %s at %s (transaction %u) "
        "is followed by no change of the record by the transaction\n",
        p->recno, node_text(p->node_id).c_str(), offset_in(p->image.offset, p->image.log).c_str(),
        p->image.transaction_id);
  }
  // In the order of the transactions' first change of each record (a
  // record is followed from its before-image, which may come earlier).
  std::sort(order.begin(), order.end(),
            [](const followed* a, const followed* b) { return a->order < b->order; });
  for (followed* p : order) {
    followed& r = *p;
    const action a = undo_table::settle(r);
    ++records;
    ++count[static_cast<int>(a)];
    with_conflicts += r.conflict_count != 0;
    if (opt_.json)
      print_json(r, a);
    else
      print_text(r, a);
    save(r, a);
  }
  if (files_) files_->close();

  if (opt_.json)
    print_summary_json(count, records, with_conflicts);
  else
    print_summary_text(count, records, with_conflicts);
}

}  // namespace jrn
