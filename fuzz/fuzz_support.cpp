#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace fuzz {

namespace {

struct Scratch {
  std::string path;
  Scratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "io-fuzz.XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) std::abort();
    path = buf.data();
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace

const std::string& scratch_dir() {
  static Scratch s;
  return s.path;
}

std::string fixture_folder() {
  const char* env = std::getenv("IO_FIXTURES");
  std::string root = env ? env : IO_FUZZ_FIXTURES;
  return xbase::path_join(root, "small-mixed-bin-s1");
}

void write_file(const std::string& path, std::string_view bytes) {
  xbase::OpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  o.create = true;
  o.truncate = true;
  auto f = xbase::file_system().open(path, o);
  if (!bytes.empty()) f->write_at(0, bytes.data(), bytes.size());
}

void copy_file(const std::string& src, const std::string& dst) {
  xbase::OpenOptions ro;
  ro.read_only = true;
  auto in = xbase::file_system().open(src, ro);
  std::string bytes(in->size(), '\0');
  if (in->read_at(0, bytes.data(), bytes.size()) != bytes.size()) std::abort();
  write_file(dst, bytes);
}

}  // namespace fuzz
