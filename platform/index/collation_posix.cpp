// The user locale's order of character keys where the system offers no code-page-aware
// comparison to share with the accounting program: the byte order of the stored key, under
// the locale order's own name so that settings naming it read back the same; its per-byte
// weights are the bytes too.
#include "platform/index/collation.h"

namespace xbase {
namespace {

class LocaleCollation : public Collation {
 public:
  const char* name() const override { return "windows"; }
  int compare(std::string_view a, std::string_view b, const CodePage& cp) const override {
    return binary_collation().compare(a, b, cp);
  }
};

}  // namespace

const Collation& locale_collation() {
  static const LocaleCollation c;
  return c;
}

const Collation& locale_chars_collation() {
  static const std::unique_ptr<Collation> c =
      per_byte_collation("windows-chars", [](unsigned char a, unsigned char b, const CodePage&) {
        return a < b ? -1 : (a > b ? 1 : 0);
      });
  return *c;
}

}  // namespace xbase
