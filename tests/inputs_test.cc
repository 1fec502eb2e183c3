// Directories, compressed logs and tar archives as operands: read in the
// order of the server's writing whatever their names and forms, each log
// reported as if read plain, what is wrong with one member said with its
// name while the rest is read, and files outside a time window passed
// over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "golden.h"
#include "logbuild/archive_writer.h"
#include "logbuild/log_builder.h"
#include "scan/log_peek.h"

using logbuild::compression;
using logbuild::header_fields;
using logbuild::log_builder;

namespace {

const uint32_t t0 = 1700000000;  // 2023-11-14 22:13:20

// Log n of a series of volume set 0x5eed: records and a before-image, the
// end tag EOF_CONT (EOF_FINISH for the last), sequences and times going on
// from log n - 1's (100 s apart).
std::string series_log(int32_t n, bool last = false) {
  header_fields h;
  h.file_sequence = n;
  log_builder b(h);
  const uint32_t seq = 3 * static_cast<uint32_t>(n - 1);
  const uint32_t ts = t0 + 100 * static_cast<uint32_t>(n - 1);
  b.at(seq + 1, ts).fixrec(logbuild::PUT, 10 + n, 100, n, "record " + std::to_string(n));
  b.at(seq + 2, ts + 1).fixrec(logbuild::DELETE, 10 + n, 100, n, "");
  b.at(seq + 3, ts + 2).end(last ? 'F' : 'C');
  return b.str();
}

void make_dir(const std::string& name) { mkdir((golden::work_dir() + "/" + name).c_str(), 0700); }

// The report with each "File: NAME" line's name left out, to compare the
// logs' reports whatever the files are called.
std::string without_names(const std::string& report) {
  std::string out;
  size_t at = 0;
  while (at < report.size()) {
    size_t end = report.find('\n', at);
    end = end == std::string::npos ? report.size() : end + 1;
    const std::string line = report.substr(at, end - at);
    out += line.rfind("File: ", 0) == 0 ? "File:\n" : line;
    at = end;
  }
  return out;
}

// The names of the "File: NAME" lines of a report, in order.
std::vector<std::string> file_lines(const std::string& report) {
  std::vector<std::string> names;
  for (size_t at = report.find("File: "); at != std::string::npos;
       at = report.find("\nFile: ", at + 1)) {
    const size_t from = report[at] == '\n' ? at + 7 : at + 6;
    names.push_back(report.substr(from, report.find('\n', from) - from));
  }
  return names;
}

TEST(Archives, LogsAreReadBySequenceWhateverTheirNamesAndForms) {
  make_dir("mixed");
  // File sequences 1 to 5, named against their order, in every form: a
  // plain file, gzip, zstd, and a bzip2 tar holding xz-compressed 4 and
  // plain 5.
  golden::temp_file(series_log(1), "mixed/zz.fwlog");
  golden::temp_file(logbuild::compress(series_log(2), compression::gzip), "mixed/b.gz");
  golden::temp_file(logbuild::compress(series_log(3), compression::zstd), "mixed/a");
  golden::temp_file(logbuild::tar_bytes({{"day/", "", logbuild::tar_member::directory},
                                         {"day/000004.fwlog.xz",
                                          logbuild::compress(series_log(4), compression::xz)},
                                         {"day/000005.fwlog", series_log(5, true)}},
                                        compression::bzip2),
                    "mixed/c.tar.bz2");
  std::vector<std::string> plain;
  for (int n = 1; n <= 5; ++n)
    plain.push_back(golden::temp_file(series_log(n, n == 5), "p" + std::to_string(n)));

  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-a", "-v"}, {"--json", "-a"}, {"--check"}}) {
    std::vector<std::string> args = options;
    args.push_back("mixed");
    const golden::result archive = golden::run(args);
    args = options;
    args.insert(args.end(), plain.begin(), plain.end());
    const golden::result reference = golden::run(args);
    SCOPED_TRACE(options[0]);
    EXPECT_EQ(archive.err, "");
    EXPECT_EQ(archive.status, 0);
    if (options[0] == "-a") {
      EXPECT_EQ(without_names(archive.out), without_names(reference.out));
      // Members are named by the archive and their path in it.
      EXPECT_NE(archive.out.find("\nFile: mixed/c.tar.bz2:day/000004.fwlog.xz\n"),
                std::string::npos);
    }
    if (options[0] == "--json") {
      EXPECT_NE(archive.out.find("\"mixed/c.tar.bz2:day/000005.fwlog\""), std::string::npos);
    }
    if (options[0] == "--check") {
      EXPECT_NE(archive.out.find("file sequences 1 to 5"), std::string::npos) << archive.out;
    }
  }
  // --order=given reads the names' order; standard input may be compressed.
  const golden::result given = golden::run({"--order=given", "--check", "mixed"});
  EXPECT_LT(given.out.find("mixed/a:"), given.out.find("mixed/zz.fwlog:"));
  const golden::result piped =
      golden::run({"-a", "-"}, logbuild::compress(series_log(1), compression::zstd));
  const golden::result direct = golden::run({"-a", plain[0]});
  EXPECT_EQ(without_names(piped.out), without_names(direct.out));
  EXPECT_EQ(piped.status, 0);
}

TEST(Archives, WhatIsWrongWithAMemberIsSaidByNameAndTheRestIsRead) {
  make_dir("bad");
  // A gzip stream damaged in its middle: zlib's check finds it.
  std::string big;
  {
    header_fields h;
    h.file_sequence = 1;
    log_builder b(h);
    for (int i = 0; i < 2000; ++i)
      b.fixrec(logbuild::PUT, 7, 100, i, std::string(50, 'a' + i % 26));
    big = b.end('C').str();
  }
  std::string gz = logbuild::compress(big, compression::gzip);
  for (size_t i = gz.size() / 2; i < gz.size() / 2 + 16; ++i) gz[i] = static_cast<char>(~gz[i]);
  golden::temp_file(gz, "bad/1.gz");
  // A tar with a text member, cut short in its last member.
  std::string tar = logbuild::tar_bytes(
      {{"notes.txt", "not a log\n"}, {"3.fwlog", series_log(3)}, {"4.fwlog", series_log(4)}});
  tar.resize(tar.size() - 1024 - 200);
  golden::temp_file(tar, "bad/3.tar");
  golden::temp_file(series_log(2), "bad/2.fwlog");
  ASSERT_EQ(symlink("loop", (golden::work_dir() + "/bad/loop").c_str()), 0);
  const golden::result r = golden::run({"--check", "bad"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad/loop: Too many levels of symbolic links\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("bad/1.gz: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("bad/3.tar:notes.txt: bad file format\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("bad/3.tar"), std::string::npos) << r.err;
  // The sound logs are read and judged all the same.
  EXPECT_NE(r.out.find("bad/2.fwlog: ok"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bad/3.tar:3.fwlog: ok"), std::string::npos) << r.out;

  // A tar cut short inside its second member's header: the first log is
  // judged sound, the archive is not, and the verdict says so as the
  // status does.
  std::string cut_tar =
      logbuild::tar_bytes({{"1.fwlog", series_log(1)}, {"2.fwlog", series_log(2)}});
  cut_tar.resize(512 + (series_log(1).size() + 511) / 512 * 512 + 100);
  golden::temp_file(cut_tar, "cut.tar");
  const golden::result cut = golden::run({"--check", "cut.tar"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find("1 archive not read to the end: failed\n"), std::string::npos)
      << cut.out << cut.err;

  // A stream whose check fails only behind the log's end tag: the log was
  // read whole, but the run and the verdict fail alike.
  std::string crc = logbuild::compress(series_log(1), compression::gzip);
  crc[crc.size() - 8] = static_cast<char>(~crc[crc.size() - 8]);
  golden::temp_file(crc, "crc.gz");
  const golden::result after_end = golden::run({"--check", "crc.gz"});
  EXPECT_EQ(after_end.status, 1);
  EXPECT_NE(after_end.out.find("check: 1 log: 1 error in 1 log, 1 warning: failed"),
            std::string::npos)
      << after_end.out;

  // A member bigger than --member-limit ends there, said.
  golden::temp_file(logbuild::compress(big, compression::zstd), "big.zst");
  const golden::result limited = golden::run({"--check", "--member-limit=64K", "big.zst"});
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.err.find("big.zst"), std::string::npos) << limited.err;
  EXPECT_EQ(golden::run({"--check", "big.zst"}).status, 0);
}

TEST(Archives, ManyFilesAndDirectoriesThatLeadBack) {
  // Ten thousand files of one series, and a link back up with --recursive.
  make_dir("many");
  make_dir("many/sub");
  const int files = 10000;
  for (int n = 1; n <= files; ++n) {
    header_fields h;
    h.file_sequence = n;
    log_builder b(h);
    b.at(static_cast<uint32_t>(n), t0 + static_cast<uint32_t>(n)).end(n == files ? 'F' : 'C');
    golden::temp_file(b.str(), (n % 2 ? "many/" : "many/sub/") + std::to_string(files - n));
  }
  ASSERT_EQ(symlink("..", (golden::work_dir() + "/many/sub/up").c_str()), 0);
  golden::result r = golden::run({"--check", "many"});
  // Without --recursive, only the top directory's files: every second one.
  EXPECT_NE(r.out.find("5000 logs, file sequences 1 to 9999"), std::string::npos) << r.err;
  r = golden::run({"--check", "--recursive", "many"});
  EXPECT_EQ(r.err,
            "many/sub/up: is a directory read before (a link leads back to it); not read again\n");
  EXPECT_NE(r.out.find(": ok, 10000 logs, file sequences 1 to 10000\n"), std::string::npos);
  EXPECT_EQ(r.status, 1);
}

TEST(Archives, FilesOutsideTheTimeWindowAreNotRead) {
  make_dir("days");
  // File n's tags lie at t0 + 100 (n - 1) and the two seconds behind.
  golden::temp_file(series_log(1), "days/1");
  golden::temp_file(logbuild::compress(series_log(2), compression::gzip), "days/2.gz");
  golden::temp_file(series_log(3), "days/3");
  golden::temp_file(series_log(4, true), "days/4");
  // 22:15:30 to 22:16:50: file 1 (plain) ended at 22:13:22 and file 4
  // begins at 22:18:20; file 2 (compressed, from 22:15:00) is taken to last
  // until file 3 begins (22:16:40), inside the window.
  const golden::result r = golden::run(
      {"-a", "--utc", "--since=2023-11-14 22:15:30", "--until=2023-11-14 22:16:50", "days"});
  EXPECT_EQ(r.out.find("File: days/1\n"), std::string::npos);
  EXPECT_NE(r.out.find("File: days/2.gz\n"), std::string::npos);
  EXPECT_NE(r.out.find("File: days/3\n"), std::string::npos);
  EXPECT_EQ(r.out.find("File: days/4\n"), std::string::npos);
  EXPECT_EQ(r.status, 0);
  // The check reads every file whatever the window, and -p does too: it
  // shows its page's PAGE tags whatever the times say.
  const golden::result check = golden::run({"--check", "--since=2023-11-14 22:15:30", "days"});
  EXPECT_NE(check.out.find("4 logs"), std::string::npos) << check.out;
  make_dir("paged");
  header_fields h;
  golden::temp_file(log_builder(h).at(1, t0).page(logbuild::page_image(1)).end('C').str(),
                    "paged/1");
  h.file_sequence = 2;
  golden::temp_file(log_builder(h).at(2, t0 + 100).end('F').str(), "paged/2");
  const golden::result paged = golden::run({"-p", "1", "--since=2023-11-14 22:14:00", "paged"});
  EXPECT_EQ(file_lines(paged.out), (std::vector<std::string>{"paged/1", "paged/2"})) << paged.out;
  EXPECT_NE(paged.out.find("PAGE"), std::string::npos) << paged.out;
}

TEST(Archives, EveryLogIsPlacedByItsHeaderWhateverItIsAndHowItComes) {
  struct placing {
    std::string dir;
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    std::string stdin_bytes;
    std::vector<std::string> want;  // the logs' names in the order read
  };
  auto versioned = [](const char* version, int32_t n) {
    header_fields h;
    h.version = version;
    h.file_sequence = n;
    return log_builder(h).at(static_cast<uint32_t>(n), t0 + 100 * n).end('C').str();
  };
  // Standard input, plain or compressed, among a directory's files.
  std::vector<placing> cases = {
      {"in1", {{"a", series_log(1)}, {"b", series_log(3)}}, series_log(2), {"a", "-", "b"}},
      {"in2",
       {{"a", series_log(1)}, {"b", series_log(3)}},
       logbuild::compress(series_log(2), compression::gzip),
       {"a", "-", "b"}},
      {"in3", {{"a", series_log(1)}}, series_log(2), {"a", "-"}},
  };
  // Version fields the reader takes, however they are written.
  for (const char* version : {"01.05", " 1.05", "+1.5", "1.0", "1.-1"})
    cases.push_back({"v" + std::to_string(cases.size()),
                     {{"a", versioned(version, 2)}, {"b", versioned("1.05", 1)}},
                     "",
                     {"b", "a"}});
  for (const placing& p : cases) {
    make_dir(p.dir);
    for (const auto& f : p.files) golden::temp_file(f.second, p.dir + "/" + f.first);
    std::vector<std::string> args = {"-a"};
    if (!p.stdin_bytes.empty()) args.push_back("-");
    args.push_back(p.dir);
    std::vector<std::string> want;
    for (const std::string& name : p.want)
      want.push_back(name == "-" ? "(stdin)" : p.dir + "/" + name);
    const golden::result r = golden::run(args, p.stdin_bytes);
    SCOPED_TRACE(p.dir);
    EXPECT_EQ(file_lines(r.out), want) << r.out << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

TEST(Archives, TheLookIntoAFileTakesTheVersionFieldsTheReaderTakes) {
  for (const char* version : {"1.05", "1.5",  "1.0",  "1.00",   "01.05", " 1.05", "+1.5", "1.+5",
                              "1. 5", "1.-1", "1.-0", "-1.5",   "1.6",   "2.05",  "0.5",  "1.",
                              "1",    "1.5x", "x1.5", "1.0500", "1.005", " 1.5 "}) {
    header_fields h;
    h.version = version;
    const std::string log = log_builder(h).at(7, t0).end('F').str();
    const jrn::log_peek k = jrn::peek_log(reinterpret_cast<const uint8_t*>(log.data()), log.size());
    const golden::result r = golden::scan(log);
    const bool read = r.err.find("bad file format") == std::string::npos;
    SCOPED_TRACE(version);
    EXPECT_EQ(k.is_log, read) << r.err;
    if (!read) continue;
    EXPECT_EQ(k.first_sequence, 7u);
    EXPECT_EQ(k.first_timestamp, t0);
    EXPECT_EQ(k.file_sequence, 1);
  }
}

}  // namespace
