// The file header and the tag stream: header checks and print-out, both
// tag layouts, several logs in one stream, and every way a log ends.
#include <gtest/gtest.h>

#include "golden.h"
#include "logbuild/log_builder.h"

using logbuild::bytes;
using logbuild::header_fields;
using logbuild::log_builder;
using logbuild::page_image;

namespace {

header_fields with_version(const char* version) {
  header_fields h;
  h.version = version;
  return h;
}

std::string header_text(
    const char* version = "1.05",
    const char* middle = "byte order: 1234\ncharacter set: iso-8859-1 (1)\nvolume release: 8\n") {
  return std::string("\nFile: t.fwlog\nversion: ") + version + "\n" + middle +
         "volume set id: 0x5eed\nvolume generation: 3\nfile sequence: 1\n";
}
// A 1.00 header stores no byte order, character set or release.
const std::string old_header_text =
    header_text("1.00", "byte order: 1234\ncharacter set: unknown (65535)\nvolume release: 0\n");

std::string tag_text(const std::string& seq, const std::string& time, const std::string& tag) {
  return "\nsequence = " + seq + "\ntimestamp = " + time + "\ntag = " + tag + "\n";
}
const std::string finish_at_0 = tag_text("1", "1970-01-01 00:00:00 (0)", "EOF_FINISH (70)");

}  // namespace

TEST(Header, Failures) {
  const std::string full = header_bytes(header_fields());
  header_fields swapped, lower, other;
  swapped.byte_order = 0xd204;
  lower.signature = "drav.fwlog";
  other.signature = "DRAV.FWLOX";
  const std::string old = header_bytes(with_version("1.00"));
  struct {
    std::string bytes;
    const char* message;  // behind "bad file format" unless it names its own first line
  } cases[] = {
      {"", "Unable to read file header signature"},
      {full.substr(0, 15), "Unable to read file header signature"},
      {header_bytes(lower), "Unsupported file signature"},
      {header_bytes(other), "Unsupported file signature"},
      {header_bytes(with_version("105")), "File major version not recognized"},
      {header_bytes(with_version(".05")), "File major version not recognized"},
      {header_bytes(with_version("1.")), "File minor version not recognized"},
      {header_bytes(with_version("1.05x")), "File minor version not recognized"},
      {header_bytes(with_version("1.0500")), "File minor version not recognized"},
      {header_bytes(with_version("1.06")), "Unknown file version 1.06"},
      {header_bytes(with_version("2.00")), "Unknown file version 2.00"},
      {header_bytes(swapped), "incompatible file format\nByte order does not match"},
      {full.substr(0, 16), "Unable to read file header byte order"},
      {full.substr(0, 17), "Unable to read file header byte order"},
      {full.substr(0, 19), "Unable to read file header character set"},
      {full.substr(0, 23), "Unable to read file header release"},
      {full.substr(0, 24), "Unable to read file header"},
      {full.substr(0, 35), "Unable to read file header"},
      {old.substr(0, 16), "Unable to read file header"},
      {old.substr(0, 27), "Unable to read file header"},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(c.bytes);
    const bool own_first = std::string(c.message).find('\n') != std::string::npos;
    EXPECT_EQ(r.err,
              std::string("t.fwlog: ") + (own_first ? "" : "bad file format\n") + c.message + "\n")
        << c.bytes.size();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
  }
}

TEST(Header, PrintOut) {
  header_fields audit, odd;
  audit.signature = "DRAV.FWAUD";
  audit.charset = 7;
  odd.charset = 0;
  odd.volume_set_id = 0xabcdef;
  odd.file_sequence = -2;
  struct {
    header_fields h;
    std::string out;
  } cases[] = {
      {with_version("1.5"), header_text()},
      {audit, "\nFile: t.fwlog\nformat: audit-only" +
                  header_text("1.05",
                              "byte order: 1234\ncharacter set: unknown (7)\n"
                              "volume release: 8\n")
                      .substr(14)},
      {with_version("1.00"), old_header_text},
      {odd,
       "\nFile: t.fwlog\nversion: 1.05\nbyte order: 1234\ncharacter set: hp-roman8 (0)\n"
       "volume release: 8\nvolume set id: 0xabcdef\nvolume generation: 3\nfile sequence: -2\n"},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(log_builder(c.h).at(1, 0).end().str());
    EXPECT_EQ(r.out, c.out + finish_at_0) << c.h.version;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

TEST(TagStream, BothLayouts) {
  // One PUT of record 7 ("ab") at sequence 3, then EOF_FINISH; raw bytes so
  // that the layout is pinned here and not by the builder.
  const std::string payload = logbuild::fixrec_payload(7, logbuild::PUT, "ab");
  const std::string rec =
      bytes().u8(13).u8(5).u16(static_cast<uint16_t>(payload.size())).u32(9).u32(17).str();
  const std::string new_log = header_bytes(header_fields()) + bytes().u8('1').u32(3).u32(0).str() +
                              rec + bytes().u32(1).str() + payload +
                              bytes().u8('F').u32(4).u32(1).str();
  const std::string old_log = header_bytes(with_version("1.00")) +
                              bytes().u32(3).u32(0).u8('1').str() + rec + payload +
                              bytes().u32(4).u32(1).u8('F').str();
  const std::string start = "\nsequence = 3\ntimestamp = 1970-01-01 00:00:00 (0)\n";
  const std::string fields = "  recno = 7\n  opcode = PUT (3)\n  data = 2 bytes\n";
  const std::string finish = tag_text("4", "1970-01-01 00:00:01 (1)", "EOF_FINISH (70)");
  const std::string all_lines =
      "tag = REC (49)\n opcode: FIXREC (13)\n transaction_id: 17\n session_id: ";
  const std::string brief = " transaction_id: 17\n session_id: ";
  const std::string all_tail = "\n txn state: TXN (5)\n node_id: #9\n" + fields;
  struct {
    std::string log;
    std::vector<std::string> options;
    std::string out;
  } cases[] = {
      {new_log, {}, header_text() + start + brief + "1\n node_id: #9\n" + fields + finish},
      {new_log, {"-a"}, header_text() + start + all_lines + "1" + all_tail + finish},
      {old_log, {}, old_header_text + start + brief + "0\n node_id: #9\n" + fields + finish},
      {old_log, {"-a"}, old_header_text + start + all_lines + "0" + all_tail + finish},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(c.log, c.options);
    EXPECT_EQ(r.out, c.out) << c.options.size();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  // At detail level 2 the default view shows the tag line as well.
  EXPECT_EQ(golden::scan(new_log, {"-vv"}).out.substr(header_text().size() + start.size(), 15),
            "tag = REC (49)\n");
}

TEST(TagStream, EndsOfInput) {
  struct {
    std::string version, tags, out, err;
  } cases[] = {
      {"1.05", "", "", "Unexpected EOF reading tag opcode\n"},
      {"1.05", bytes().u8('F').u32(1).raw("abc").str(), "", "Unexpected EOF reading tag header\n"},
      {"1.00", bytes().raw("abc").str(), "", "Unexpected EOF reading tag header\n"},
      {"1.00", bytes().u32(1).u32(0).str(), "", "Unexpected EOF reading tag opcode\n"},
      {"1.05", bytes().u8('F').u32(1).u32(0).str(), finish_at_0, ""},
      // Bytes behind an end tag that do not start a log, and an unknown
      // letter, end the report as before, but are said on standard error.
      {"1.05", bytes().u8('C').u32(1).u32(0).raw("XDRAV.FWLOG").str(),
       tag_text("1", "1970-01-01 00:00:00 (0)", "EOF_CONT (67)"),
       "t.fwlog: 11 bytes after the end of the log at offset 45 are not a log; ignored\n"},
      {"1.05", bytes().u8('8').u32(1).u32(0).raw("1junk").str(),
       tag_text("1", "1970-01-01 00:00:00 (0)", "** UNRECOGNIZED TAG TYPE ** (56)"),
       "t.fwlog: unrecognized tag type 0x38 at offset 36; the rest of the input is not read\n"},
      {"1.05", bytes().u8('F').u32(0x80000000u).u32(0xffffffffu).str(),
       tag_text("-2147483648", "2106-02-07 06:28:15 (-1)", "EOF_FINISH (70)"), ""},
  };
  for (const auto& c : cases) {
    golden::result r = golden::scan(header_bytes(with_version(c.version.c_str())) + c.tags);
    EXPECT_EQ(r.out, (c.version == "1.05" ? header_text() : old_header_text) + c.out)
        << c.tags.size();
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 0);
  }
}

TEST(TagStream, SeveralLogsInOneStream) {
  header_fields second;
  second.file_sequence = 2;
  const std::string second_header = header_text().substr(0, header_text().size() - 2) + "2\n";
  const std::string page =
      tag_text("1", "1970-01-01 00:00:00 (0)", "PAGE (50), key = 1 (0x1, ofs = 45)");

  // After EOF_CONT; the offsets restart, so both pages are key 1 at 45.
  log_builder b;
  b.at(1, 0).page(page_image(1)).end('C');
  b.next_log(second).at(1, 0).page(page_image(2)).end();
  golden::result r = golden::scan(b.str(), {"-a"});
  EXPECT_EQ(r.out, header_text() + page +
                       tag_text("2", "1970-01-01 00:00:01 (1)", "EOF_CONT (67)") + second_header +
                       page + tag_text("2", "1970-01-01 00:00:01 (1)", "EOF_FINISH (70)"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);

  // New layout: the next header may follow the last tag directly.
  log_builder direct;
  direct.at(1, 0).page(page_image(1));
  direct.next_log(second).at(1, 0).page(page_image(2)).end();
  r = golden::scan(direct.str(), {"-a"});
  EXPECT_EQ(r.out, header_text() + page + second_header + page +
                       tag_text("2", "1970-01-01 00:00:01 (1)", "EOF_FINISH (70)"));
  EXPECT_EQ(r.status, 0);

  // A second header that fails ends the run with 1 after the first log.
  log_builder failing;
  failing.at(1, 0).end('C').next_log(with_version("1.07"));
  r = golden::scan(failing.str());
  EXPECT_EQ(r.out, header_text() + tag_text("1", "1970-01-01 00:00:00 (0)", "EOF_CONT (67)"));
  EXPECT_EQ(r.err, "t.fwlog: bad file format\nUnknown file version 1.07\n");
  EXPECT_EQ(r.status, 1);
}
