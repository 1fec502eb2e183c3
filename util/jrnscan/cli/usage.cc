// Usage, help and version texts, the lists of opcode and kind names, and
// the --kind list: what the command line prints or reads besides options.
#include "cli/usage.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/version.h"
#include "records/opcodes.h"
#include "report/out.h"
#include "scan/context.h"

namespace jrn {

namespace {

// The usage as -help and command-line errors show it, on standard error.
const char* const usage_lines[] = {
    "usage: jrnscan [options] fwlog",
    "options:",
    " -help       - show usage (this list)",
    " -v          - display details",
    " -n id       - filter records for specific node#",
    " -t f:t      - filter records from:to time (specified in seconds)",
    " -s f:t      - filter records from:to sequence id",
    " -x f:t      - filter records from:to transaction id",
    " -r rec      - filter records by specific record number",
    " -p num      - filter records for physical page (implies -a)",
    " -o pattern  - filter records by opcode pattern (implies -a)",
    " -a          - display all entry types (by default only IMAGE like",
    "               operations are displayed)",
    " -M file     - specifies file name of node name map (varodor -nt20)",
    "<$END>",
};

// --help: every option with its long name, on standard output.
const char help_text[] =
    "usage: jrnscan [options] fwlog...\n"
    "Prints forward logs in readable form; \"-\" reads standard input.\n"
    "\n"
    "Filters:\n"
    "  -n, --node=ID          records of this node number (-2147483648 to 4294967295;\n"
    "                         above 2147483647 the same node as its negative)\n"
    "  -t, --time=F:T         tags with timestamps from F to T (seconds since 1970)\n"
    "      --since=DATETIME   tags from this date-time on (YYYY-MM-DD[ HH:MM[:SS]],\n"
    "                         local time (UTC with --utc), or UTC with Z, or with\n"
    "                         +HH:MM / -HH:MM); a date alone from its first second\n"
    "      --until=DATETIME   tags up to this date-time; a date alone to its last\n"
    "                         second\n"
    "  -s, --seq=F:T          tags with sequence numbers from F to T\n"
    "  -x, --txn=F:T          records of transactions F to T\n"
    "  -r, --record=REC       fixed records of this record number\n"
    "  -p, --page=NUM         records and page images of this page (implies -a);\n"
    "                         its PAGE tags whatever -t, -s, -x and -n say, and\n"
    "                         SLAVE_SYNC tags\n"
    "  -o, --opcode=PATTERN   records whose opcode name matches the glob, and\n"
    "                         SLAVE_SYNC tags (implies -a)\n"
    "      --kind=LIST        only these tag kinds (REC,PAGE,CLUSTER,NODEMETA,\n"
    "                         BEFORE_IMAGE,AUDIT,CONTEXT,SLAVE_SYNC; implies -a);\n"
    "                         end tags show\n"
    "  -a, --all              every tag and record kind, not only image-like ones\n"
    "\n"
    "Output:\n"
    "  -v, --verbose          more detail; repeat for more (-vv, -vvv)\n"
    "  -M, --map=FILE         node name map (two heading lines, then id kind name parent)\n"
    "      --json             JSON Lines instead of the text report (with --stats:\n"
    "                         the summary as one JSON document; with --check: the\n"
    "                         verdicts)\n"
    "      --offsets          the input offset of each shown tag (not with --stats or\n"
    "                         --check)\n"
    "      --utc              times in UTC, whatever TZ says; --since and --until\n"
    "                         without a zone in UTC too\n"
    "      --limit=N          stop after N shown tags (not with --stats or --check)\n"
    "  -f, --follow           follow a log that is still being written (a directory:\n"
    "                         its newest log, across the server's file switches)\n"
    "      --save=DIR         write the shown page images, before-images and record\n"
    "                         data to files in DIR, with DIR/manifest.jsonl\n"
    "      --escape=WHEN      show control bytes of names as \\xNN: auto (on a\n"
    "                         terminal, the default), always or never\n"
    "      --name-memory=SIZE bound on the names learnt from the log (default 256M)\n"
    "\n"
    "Summaries and checks:\n"
    "      --stats            a summary of the shown tags instead of the report\n"
    "      --top=N            with --stats: nodes, transactions and pages in the\n"
    "                         summary (default 10); with --txns: the N best\n"
    "      --check            whether each log is complete and sound, no report (not\n"
    "                         with --stats)\n"
    "      --strict           with --check: warnings fail the run too\n"
    "      --image-memory=SIZE  with --check: bound on the table of records whose\n"
    "                         before-images are judged (default 1G)\n"
    "      --progress         a progress line on standard error (default: on a\n"
    "                         terminal, for files above 64 MiB)\n"
    "      --no-progress      no progress line\n"
    "\n"
    "Record history:\n"
    "      --history=NODE:RECNO  every change of fixed record RECNO of node NODE (a\n"
    "                         number or a qualified name) with its content before\n"
    "                         and after, instead of the report; may be repeated\n"
    "      --as-of=DATETIME   with --history: each record's content at that moment\n"
    "                         instead (with --save=DIR: also as files in DIR)\n"
    "      --nodes-per-name=N  with --history: the most nodes of one name followed\n"
    "                         (default 16)\n"
    "      --early-nodes=N    with --history by name: the most nodes whose changes\n"
    "                         before they had an asked name are remembered\n"
    "                         (default 64)\n"
    "      --undo[=TXN]       what undoing transaction TXN (or those of -x F:T) takes:\n"
    "                         each record it changed before and after, and the later\n"
    "                         changes that conflict (with --save=DIR: also as files)\n"
    "      --undo-records=N   the most records --undo follows (default 100000)\n"
    "\n"
    "Transactions and sessions:\n"
    "      --txns             one line per transaction as it ends: session and who\n"
    "                         signed it on, first and last tag, records by opcode\n"
    "                         and node, before-images; -x, -n (a node it touched),\n"
    "                         -t, --since, --until, -s (active then) select\n"
    "      --by=KEY           with --txns: rank by records, duration or nodes and\n"
    "                         list the --top N best at the end\n"
    "      --transaction=ID   one transaction in full: who, its tags (every kind),\n"
    "                         and its --txns line\n"
    "      --sessions         one line per session: sign-on entries, sign-on and\n"
    "                         sign-off, databases, transactions, records, memos (-v:\n"
    "                         their texts)\n"
    "      --session=N        with --txns or --sessions: only session N\n"
    "      --txn-table=N      the most transactions followed at once (default 50000)\n"
    "      --session-table=N  the most sessions followed at once (default 20000)\n"
    "\n"
    "Archives (operands may be directories, .gz/.zst/.xz/.bz2 files and tar archives):\n"
    "      --order=ORDER      given: the operands as given, a tar's members as stored;\n"
    "                         sequence: per series by file sequence (the default when\n"
    "                         a directory or an archive is given)\n"
    "      --recursive        read the subdirectories of directory operands too\n"
    "      --member-limit=SIZE  bound on a decompressed log (default 64G)\n"
    "\n"
    "Information:\n"
    "      --list-opcodes     record operation names and codes, for -o\n"
    "      --list-kinds       tag kinds and their letters, for --kind\n"
    "      --help             this text\n"
    "      --version          the tool's version\n"
    "  -help, -version        as the first argument: the classic usage (on standard\n"
    "                         error) and version banner\n"
    "\n"
    "Exit status: 0 when every log was read, 1 when a log could not be read or held a\n"
    "malformed item or a table bound cut the answer, 2 for command-line errors.\n";

const char version_banner[] = "DRAV B.08.00     / WIN32 (build Feb 17 2012)\n";

// 0, or 1 when standard output could not be written (said).
int print_text(const char* text) {
  output out_;
  out_.str(text);
  out_.flush();
  return out_.failed() ? 1 : 0;
}

}  // namespace

// After a command-line error: where to find the options.
int command_line_error() {
  std::fprintf(stderr, "Try 'jrnscan --help' for more information.\n");
  return 2;
}

// The classic usage; ended by the hint when the tool was run with no
// argument at all, which asked for nothing.
int print_usage(bool with_hint) {
  for (const char* line : usage_lines) {
    if (std::strcmp(line, "<$END>") == 0) break;
    std::fprintf(stderr, "%s\n", line);
  }
  std::fprintf(stderr, "\n");
  if (with_hint) return command_line_error();
  return 2;
}

int print_help() { return print_text(help_text); }
int print_version_banner() { return print_text(version_banner); }
int print_version() { return print_text("jrnscan " JRNSCAN_VERSION "\n"); }

int list_opcodes() {
  output out_;
  for (unsigned code = 0; code < 256 && opcode_known(static_cast<uint8_t>(code)); ++code)
    out_.printf("%u %s\n", code, opcode_lookup(static_cast<uint8_t>(code)).name);
  out_.flush();
  return out_.failed() ? 1 : 0;
}

int list_kinds() {
  output out_;
  for (uint8_t letter : body_tag_letters) out_.printf("%c %s\n", letter, tag_letter_name(letter));
  for (uint8_t letter : {tag_letter::eof_cont, tag_letter::eof_finish})
    out_.printf("%c %s\n", letter, tag_letter_name(letter));
  out_.flush();
  return out_.failed() ? 1 : 0;
}

// A bit of filter_settings::kinds that no tag letter has: set for the end
// tags' names, which --list-kinds prints too. End tags show whatever the
// list says, so the names change nothing, but a list of nothing else still
// leaves every other kind out.
constexpr uint32_t end_tags_named = 1u << 31;

// "REC,PAGE": the kind bits; false with a message for an unknown name.
bool parse_kinds(const char* text, uint32_t* kinds) {
  std::string list(text);
  size_t start = 0;
  *kinds = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    const std::string name = list.substr(start, comma == std::string::npos ? comma : comma - start);
    bool found = false;
    // A kind by its name or by the letter --list-kinds shows beside it.
    const bool one_letter = name.size() == 1;
    const int upper = one_letter ? std::toupper(static_cast<unsigned char>(name[0])) : -1;
    for (uint8_t letter : body_tag_letters) {
      if (strcasecmp(name.c_str(), tag_letter_name(letter)) == 0 || upper == letter) {
        *kinds |= kind_bit(letter);
        found = true;
      }
    }
    for (uint8_t letter : {tag_letter::eof_cont, tag_letter::eof_finish}) {
      if (strcasecmp(name.c_str(), tag_letter_name(letter)) == 0 || upper == letter) {
        *kinds |= end_tags_named;
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr,
                   "jrnscan: --kind: unknown tag kind '%s'; the kinds are REC, PAGE, CLUSTER, "
                   "NODEMETA, BEFORE_IMAGE, AUDIT, CONTEXT and SLAVE_SYNC, or their letters "
                   "(end tags, EOF_CONT and EOF_FINISH, always show)\n",
                   name.c_str());
      return false;
    }
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace jrn
