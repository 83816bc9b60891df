// Windows files: CreateFileW share modes (shared = read+write, exclusive = none), positioned
// ReadFile/WriteFile through OVERLAPPED offsets on a synchronous handle, LockFileEx ranges.
// Paths arrive as UTF-8 and go to the wide APIs as UTF-16, so any locale sees the same names.
#include <windows.h>

#include <algorithm>

#include "platform/file/file.h"

namespace xbase {
namespace {

// ReadFile/WriteFile take a DWORD count; big buffers go in slices.
constexpr size_t kMaxChunk = size_t{1} << 30;

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                                nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                        w.data(), n);
  return w;
}

std::string narrow(const wchar_t* w, size_t len) {
  if (len == 0) return {};
  int n = ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
  return s;
}

std::string system_message(DWORD err) {
  wchar_t* buf = nullptr;
  DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::string text = buf ? narrow(buf, n) : std::string();
  if (buf) ::LocalFree(buf);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

FileErrorKind kind_of(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return FileErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileErrorKind::kAccess;
    case ERROR_SHARING_VIOLATION:
      return FileErrorKind::kSharing;
    case ERROR_LOCK_VIOLATION:
      return FileErrorKind::kLock;
    default:
      return FileErrorKind::kIo;
  }
}

// The codes the callers test are the classic ones; the variants fold into them.
int os_code_of(DWORD err) {
  switch (kind_of(err)) {
    case FileErrorKind::kNotFound:
      return ERROR_FILE_NOT_FOUND;
    case FileErrorKind::kAccess:
      return ERROR_ACCESS_DENIED;
    default:
      return static_cast<int>(err);
  }
}

[[noreturn]] void fail(const std::string& path, const char* op, DWORD err) {
  std::string what = path + ": " + op + " failed: Windows error " + std::to_string(err);
  std::string text = system_message(err);
  if (!text.empty()) what += " (" + text + ")";
  throw FileError(kind_of(err), os_code_of(err), path, what);
}

OVERLAPPED at(uint64_t off) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(off & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(off >> 32);
  return ov;
}

class WinFile : public File {
 public:
  WinFile(HANDLE h, std::string path, bool read_only)
      : h_(h), path_(std::move(path)), read_only_(read_only) {}
  ~WinFile() override { ::CloseHandle(h_); }

  const std::string& path() const override { return path_; }

  uint64_t size() override {
    LARGE_INTEGER sz;
    if (!::GetFileSizeEx(h_, &sz)) fail(path_, "size", ::GetLastError());
    return static_cast<uint64_t>(sz.QuadPart);
  }

  size_t read_at(uint64_t off, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      OVERLAPPED ov = at(off + done);
      DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
      DWORD got = 0;
      if (!::ReadFile(h_, static_cast<char*>(buf) + done, want, &got, &ov)) {
        DWORD err = ::GetLastError();
        // A positioned read at or past the end reports EOF as an error.
        if (err == ERROR_HANDLE_EOF) break;
        fail(path_, "read", err);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void write_at(uint64_t off, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      OVERLAPPED ov = at(off + done);
      DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
      DWORD put = 0;
      if (!::WriteFile(h_, static_cast<const char*>(buf) + done, want, &put, &ov))
        fail(path_, "write", ::GetLastError());
      if (put == 0) fail(path_, "write", ERROR_WRITE_FAULT);
      done += put;
    }
  }

  void truncate(uint64_t size) override {
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(h_, pos, nullptr, FILE_BEGIN) || !::SetEndOfFile(h_))
      fail(path_, "truncate", ::GetLastError());
  }

  void sync() override {
    // A handle without write access has nothing to flush and would be refused.
    if (read_only_) return;
    if (!::FlushFileBuffers(h_)) fail(path_, "flush", ::GetLastError());
  }

  bool lock(uint64_t off, uint64_t len, bool exclusive) override {
    OVERLAPPED ov = at(off);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(h_, flags, 0, static_cast<DWORD>(len & 0xFFFFFFFFu),
                     static_cast<DWORD>(len >> 32), &ov))
      return true;
    DWORD err = ::GetLastError();
    if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) return false;
    fail(path_, "lock", err);
  }

  void unlock(uint64_t off, uint64_t len) override {
    OVERLAPPED ov = at(off);
    ::UnlockFileEx(h_, 0, static_cast<DWORD>(len & 0xFFFFFFFFu), static_cast<DWORD>(len >> 32),
                   &ov);
  }

 private:
  HANDLE h_;
  std::string path_;
  bool read_only_;
};

class WinFileSystem : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& path, const OpenOptions& opts) override {
    std::wstring w = wide_path(path, "open");
    DWORD access = GENERIC_READ | (opts.read_only ? 0 : GENERIC_WRITE);
    DWORD share = opts.share == ShareMode::kExclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD disposition = opts.create ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE h = ::CreateFileW(w.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD err = ::GetLastError();
      if (err == ERROR_SHARING_VIOLATION)
        throw FileError(FileErrorKind::kSharing, ERROR_SHARING_VIOLATION, path,
                        path + ": file is in use by another process");
      fail(path, "open", err);
    }
    auto f = std::make_unique<WinFile>(h, path, opts.read_only);
    if (opts.truncate) f->truncate(0);
    return f;
  }

  bool exists(const std::string& path) override {
    DWORD a = ::GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool remove(const std::string& path) override { return ::DeleteFileW(widen(path).c_str()); }

  bool rename(const std::string& from, const std::string& to) override {
    // Replaces an existing target, as rename() does on POSIX, and returns once it is on disk.
    return ::MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }

  // Opens ignore letter case already; the spelling on disk keeps names in messages and dumps
  // the same as on POSIX.
  std::string resolve_case(const std::string& path) override {
    std::string base = path_basename(path);
    if (base.empty() || base.find_first_of("*?") != std::string::npos) return path;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(widen(path).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return path;
    ::FindClose(h);
    std::wstring real = fd.cFileName;
    return path.substr(0, path.size() - base.size()) + narrow(real.data(), real.size());
  }

  std::vector<std::string> list_dir(const std::string& dir) override {
    std::vector<std::string> out;
    std::wstring pattern = widen(path_join(dir.empty() ? "." : dir, "*"));
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
      std::wstring n = fd.cFileName;
      if (n != L"." && n != L"..") out.push_back(narrow(n.data(), n.size()));
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return out;
  }

 private:
  static std::wstring wide_path(const std::string& path, const char* op) {
    std::wstring w = widen(path);
    if (w.empty()) fail(path, op, path.empty() ? ERROR_INVALID_NAME : ERROR_NO_UNICODE_TRANSLATION);
    return w;
  }
};

FileSystem* g_override = nullptr;

}  // namespace

FileSystem& native_file_system() {
  static WinFileSystem fs;
  return fs;
}

FileSystem& file_system() { return g_override ? *g_override : native_file_system(); }
void set_file_system(FileSystem* fs) { g_override = fs; }

}  // namespace xbase
