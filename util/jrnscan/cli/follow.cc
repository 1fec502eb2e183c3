#include "cli/follow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/follow_source.h"
#include "log/scan.h"
#include "scan/context.h"

namespace jrn {

int follow_operand(scan_context& c, const run_options& /*o*/, const char* operand,
                   const char* name) {
  const bool is_stdin = std::strcmp(operand, "-") == 0;
  const int fd = is_stdin ? 0 : ::open(operand, O_RDONLY);
  if (fd < 0) {
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  struct stat st;
  const bool have_stat = fstat(fd, &st) == 0;
  if (have_stat && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    c.diag.perror(name);
    c.out.input_failed(name);
    return 1;
  }
  const bool regular = have_stat && S_ISREG(st.st_mode);
  c.out.begin_input(name, regular ? static_cast<int64_t>(st.st_size) : -1);
  follow_source in(fd, is_stdin ? nullptr : operand);
  const int status = scan_input(c, in, name);
  if (!is_stdin) ::close(fd);
  return status;
}

}  // namespace jrn
