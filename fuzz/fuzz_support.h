// What the fuzz targets share: a scratch folder of their own, files written through the file
// seam, the fixture tables the index targets open beside the fuzzed index, and the errors a
// damaged file may raise (anything else escapes and is a finding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file/file.h"
#include "platform/index/key_expr.h"
#include "platform/table/table_error.h"

namespace fuzz {

// A fresh folder for this process (removed at exit).
const std::string& scratch_dir();
// The fixture folder the targets copy their good tables from (IO_FIXTURES overrides).
std::string fixture_folder();
// Writes bytes as the whole file path (created or emptied first).
void write_file(const std::string& path, std::string_view bytes);
// Copies src to dst through the file seam.
void copy_file(const std::string& src, const std::string& dst);

// Runs f; the layer's own errors (TableError, FileError, ExpressionError) are expected for a
// damaged input and must name what they are about (a non-empty text).
template <class F>
void expecting_errors(F&& f) {
  try {
    f();
  } catch (const xbase::TableError& e) {
    if (e.file().empty() || e.message().empty()) __builtin_trap();
  } catch (const xbase::FileError& e) {
    if (*e.what() == '\0') __builtin_trap();
  } catch (const xbase::ExpressionError& e) {
    if (*e.what() == '\0') __builtin_trap();
  }
}

}  // namespace fuzz
