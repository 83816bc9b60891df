// POSIX files: pread/pwrite, whole-file flock() for share modes, OFD fcntl locks for ranges.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/file/file.h"

namespace xbase {
namespace {

FileErrorKind kind_of(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return FileErrorKind::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileErrorKind::kAccess;
    default:
      return FileErrorKind::kIo;
  }
}

int os_code_of(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return 2;
    case EACCES:
    case EPERM:
    case EROFS:
      return 5;
    default:
      return err;
  }
}

[[noreturn]] void fail(const std::string& path, const char* op, int err) {
  throw FileError(kind_of(err), os_code_of(err), path,
                  path + ": " + op + " failed: " + std::strerror(err));
}

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override { ::close(fd_); }

  const std::string& path() const override { return path_; }

  uint64_t size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) fail(path_, "stat", errno);
    return static_cast<uint64_t>(st.st_size);
  }

  size_t read_at(uint64_t off, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r =
          ::pread(fd_, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(off + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(path_, "read", errno);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  void write_at(uint64_t off, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done,
                           static_cast<off_t>(off + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(path_, "write", errno);
      }
      done += static_cast<size_t>(r);
    }
  }

  void truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) fail(path_, "truncate", errno);
  }

  void sync() override {
    if (::fdatasync(fd_) != 0 && errno != EINVAL) fail(path_, "flush", errno);
  }

  bool lock(uint64_t off, uint64_t len, bool exclusive) override {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(off);
    fl.l_len = static_cast<off_t>(len);
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return false;
    fail(path_, "lock", errno);
  }

  void unlock(uint64_t off, uint64_t len) override {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(off);
    fl.l_len = static_cast<off_t>(len);
    ::fcntl(fd_, F_OFD_SETLK, &fl);
  }

 private:
  int fd_;
  std::string path_;
};

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& path, const OpenOptions& opts) override {
    int flags = O_CLOEXEC | (opts.read_only ? O_RDONLY : O_RDWR);
    if (opts.create) flags |= O_CREAT;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) fail(path, "open", errno);
    // flock belongs to the open file description, so two opens in one process conflict too.
    int op = (opts.share == ShareMode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, op) != 0) {
      int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK)
        throw FileError(FileErrorKind::kSharing, 32, path,
                        path + ": file is in use by another process");
      fail(path, "share lock", err);
    }
    auto f = std::make_unique<PosixFile>(fd, path);
    if (opts.truncate) f->truncate(0);
    return f;
  }

  bool exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    // The new name is durable only once its folder is synced.
    std::string dir = path_dirname(to);
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
    return true;
  }

  std::string resolve_case(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return path;
    std::string dir = path_dirname(path);
    std::string base = path_basename(path);
    std::string real_dir = dir.empty() ? dir : resolve_dir_case(dir);
    DIR* d = ::opendir(real_dir.empty() ? "." : real_dir.c_str());
    if (!d) return path;
    std::string found;
    while (dirent* e = ::readdir(d)) {
      if (::strcasecmp(e->d_name, base.c_str()) == 0) {
        found = e->d_name;
        break;
      }
    }
    ::closedir(d);
    if (found.empty()) return real_dir.empty() ? path : path_join(real_dir, base);
    return real_dir.empty() ? found : path_join(real_dir, found);
  }

  std::vector<std::string> list_dir(const std::string& dir) override {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    return out;
  }

 private:
  std::string resolve_dir_case(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) return dir;
    std::string trimmed = dir;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::string parent = path_dirname(trimmed);
    if (parent == trimmed) return dir;
    return resolve_case(trimmed);
  }
};

FileSystem* g_override = nullptr;

}  // namespace

FileSystem& native_file_system() {
  static PosixFileSystem fs;
  return fs;
}

FileSystem& file_system() { return g_override ? *g_override : native_file_system(); }
void set_file_system(FileSystem* fs) { g_override = fs; }

}  // namespace xbase
