#include "golden.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace golden {

namespace {

struct temp_dir {
  std::string path;
  temp_dir() {
    char tmpl[] = "/tmp/jrnscan-test-XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) throw std::runtime_error("mkdtemp failed");
    path = made;
  }
  ~temp_dir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

temp_dir& dir() {
  static temp_dir d;
  return d;
}

void write_file(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Reads both pipes until they close; writes stdin meanwhile.
void pump(int in_fd, const std::string& input, int out_fd, int err_fd, int both_fd, result& r) {
  size_t written = 0;
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  std::string* sinks[3] = {&r.out, &r.err, &r.both};
  int fds[3] = {out_fd, err_fd, both_fd};
  for (;;) {
    struct pollfd p[4];
    int n = 0;
    int map[4];
    for (int i = 0; i < 3; ++i)
      if (fds[i] >= 0) {
        p[n] = {fds[i], POLLIN, 0};
        map[n++] = i;
      }
    if (in_fd >= 0) {
      p[n] = {in_fd, POLLOUT, 0};
      map[n++] = 3;
    }
    if (n == 0) break;
    if (poll(p, n, -1) < 0) continue;
    for (int k = 0; k < n; ++k) {
      if (!p[k].revents) continue;
      if (map[k] == 3) {
        ssize_t w = write(in_fd, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w <= 0 || written == input.size()) {
          close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      char buf[65536];
      ssize_t got = read(p[k].fd, buf, sizeof buf);
      if (got <= 0) {
        close(p[k].fd);
        fds[map[k]] = -1;
      } else {
        sinks[map[k]]->append(buf, static_cast<size_t>(got));
      }
    }
  }
}

result run_once(const std::vector<std::string>& args, const std::string& stdin_bytes, bool combined,
                const environment& env) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  const std::string& work = dir().path;  // made before the fork
  (void)work;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(combined ? out[1] : err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    std::vector<char*> argv;
    // Under JRNSCAN_VALGRIND the binary runs in memcheck, reached through a
    // link named jrnscan so that its argv[0] stays the same; any error
    // changes the exit status and adds to standard error.
    const bool valgrind = std::getenv("JRNSCAN_VALGRIND") != nullptr;
    if (valgrind) {
      for (const char* a : {"valgrind", "-q", "--error-exitcode=99", "--leak-check=full",
                            "--errors-for-leak-kinds=definite"})
        argv.push_back(const_cast<char*>(a));
    }
    argv.push_back(const_cast<char*>("jrnscan"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (chdir(dir().path.c_str()) != 0) _exit(126);
    setenv("TZ", "UTC", 1);
    unsetenv("POSIXLY_CORRECT");
    for (const auto& var : env) setenv(var.first.c_str(), var.second.c_str(), 1);
    if (valgrind) {
      const std::string bin = dir().path + "/.bin";
      mkdir(bin.c_str(), 0700);
      symlink(JRNSCAN_BIN, (bin + "/jrnscan").c_str());
      const char* path = std::getenv("PATH");
      setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
      execvp("valgrind", argv.data());
    } else {
      execv(JRNSCAN_BIN, argv.data());
    }
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  result r;
  signal(SIGPIPE, SIG_IGN);
  if (combined) {
    close(err[0]);
    pump(in[1], stdin_bytes, -1, -1, out[0], r);
  } else {
    pump(in[1], stdin_bytes, out[0], err[0], -1, r);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

}  // namespace

const char* binary() { return JRNSCAN_BIN; }
const std::string& work_dir() { return dir().path; }

std::string temp_file(const std::string& bytes, const std::string& name) {
  write_file(dir().path + "/" + name, bytes);
  return name;
}

result run(const std::vector<std::string>& args, const std::string& stdin_bytes,
           const environment& env) {
  result r = run_once(args, stdin_bytes, false, env);
  r.both = run_once(args, stdin_bytes, true, env).both;
  return r;
}

result scan(const std::string& log, std::vector<std::string> options) {
  options.push_back(temp_file(log, "t.fwlog"));
  return run(options);
}

}  // namespace golden
