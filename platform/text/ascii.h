// Names of controls, aliases and tags compare without regard to the case of ASCII letters;
// other bytes (CP852/UTF-8 letters) must match exactly.
#pragma once

#include <cstddef>
#include <string_view>

namespace xbase {

inline char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

}  // namespace xbase
