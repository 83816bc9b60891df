// The code-page conversions: table bytes and document bytes to UTF-8 and back, case mapping,
// and UTF-8 of any shape decoded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (int number : {852, 1250}) {
    const xbase::CodePage& cp = xbase::CodePage::get(number);
    // Every byte a page defines comes back from its UTF-8 as itself.
    std::string utf8 = cp.to_utf8(bytes);
    std::string back = cp.from_utf8(utf8);
    if (back.size() != bytes.size()) __builtin_trap();
    for (size_t i = 0; i < bytes.size(); ++i) {
      auto b = static_cast<unsigned char>(bytes[i]);
      if (cp.to_unicode(b) != 0xFFFD && back[i] != bytes[i]) __builtin_trap();
    }
    if (cp.upper(bytes).size() != size || cp.lower(bytes).size() != size) __builtin_trap();
    // Any text in, one page byte per decoded code point out.
    std::string page = cp.from_utf8(bytes);
    size_t points = 0;
    for (size_t i = 0; i < bytes.size(); ++points) {
      size_t before = i;
      (void)xbase::next_utf8(bytes, i);
      if (i <= before || i > bytes.size()) __builtin_trap();
    }
    if (page.size() != points) __builtin_trap();
  }
  return 0;
}
