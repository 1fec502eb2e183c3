#include "report/cut_mark.h"

#include "report/json_writer.h"

namespace jrn {

void cut_line(const diagnostics& d, std::string& l) {
  if (!d.bounds_reached()) return;
  l += "incomplete: ";
  l += d.cut_reason();
  l += '\n';
}

void cut_keys(const diagnostics& d, json_writer& w) {
  if (!d.bounds_reached()) return;
  const std::string why = d.cut_reason();
  w.boolean(json_key("complete"), false);
  w.string(json_key("reason"), why.data(), why.size());
}

void cut_object(const diagnostics& d, json_writer& w) {
  if (!d.bounds_reached()) return;
  w.begin_object();
  w.ascii(json_key("type"), "incomplete");
  cut_keys(d, w);
  w.end_object();
  w.end_line();
}

}  // namespace jrn
