// Test support on POSIX: a child process that holds a table open until released.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "platform/table/dbf_table.h"

namespace testutil {

inline bool read_all(int fd, void* buf, size_t n) {
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = read(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// A child process that opens a table in the given mode and keeps it until released.
class Holder {
 public:
  Holder(const std::string& path, xbase::ShareMode mode) {
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]);
      close(down[1]);
      char c = 'f';
      try {
        xbase::TableOpenOptions o;
        o.share = mode;
        auto t = xbase::DbfTable::open(path, o);
        c = 'o';
        (void)!write(up[1], &c, 1);
        (void)!read(down[0], &c, 1);
        t->close();
      } catch (...) {
        (void)!write(up[1], &c, 1);
      }
      _exit(0);
    }
    close(up[1]);
    close(down[0]);
    up_ = up[0];
    down_ = down[1];
    char c = 0;
    if (!read_all(up_, &c, 1) || c != 'o') throw std::runtime_error("the child could not open");
  }
  // Returns once the child has closed the table and ended.
  void release() {
    if (pid_ <= 0) return;
    char c = 'x';
    (void)!write(down_, &c, 1);
    int st;
    waitpid(pid_, &st, 0);
    pid_ = -1;
  }
  ~Holder() {
    release();
    close(up_);
    close(down_);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

 private:
  pid_t pid_ = -1;
  int up_ = -1, down_ = -1;
};

}  // namespace testutil
