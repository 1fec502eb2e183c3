// -f: an operand read as the server writes it.
#pragma once

#include "cli/options.h"

namespace jrn {

struct scan_context;

// Follows operand (a file, or "-" for standard input), shown as name, as
// it grows, until a stop is asked for or the log ends; returns the
// operand's exit status.
int follow_operand(scan_context& c, const run_options& o, const char* operand, const char* name);

}  // namespace jrn
