#include "platform/file/file.h"

namespace xbase {
namespace {

bool is_sep(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

size_t last_sep(const std::string& p) {
  for (size_t i = p.size(); i > 0; --i)
    if (is_sep(p[i - 1]) || (i == 2 && p[1] == ':')) return i - 1;
  return std::string::npos;
}

}  // namespace

std::string path_join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (is_sep(dir.back()) || dir.back() == ':') return dir + name;
#ifdef _WIN32
  return dir + "\\" + name;
#else
  return dir + "/" + name;
#endif
}

std::string path_dirname(const std::string& path) {
  size_t s = last_sep(path);
  if (s == std::string::npos) return "";
  if (s == 0) return path.substr(0, 1);
  return path.substr(0, s + (path[s] == ':' ? 1 : 0));
}

std::string path_basename(const std::string& path) {
  size_t s = last_sep(path);
  return s == std::string::npos ? path : path.substr(s + 1);
}

std::string path_stem(const std::string& path) {
  std::string b = path_basename(path);
  size_t dot = b.rfind('.');
  return dot == std::string::npos || dot == 0 ? b : b.substr(0, dot);
}

bool path_has_dir(const std::string& path) { return last_sep(path) != std::string::npos; }

}  // namespace xbase
