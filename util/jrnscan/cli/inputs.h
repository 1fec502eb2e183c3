// The run's inputs: operands expanded into the files they hold (a
// directory into its files, in name order), each looked into once to tell
// what it holds (a log, a compressed log, a tar archive) and, for ordering,
// where its first log belongs (series and file sequence) and its time
// range; then put in the order the run reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "io/archive.h"
#include "scan/log_peek.h"

namespace jrn {

// A descriptor closed with its owner.
struct owned_fd {
  int fd = -1;
  owned_fd() = default;
  explicit owned_fd(int f) : fd(f) {}
  owned_fd(owned_fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
  owned_fd& operator=(owned_fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd = std::exchange(o.fd, -1);
    }
    return *this;
  }
  ~owned_fd() { reset(); }
  void reset();
};

struct input_unit {
  std::string path;     // to open; "-" is standard input
  std::string shown;    // as messages name it (escaped when they escape)
  size_t given = 0;     // its place among all units as the operands list them
  int error = 0;        // errno of what failed when it was looked into
  std::string trouble;  // another reason it is not read, said at its turn
  bool peeked = false;
  bool archive = false;  // compressed or a tar
  bool tar = false;
  int64_t size = -1;  // of a regular file
  log_peek key;       // its first log's header and first tag
  end_peek end;       // a plain file's last tag, when it is an end tag
  // Standard input, a pipe or a device, opened to tell what it holds: it
  // cannot be read again. Its descriptor (none for standard input) is
  // closed after the reader.
  owned_fd held_fd;
  std::unique_ptr<input_operand> held;
};

struct input_plan {
  std::vector<input_unit> units;
  bool has_directory = false;
};

// The options of the operands' readers: --member-limit, and read-ahead.
input_options reading_options(const run_options& o);

// Expands the operands (directories into their files, recursing with
// --recursive) and, when the order is not "given", looks into every file.
// Nothing is said here: what failed is said when its turn comes.
input_plan plan_inputs(const run_options& o);

// Settles an automatic order (by sequence when a directory or an archive
// is among the operands) and sorts the units for it: in sequence order,
// the units without a log header first (as given), then by volume set id,
// volume generation, file sequence and the order given.
read_order order_inputs(input_plan& plan, read_order wanted);

// The time range of a unit in sequence order, for passing over files
// outside a window: its first tag's time and its last tag's (the end tag
// of a plain file, else the first tag of the next file of its series).
// False when the unit's range cannot be told.
bool unit_time_range(const input_plan& plan, size_t i, uint32_t* first, uint32_t* last,
                     bool* last_known);

// Whether the first log of every unit is known (the unit was looked into)
// and no two units' first logs have the same series and file sequence: a
// log that repeats one read before can then only be a further log of an
// input, never its first.
bool first_logs_unique(const input_plan& plan);

// An operand's or a file's name as messages show it.
std::string shown_file_name(const run_options& o, const char* path);

}  // namespace jrn
