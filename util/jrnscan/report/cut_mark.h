// How an answer that a table bound cut says so, the same in every mode: in
// text one line "incomplete: <reasons>", in JSON "complete": false and
// "reason" (on the mode's last line, or on a line of type "incomplete" of
// its own). An answer that no bound cut gets neither.
#pragma once

#include <string>

#include "scan/diag.h"

namespace jrn {

class json_writer;

// Appends "incomplete: <reasons>\n" to l when a bound cut the answer.
void cut_line(const diagnostics& d, std::string& l);
// Adds the keys "complete" (false) and "reason" to the object being
// written when a bound cut the answer.
void cut_keys(const diagnostics& d, json_writer& w);
// Writes {"type":"incomplete","complete":false,"reason":...} as a line of
// its own when a bound cut the answer (modes without a last line).
void cut_object(const diagnostics& d, json_writer& w);

}  // namespace jrn
