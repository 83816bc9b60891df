// Single-byte code pages of the tables (OEM, 852 by default) and of the shop's document
// (Windows-1250), converted to and from the program's UTF-8. A character a code page cannot
// hold becomes '?'. Upper and lower case follow the letters of the code page itself, so that
// UPPER() in an index key maps Czech letters the way the engines that built the index did.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xbase {

class CodePage {
 public:
  // Known pages: 852, 1250. Anything else falls back to 852 (the Czech OEM page).
  static const CodePage& get(int number);
  static const CodePage& cp852() { return get(852); }
  static const CodePage& cp1250() { return get(1250); }
  // The same page with the case of the ASCII letters only mapped (older runtimes' UPPER/LOWER).
  static const CodePage& ascii_case(int number);

  int number() const { return number_; }
  std::string to_utf8(std::string_view bytes) const;
  std::string from_utf8(std::string_view utf8) const;
  char32_t to_unicode(unsigned char b) const;
  // The byte for a code point, or '?' when the page lacks it.
  unsigned char from_unicode(char32_t cp) const;
  unsigned char upper(unsigned char b) const { return upper_[b]; }
  unsigned char lower(unsigned char b) const { return lower_[b]; }
  std::string upper(std::string_view bytes) const;
  std::string lower(std::string_view bytes) const;

  CodePage(int number, const uint16_t* high);

 private:
  int number_;
  char32_t map_[256];
  unsigned char upper_[256];
  unsigned char lower_[256];
};

// UTF-8 helpers used at the borders.
void append_utf8(std::string& out, char32_t cp);
// Decodes one code point at s[i], advancing i; malformed bytes yield U+FFFD.
char32_t next_utf8(std::string_view s, size_t& i);

}  // namespace xbase
