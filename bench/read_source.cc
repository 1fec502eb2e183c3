// Reads an operand through the tool's input layer, every member to its end,
// and prints what it read: the benchmark's stand-in for a scan of
// compressed operands. Every 8-byte word is summed, so that each byte is
// touched as a scan touches it.
//
//   read_source [--no-thread] [--bound N] FILE|-
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "io/archive.h"

int main(int argc, char** argv) {
  jrn::input_options options;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-thread") == 0)
      options.read_ahead.threaded = false;
    else if (std::strcmp(argv[i], "--bound") == 0 && i + 1 < argc)
      options.max_member_size = std::atoll(argv[++i]);
    else
      path = argv[i];
  }
  if (path == nullptr) {
    std::fprintf(stderr, "usage: read_source [--no-thread] [--bound N] FILE|-\n");
    return 2;
  }
  const int fd = std::strcmp(path, "-") == 0 ? 0 : ::open(path, O_RDONLY);
  if (fd < 0) {
    std::perror(path);
    return 1;
  }
  auto in = jrn::input_operand::open(fd, path, options);
  if (!in) {
    std::perror(path);
    return 1;
  }
  int status = 0;
  long long total = 0;
  uint64_t sum = 0;
  while (in->next()) {
    if (!in->trouble().empty()) std::fprintf(stderr, "%s: %s\n", path, in->trouble().c_str());
    jrn::byte_source& s = in->source();
    // Views into the blocks, as the scan takes its larger fields; the
    // last piece short of a chunk is counted, not summed.
    const size_t chunk = 64 << 10;
    while (const uint8_t* p = s.view(chunk)) {
      for (size_t k = 0; k < chunk; k += 8) {
        uint64_t w;
        std::memcpy(&w, p + k, 8);
        sum += w;
      }
    }
    total += static_cast<long long>(s.position());
    std::printf("%s %lld\n", in->name().c_str(), static_cast<long long>(s.position()));
    if (s.error() != 0) {
      std::fprintf(stderr, "%s: %s\n", in->name().c_str(),
                   s.failure_text() ? s.failure_text() : std::strerror(s.error()));
      status = 1;
    }
  }
  if (!in->trouble().empty()) {
    std::fprintf(stderr, "%s: %s\n", path, in->trouble().c_str());
    status = 1;
  }
  std::printf("total %lld (sum %016llx)\n", total, static_cast<unsigned long long>(sum));
  return status;
}
