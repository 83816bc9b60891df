#include "tests/support/test_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testutil {
namespace {

// Our strings are UTF-8; std::filesystem's narrow strings are not on Windows.
fs::path u8path(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string u8string(const fs::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace

std::string host_path(const std::string& path) {
#ifdef _WIN32
  // The Windows build runs under Wine on the build machine, whose root is drive Z:.
  if (path.size() > 1 && path[0] == '/' && path[1] != '/') {
    std::string p = "Z:" + path;
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
#endif
  return path;
}

std::string fixtures_dir() {
  if (const char* env = std::getenv("IO_FIXTURES")) return host_path(env);
  return host_path(IO_FIXTURES_DIR);
}

std::string fixture(const std::string& folder) {
  return u8string(u8path(fixtures_dir()) / u8path(folder));
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("iotest-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = u8string(p);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(u8path(path_), ec);
}

std::string TempDir::file(const std::string& name) const {
  return u8string(u8path(path_) / u8path(name));
}

void copy_fixture(const std::string& folder, const std::string& dir) {
  for (const auto& e : fs::directory_iterator(u8path(fixture(folder)))) {
    fs::path to = u8path(dir) / e.path().filename();
    fs::copy_file(e.path(), to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  }
}

std::vector<char> read_file(const std::string& path) {
  std::ifstream in(u8path(path), std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_text(const std::string& path) {
  auto b = read_file(path);
  return std::string(b.begin(), b.end());
}

std::string run_command(const std::string& cmd, int* status) {
  std::string out;
#ifdef _WIN32
  FILE* p = _popen(cmd.c_str(), "r");
#else
  FILE* p = popen(cmd.c_str(), "r");
#endif
  if (!p) throw std::runtime_error("cannot run: " + cmd);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
#ifdef _WIN32
  int rc = _pclose(p);
#else
  int rc = pclose(p);
#endif
  if (status) *status = rc;
  return out;
}

std::string fixture_section(const std::string& text, const std::string& head) {
  size_t start = text.find("## " + head);
  if (start == std::string::npos) return "";
  if (start != 0 && text[start - 1] != '\n') return "";
  size_t end = text.find("\n## ", start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

}  // namespace testutil
