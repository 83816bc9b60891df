#include "platform/file/replace_file.h"

namespace xbase {

std::string side_file_path(const std::string& path) { return path + ".importobj.tmp"; }

void replace_file(std::unique_ptr<File>& held, const std::string& path, ShareMode share,
                  const std::vector<uint8_t>& image) {
  FileSystem& fs = file_system();
  const std::string side = side_file_path(path);
  OpenOptions fresh;
  fresh.share = ShareMode::kExclusive;
  fresh.create = true;
  fresh.truncate = true;
  OpenOptions again;
  again.share = share;
  {
    std::unique_ptr<File> out = fs.open(side, fresh);
    try {
      if (!image.empty()) out->write_at(0, image.data(), image.size());
      out->sync();
    } catch (...) {
      out.reset();
      fs.remove(side);
      throw;
    }
  }
  // Windows renames no file that is open; the table stays held, so no one else steps in.
  held.reset();
  bool swapped = false;
  try {
    swapped = fs.rename(side, path);
  } catch (...) {
    held = fs.open(path, again);
    throw;
  }
  if (!swapped) {
    fs.remove(side);
    held = fs.open(path, again);  // the old file, still whole
    throw FileError(FileErrorKind::kIo, 0, path, path + ": the rebuilt file could not replace it");
  }
  held = fs.open(path, again);
}

}  // namespace xbase
