// -f: an operand read as the server writes it.
#pragma once

#include <deque>
#include <string>

#include "cli/options.h"

namespace jrn {

struct scan_context;

// Follows operand (a file, or "-" for standard input), shown as name, as
// it grows, until a stop is asked for or the log ends; a file whose log
// ends with EOF_CONT is said to continue in the next file of its series.
// A directory is followed from its newest log on into each file that
// continues it, until EOF_FINISH or a stop. Returns the operand's exit
// status. The names of the files followed are kept in names, as the
// back-ends may name them until the run's end.
int follow_operand(scan_context& c, const run_options& o, const char* operand, const char* name,
                   std::deque<std::string>& names);

}  // namespace jrn
