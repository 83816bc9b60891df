#include "data/program_state.h"

namespace data {
namespace {

std::string g_program;
std::string g_target;
bool g_target_set = false;

bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

}  // namespace

char path_separator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

std::string with_separator(std::string folder) {
  if (!folder.empty() && !is_separator(folder.back())) folder += path_separator();
  return folder;
}

const std::string& program_folder() { return g_program; }

void set_program_folder(const std::string& folder) { g_program = with_separator(folder); }

const std::string& target_folder() { return g_target_set ? g_target : g_program; }

void set_target_folder(const std::string& folder) {
  g_target = with_separator(folder);
  g_target_set = true;
}

void clear_target_folder() {
  g_target.clear();
  g_target_set = false;
}

}  // namespace data
