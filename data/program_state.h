// The process-wide folders of the program: its own folder (settings and work tables) and the
// target data folder of the accounting system. Both are texts ending in the path separator.
#pragma once

#include <string>

namespace data {

// '\\' on Windows, '/' elsewhere.
char path_separator();
// The folder text with the path separator appended when it lacks one (empty stays empty).
std::string with_separator(std::string folder);

const std::string& program_folder();
void set_program_folder(const std::string& folder);
// Equal to the program folder until the folder check sets it.
const std::string& target_folder();
void set_target_folder(const std::string& folder);
// Back to following the program folder.
void clear_target_folder();

}  // namespace data
