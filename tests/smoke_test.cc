#include <gtest/gtest.h>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::log_builder;

TEST(Smoke, DefaultViewShowsImageLikeChange) {
  log_builder b("1.05");
  b.at(1, 0).fixrec(logbuild::PUT, 17, 7, 7, "abc").end();
  golden::result r = golden::scan(b.str());
  EXPECT_EQ(r.out,
            "\nFile: t.fwlog\nversion: 1.05\nbyte order: 1234\ncharacter set: iso-8859-1 (1)\n"
            "volume release: 8\nvolume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n"
            "\nsequence = 1\ntimestamp = 1970-01-01 00:00:00 (0)\n"
            " transaction_id: 17\n session_id: 1\n node_id: #7\n"
            "  recno = 7\n  opcode = PUT (3)\n  data = 3 bytes\n"
            "\nsequence = 2\ntimestamp = 1970-01-01 00:00:01 (1)\ntag = EOF_FINISH (70)\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}
