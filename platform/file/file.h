// The only door of the table layer to the operating system: open, read, write, lock, flush.
// One implementation per platform (file_posix.cpp, file_win.cpp); tests swap in their own
// FileSystem to inject I/O errors, refused locks or a crash at any call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace xbase {

// Share mode of an open. Exclusive denies every other open; Shared allows other shared opens.
// On Windows these are CreateFile share modes; on Linux whole-file flock() (LOCK_SH / LOCK_EX),
// which is how the independent xBase engine on Linux emulates them, so both refuse each other.
enum class ShareMode { kShared, kExclusive };

enum class FileErrorKind {
  kNotFound,   // no such file or folder
  kSharing,    // refused for a sharing conflict (Windows error 32, or the flock refusal)
  kLock,       // a byte range is locked by someone else (Windows error 33)
  kAccess,     // permission denied, read-only medium
  kIo,         // read/write/flush failed
};

class FileError : public std::runtime_error {
 public:
  FileError(FileErrorKind kind, int os_code, std::string path, const std::string& what)
      : std::runtime_error(what), kind_(kind), os_code_(os_code), path_(std::move(path)) {}
  FileErrorKind kind() const { return kind_; }
  // Windows-style code: 2 not found, 5 access, 32 sharing, 33 lock; other errors keep errno.
  int os_code() const { return os_code_; }
  const std::string& path() const { return path_; }

 private:
  FileErrorKind kind_;
  int os_code_;
  std::string path_;
};

class File {
 public:
  virtual ~File() = default;
  virtual const std::string& path() const = 0;
  virtual uint64_t size() = 0;
  // Reads up to n bytes at off; returns the count read (short only at end of file).
  virtual size_t read_at(uint64_t off, void* buf, size_t n) = 0;
  virtual void write_at(uint64_t off, const void* buf, size_t n) = 0;
  virtual void truncate(uint64_t size) = 0;
  // Hands written data to the operating system and to the disk.
  virtual void sync() = 0;
  // Byte-range lock, never waiting; false when another holder has it.
  // POSIX: OFD locks (they conflict with the classic fcntl locks of other engines);
  // Windows: LockFileEx.
  virtual bool lock(uint64_t off, uint64_t len, bool exclusive) = 0;
  virtual void unlock(uint64_t off, uint64_t len) = 0;
};

struct OpenOptions {
  ShareMode share = ShareMode::kShared;
  bool read_only = false;
  bool create = false;    // create if missing
  bool truncate = false;  // empty it (only after the share lock is held)
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Throws FileError. The path is used as given; resolve_case() first for a case-blind name.
  virtual std::unique_ptr<File> open(const std::string& path, const OpenOptions& opts) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool remove(const std::string& path) = 0;
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  // Folders copied from Windows keep any letter case: finds the existing file whose name
  // equals path's last component without regard to case (ASCII); returns path unchanged
  // when nothing matches or the platform is case-blind already.
  virtual std::string resolve_case(const std::string& path) = 0;
  virtual std::vector<std::string> list_dir(const std::string& dir) = 0;
};

// A file system that hands every call to another one; layers over the seam (the journal, the
// counting and fault-injecting ones of tools and tests) override only what they change.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<File> open(const std::string& path, const OpenOptions& opts) override {
    return inner_.open(path, opts);
  }
  bool exists(const std::string& path) override { return inner_.exists(path); }
  bool remove(const std::string& path) override { return inner_.remove(path); }
  bool rename(const std::string& from, const std::string& to) override {
    return inner_.rename(from, to);
  }
  std::string resolve_case(const std::string& path) override { return inner_.resolve_case(path); }
  std::vector<std::string> list_dir(const std::string& dir) override {
    return inner_.list_dir(dir);
  }

 protected:
  FileSystem& inner_;
};

// The process-wide file system; tests may install their own (nullptr restores the real one).
FileSystem& file_system();
void set_file_system(FileSystem* fs);
FileSystem& native_file_system();

// Path helpers shared by all platforms ('/' and '\\' both separate on Windows).
std::string path_join(const std::string& dir, const std::string& name);
std::string path_dirname(const std::string& path);
std::string path_basename(const std::string& path);
std::string path_stem(const std::string& path);  // base name without extension
bool path_has_dir(const std::string& path);

}  // namespace xbase
