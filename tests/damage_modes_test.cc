// Damage said the same way by every mode: a malformed record fails every
// analysis mode as it fails the report; a record too short or cut short is
// shown with -a as far as it was read; a log whose header is refused is
// placed where it begins; the unread rest behind a tag letter of no kind
// is dated by the last tag read, not by the bytes behind the letter.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "golden.h"
#include "json_reader.h"
#include "logbuild/log_builder.h"

using logbuild::header_fields;
using logbuild::log_builder;

namespace {

// Logs whose first record breaks a size rule, then a change of record
// 102:7 in transaction 5; and one without damage.
struct damaged {
  const char* what;
  std::string log;
  int status;
};

std::vector<damaged> damaged_logs() {
  std::vector<damaged> v;
  auto add = [&](const char* what, uint8_t op, const std::string& payload, int status) {
    log_builder b;
    b.image(op, 1, 2, payload);
    b.fixrec(logbuild::PUT, 5, 102, 7, "x", 2);
    b.fixrec(logbuild::UPDATE, 5, 102, 7, "y", 3);
    b.end('F');
    v.push_back({what, b.str(), status});
  };
  add("a NODEPAGE of 3 bytes", logbuild::OP_NODEPAGE, "abc", 1);
  add("a FIXREC_META of 31 bytes", logbuild::OP_FIXREC_META, std::string(31, 'm'), 1);
  add("a FIXREC of 16 bytes", logbuild::OP_FIXREC, std::string(16, 'f'), 1);
  add("a NODEPAGE without payload", logbuild::OP_NODEPAGE, "", 0);
  return v;
}

}  // namespace

TEST(DamageModes, MalformedRecordFailsEveryMode) {
  const std::vector<std::vector<std::string>> modes = {{"-a"},
                                                       {"--stats"},
                                                       {"--check"},
                                                       {"--txns"},
                                                       {"--sessions"},
                                                       {"--history=102:7"},
                                                       {"--undo=5"},
                                                       {"--transaction=5"},
                                                       {"--txns", "--json"},
                                                       {"--history=102:7", "--as-of=2030-01-01"}};
  for (const damaged& d : damaged_logs()) {
    for (const std::vector<std::string>& m : modes) {
      const golden::result r = golden::scan(d.log, m);
      EXPECT_EQ(r.status, d.status) << d.what << ", " << m[0] << "\n" << r.err;
      EXPECT_EQ(r.err.find("malformed") != std::string::npos, d.status == 1)
          << d.what << ", " << m[0] << "\n"
          << r.err;
    }
  }
}
