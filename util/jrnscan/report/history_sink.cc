#include "report/history_sink.h"

#include <cstdio>

namespace jrn {

history_sink::history_sink(output& out, diagnostics& diag, const node_map& names,
                           const filter_settings& f, const history_options& o)
    : out_(out),
      diag_(diag),
      names_(names),
      opt_(o),
      records_(diag, names, f, opt_, *this),
      renderer_((opt_.json ? make_history_json : make_history_text)(
          history_context{out, diag, names, f, opt_, records_})) {}

history_sink::~history_sink() = default;

bool history_sink::open() {
  if (opt_.save_dir.empty()) return true;
  files_ = std::make_unique<record_files>(diag_);
  return files_->open(opt_.save_dir);
}

void history_sink::begin_input(const char* name, int64_t) { records_.begin_input(name); }

void history_sink::begin_log(const char* log_name, const fwlog_header& h) {
  records_.begin_log(log_name, h);
}

void history_sink::set_items(const tag_summary& t, int32_t node_id,
                             const std::vector<set_item_decl>& items) {
  records_.set_items(t, node_id, items);
}

void history_sink::record(const tag_summary& t, const record_event& e) { records_.record(t, e); }

void history_sink::tag_done(const tag_summary& t) { records_.tag_done(t); }

void history_sink::end_log(log_end how, int64_t offset) { records_.end_log(how, offset); }

void history_sink::series_gap(const series_gap_info& g) { records_.series_gap(g); }

void history_sink::problem(problem_kind kind, int64_t offset, const char* text) {
  if (kind == problem_kind::malformed) records_.malformed(offset, text);
}

void history_sink::flush() { out_.flush(); }

void history_sink::change(const followed_record& r, const tag_summary& t, const record_event& e,
                          const record_step& s) {
  view_ = change_view();
  records_.view(r, s, view_);
  renderer_->change(r, t, e, s, view_);
}

void history_sink::gap(const followed_record& r, const tag_summary* t, int64_t offset,
                       const std::string& why, const std::vector<image_note>& notes) {
  renderer_->gap(r, t, offset, why, notes);
}

void history_sink::save_as_of(const followed_record& r) {
  if (!files_ || files_->failed()) return;
  char name[80];
  std::snprintf(name, sizeof name, "record.%u.%u.as-of", static_cast<uint32_t>(r.node_id), r.recno);
  const bool file = r.at.is_known();
  if (file && !files_->write(name, r.at.bytes.data(), r.at.bytes.size())) return;
  files_->manifest(history_as_of_manifest(names_, r, opt_.as_of, file ? name : nullptr));
}

void history_sink::finish() {
  // The asked records that nothing was read of.
  records_.warn_unmet();
  // In the order the records were asked for.
  const std::vector<followed_record*> order = records_.in_request_order();
  if (opt_.as_of_given) {
    for (followed_record* r : order) {
      records_.settle_at_end(*r);
      renderer_->as_of(*r);
      save_as_of(*r);
    }
    if (files_) files_->close();
  } else {
    for (followed_record* r : order)
      if (r->events != 0) renderer_->summary(*r);
  }
  renderer_->mark_cut();
}

}  // namespace jrn
