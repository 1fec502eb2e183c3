// What the command line prints besides the run: usage, help and version
// texts and the lists of names that -o and --kind take; and the --kind
// list read into kind bits.
#pragma once

#include <cstdint>

namespace jrn {

// After a command-line error: the hint to --help on standard error; 2.
int command_line_error();
// The classic usage on standard error, ended by the hint when asked; 2.
int print_usage(bool with_hint);
// --help, the classic -version banner, --version: on standard output; 0
// (1 when standard output cannot be written, said).
int print_help();
int print_version_banner();
int print_version();
// --list-opcodes, --list-kinds; 0.
int list_opcodes();
int list_kinds();
// "REC,PAGE" (names or letters, any case): the kind bits; false with a
// message for an unknown name.
bool parse_kinds(const char* text, uint32_t* kinds);

}  // namespace jrn
