// --check --json: one object per log, per series, per input not read
// whole, and one for the run.
#include <cstring>

#include "report/check_sink.h"
#include "report/cut_mark.h"
#include "report/json_writer.h"
#include "report/stats_sink.h"

namespace jrn {

// The JSON object of an input that was not read whole: why, when known.
void check_sink::input_object(const char* name, const char* verdict, const char* why) {
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check_input");
  w.string(json_key("input"), name, std::strlen(name));
  w.ascii(json_key("verdict"), verdict);
  if (why != nullptr) w.string(json_key("reason"), why, std::strlen(why));
  w.end_object();
  w.end_line();
}

void check_sink::print_log_json(log_end how, int64_t offset) {
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check");
  w.string(json_key("log"), input_name_.data(), input_name_.size());
  w.u64(json_key("log_index"), log_index_);
  w.i64(json_key("offset"), log_start_);
  w.ascii(json_key("verdict"), log_.verdict());
  w.u64(json_key("errors"), log_.errors);
  w.u64(json_key("warnings"), log_.warnings);
  w.u64(json_key("tags"), log_.tags);
  if (log_.have_header) {
    w.u64(json_key("volume_set_id"), log_.volume_set);
    w.u64(json_key("volume_generation"), log_.generation);
    w.i64(json_key("file_sequence"), log_.file_sequence);
  }
  if (log_.tags > 0) {
    w.u64(json_key("first_sequence"), log_.first_seq);
    w.u64(json_key("last_sequence"), log_.last_seq);
    w.u64(json_key("first_timestamp"), log_.first_ts);
    w.iso_time(json_key("first_time"), log_.first_ts);
    w.u64(json_key("last_timestamp"), log_.last_ts);
    w.iso_time(json_key("last_time"), log_.last_ts);
  }
  w.ascii(json_key("end"), log_end_key(how));
  w.i64(json_key("end_offset"), offset);
  if (log_.unread > 0)
    w.i64(json_key("unread_bytes"), log_.unread);
  else if (log_.unread < 0)
    w.null(json_key("unread_bytes"));
  w.u64(json_key("sequence_breaks"), log_.sequence_breaks);
  w.u64(json_key("timestamps_back"), log_.times_back);
  w.u64(json_key("before_image_mismatches"), log_.mismatches);
  w.u64(json_key("transactions_not_ended"), log_.txns_not_ended);
  w.begin_array(json_key("findings"));
  for (const kept_finding& f : findings_) {
    w.begin_object();
    w.ascii(json_key("level"), f.level);
    w.i64(json_key("offset"), f.offset);
    w.string(json_key("text"), f.text.data(), f.text.size());
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("findings_omitted"), findings_dropped_);
  w.end_object();
  w.end_line();
}

void check_sink::print_series_json(const series_judgement& j) {
  const check_log_record* b = j.begin;
  const check_log_record& last = j.end[-1];
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check_series");
  w.u64(json_key("volume_set_id"), b->volume_set);
  w.u64(json_key("volume_generation"), b->generation);
  w.ascii(json_key("verdict"), j.errors > 0 ? "errors" : j.warnings > 0 ? "warnings" : "ok");
  w.u64(json_key("errors"), j.errors);
  w.u64(json_key("warnings"), j.warnings);
  w.u64(json_key("logs"), j.logs());
  w.u64(json_key("logs_not_judged"), j.not_judged);
  w.u64(json_key("logs_with_errors"), j.logs_with_errors());
  w.i64(json_key("first_file_sequence"), b->file_sequence);
  w.i64(json_key("last_file_sequence"), last.file_sequence);
  w.ascii(json_key("end"), log_end_key(last.how));
  w.u64(json_key("missing_file_sequences"), j.missing);
  w.begin_array(json_key("missing"));
  for (const auto& m : j.missing_ranges) {
    w.begin_array();
    w.i64(m.first);
    w.i64(m.second);
    w.end_array();
  }
  w.end_array();
  w.u64(json_key("missing_omitted"), j.missing_omitted);
  w.begin_array(json_key("duplicates"));
  for (const series_judgement::duplicate& d : j.duplicates) {
    w.begin_object();
    w.i64(json_key("file_sequence"), d.file_sequence);
    w.u64(json_key("copies"), d.copies);
    w.boolean(json_key("identical"), d.identical);
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("duplicates_omitted"), j.duplicates_omitted);
  w.begin_array(json_key("findings"));
  for (const kept_finding& f : findings_) {
    w.begin_object();
    w.ascii(json_key("level"), f.level);
    w.string(json_key("text"), f.text.data(), f.text.size());
    w.end_object();
  }
  w.end_array();
  w.u64(json_key("findings_omitted"), findings_dropped_);
  w.end_object();
  w.end_line();
}

void check_sink::print_run_json() {
  json_writer w(out_);
  w.begin_object();
  w.ascii(json_key("type"), "check_run");
  w.u64(json_key("logs"), run_.logs);
  w.u64(json_key("errors"), run_.log_errors());
  w.u64(json_key("logs_with_errors"), run_.logs_with_errors);
  w.u64(json_key("warnings"), run_.warnings);
  w.u64(json_key("inputs_not_opened"), run_.inputs_failed);
  w.u64(json_key("inputs_damaged"), run_.inputs_damaged);
  w.u64(json_key("before_image_mismatches"), run_.mismatches);
  w.boolean(json_key("image_memory_full"), contents_full_said_);
  w.u64(json_key("transactions_not_ended"), run_.txns_not_ended);
  w.boolean(json_key("txn_table_full"), txn_table_full_said_);
  w.u64(json_key("series"), run_.series);
  w.u64(json_key("series_errors"), run_.series_errors);
  w.u64(json_key("series_with_errors"), run_.series_with_errors);
  w.boolean(json_key("strict"), opt_.strict);
  w.ascii(json_key("verdict"), exit_status() != 0 ? "failed" : "ok");
  cut_keys(diag_, w);
  w.end_object();
  w.end_line();
}

}  // namespace jrn
