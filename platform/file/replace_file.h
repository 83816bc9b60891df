// Replacing the whole content of an open file so that a crash leaves either the old content
// or the new one, never a mix: the new bytes go to a side file beside it, which is synced and
// then renamed over the old name (rename on POSIX, MoveFileEx with replace on Windows).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file/file.h"

namespace xbase {

// The side file of path: a name no xBase program opens or lists as an index
// ("POZAD1.CDX.importobj.tmp"). A crash before the swap may leave it; the next replace of
// the same file overwrites it.
std::string side_file_path(const std::string& path);

// Writes image as the whole new content of path, which `held` has open with `share`; `held`
// is closed for the swap and then holds the new file, opened the same way. Throws FileError;
// when the swap fails, `held` holds the old file again, whole.
void replace_file(std::unique_ptr<File>& held, const std::string& path, ShareMode share,
                  const std::vector<uint8_t>& image);

}  // namespace xbase
