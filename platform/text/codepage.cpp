#include "platform/text/codepage.h"

#include <map>

namespace xbase {
namespace {

// Bytes 0x80..0xFF of each page as Unicode (0 = undefined in that page).
const uint16_t kCp852High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7, 0x0142, 0x00EB, 0x0150, 0x0151,
    0x00EE, 0x0179, 0x00C4, 0x0106, 0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A,
    0x015B, 0x00D6, 0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x0104, 0x0105, 0x017D, 0x017E, 0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x011A, 0x015E, 0x2563, 0x2551, 0x2557,
    0x255D, 0x017B, 0x017C, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x0111, 0x0110, 0x010E, 0x00CB,
    0x010F, 0x0147, 0x00CD, 0x00CE, 0x011B, 0x2518, 0x250C, 0x2588, 0x2584, 0x0162, 0x016E, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161, 0x0154, 0x00DA, 0x0155, 0x0170,
    0x00FD, 0x00DD, 0x0163, 0x00B4, 0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0,
};

const uint16_t kCp1250High[128] = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Case pairs that towupper() alone would not give portably: Latin-1 and Latin Extended-A.
char32_t simple_upper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A alternates upper/lower, with the run 0x139..0x148 and 0x179..0x17E odd.
    bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (odd_upper) return (c % 2 == 0) ? c - 1 : c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  return c;
}

char32_t simple_lower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (odd_upper) return (c % 2 == 1) ? c + 1 : c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  return c;
}

}  // namespace

CodePage::CodePage(int number, const uint16_t* high) : number_(number) {
  for (int b = 0; b < 128; ++b) map_[b] = static_cast<char32_t>(b);
  for (int b = 0; b < 128; ++b) map_[128 + b] = high[b];
  std::map<char32_t, unsigned char> back;
  for (int b = 255; b >= 0; --b)
    if (map_[b] != 0 || b == 0) back[map_[b]] = static_cast<unsigned char>(b);
  for (int b = 0; b < 256; ++b) {
    upper_[b] = lower_[b] = static_cast<unsigned char>(b);
    if (map_[b] == 0) continue;
    auto u = back.find(simple_upper(map_[b]));
    if (u != back.end()) upper_[b] = u->second;
    auto l = back.find(simple_lower(map_[b]));
    if (l != back.end()) lower_[b] = l->second;
  }
}

const CodePage& CodePage::get(int number) {
  static const CodePage k852(852, kCp852High);
  static const CodePage k1250(1250, kCp1250High);
  return number == 1250 ? k1250 : k852;
}

const CodePage& CodePage::ascii_case(int number) {
  auto ascii_only = [](CodePage c) {
    for (int b = 128; b < 256; ++b) c.upper_[b] = c.lower_[b] = static_cast<unsigned char>(b);
    for (int b = 0; b < 128; ++b) {
      if (c.upper_[b] >= 128) c.upper_[b] = static_cast<unsigned char>(b);
      if (c.lower_[b] >= 128) c.lower_[b] = static_cast<unsigned char>(b);
    }
    return c;
  };
  static const CodePage k852 = ascii_only(get(852));
  static const CodePage k1250 = ascii_only(get(1250));
  return number == 1250 ? k1250 : k852;
}

char32_t CodePage::to_unicode(unsigned char b) const {
  char32_t c = map_[b];
  return (c == 0 && b != 0) ? U'\uFFFD' : c;
}

unsigned char CodePage::from_unicode(char32_t cp) const {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  for (int b = 128; b < 256; ++b)
    if (map_[b] == cp) return static_cast<unsigned char>(b);
  return '?';
}

std::string CodePage::to_utf8(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    if (b < 0x80)
      out.push_back(static_cast<char>(b));
    else
      append_utf8(out, to_unicode(b));
  }
  return out;
}

std::string CodePage::from_utf8(std::string_view utf8) const {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(from_unicode(next_utf8(utf8, i))));
  }
  return out;
}

std::string CodePage::upper(std::string_view bytes) const {
  std::string out(bytes);
  for (auto& c : out) c = static_cast<char>(upper_[static_cast<unsigned char>(c)]);
  return out;
}

std::string CodePage::lower(std::string_view bytes) const {
  std::string out(bytes);
  for (auto& c : out) c = static_cast<char>(lower_[static_cast<unsigned char>(c)]);
  return out;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char32_t next_utf8(std::string_view s, size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i]);
  int len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return U'\uFFFD';
  }
  char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return U'\uFFFD';
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += len;
  return cp;
}

}  // namespace xbase
