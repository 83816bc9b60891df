// Helpers shared by the tests: scratch folders, fixture copies, file bytes.
#pragma once

#include <string>
#include <vector>

namespace testutil {

// A path of the build machine as this program sees it (a Unix path under Wine becomes Z:\...).
std::string host_path(const std::string& path);
// The folder of the fixture folders (read-only).
std::string fixtures_dir();
std::string fixture(const std::string& folder);  // fixtures_dir()/folder
// A new empty folder under the system's temporary folder, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};
// Copies every file of a fixture folder into dir (writable).
void copy_fixture(const std::string& folder, const std::string& dir);
std::vector<char> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<char>& bytes);
std::string read_text(const std::string& path);
// Runs a shell command and returns its standard output (and its exit status in *status).
std::string run_command(const std::string& cmd, int* status = nullptr);
// The section of a _records.txt / _keys.txt whose "## " line starts with head.
std::string fixture_section(const std::string& text, const std::string& head);

}  // namespace testutil
