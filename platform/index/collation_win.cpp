// The user locale's order of character keys on Windows: the keys' code-page bytes decoded to
// UTF-16 and compared by CompareStringW, as other Windows programs on the same folder sort;
// and the locale's weights of the single characters, for the per-byte order.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/index/collation.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

std::wstring wide(std::string_view bytes, const CodePage& cp) {
  std::wstring out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) out.push_back(static_cast<wchar_t>(cp.to_unicode(b)));
  return out;
}

class LocaleCollation : public Collation {
 public:
  const char* name() const override { return "windows"; }
  int compare(std::string_view a, std::string_view b, const CodePage& cp) const override {
    std::wstring wa = wide(a, cp), wb = wide(b, cp);
    int r = CompareStringW(LOCALE_USER_DEFAULT, 0, wa.data(), static_cast<int>(wa.size()),
                           wb.data(), static_cast<int>(wb.size()));
    if (r == CSTR_LESS_THAN) return -1;
    if (r == CSTR_GREATER_THAN) return 1;
    // Equal to the locale (or refused): the bytes decide, so distinct keys stay distinct.
    size_t n = a.size() < b.size() ? a.size() : b.size();
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
};

// Two single characters as the locale weighs them, each alone; no byte fallback, so that the
// characters it weighs the same share a weight.
int compare_characters(unsigned char a, unsigned char b, const CodePage& cp) {
  wchar_t wa = static_cast<wchar_t>(cp.to_unicode(a));
  wchar_t wb = static_cast<wchar_t>(cp.to_unicode(b));
  int r = CompareStringW(LOCALE_USER_DEFAULT, 0, &wa, 1, &wb, 1);
  return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

}  // namespace

const Collation& locale_collation() {
  static const LocaleCollation c;
  return c;
}

const Collation& locale_chars_collation() {
  static const std::unique_ptr<Collation> c =
      per_byte_collation("windows-chars", compare_characters);
  return *c;
}

}  // namespace xbase
