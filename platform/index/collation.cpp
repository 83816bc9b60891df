// Orders of character index keys: plain bytes, and the Czech national order that Harbour's
// CS852 code page gives (the order of the cs852 fixture indexes).
//
// Czech order, as a weight per byte: bytes below 'A' keep their byte order; then the upper
// case letters A Á Ä B C Č D Ď E É Ě Ë F G H CH I Í J K L M N Ň O Ó Ö P Q R Ř S Š T Ť U Ú Ů Ü V
// W X Y Ý Z Ž; then the bytes between 'Z' and 'a'; then the same letters in lower case; then
// every other byte in byte order (letters of other languages included). "CH" (any case of
// the H) is one letter after H. Two keys that weigh the same ("CH" and "Ch") fall back to
// their bytes, so distinct keys never compare equal.
#include "platform/index/collation.h"

#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/text/codepage.h"

namespace xbase {
namespace {

int compare_bytes(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

class BinaryCollation : public Collation {
 public:
  const char* name() const override { return "binary"; }
  int compare(std::string_view a, std::string_view b, const CodePage&) const override {
    return compare_bytes(a, b);
  }
};

// The Czech alphabet in upper case; 0 marks the place of the CH digraph.
constexpr char32_t kCzechUpper[] = {
    U'A', U'Á', U'Ä', U'B', U'C', U'Č', U'D', U'Ď', U'E', U'É', U'Ě', U'Ë', U'F', U'G', U'H', 0,
    U'I', U'Í', U'J', U'K', U'L', U'M', U'N', U'Ň', U'O', U'Ó', U'Ö', U'P', U'Q', U'R', U'Ř', U'S',
    U'Š', U'T', U'Ť', U'U', U'Ú', U'Ů', U'Ü', U'V', U'W', U'X', U'Y', U'Ý', U'Z', U'Ž'};

struct CzechWeights {
  std::array<int, 256> byte{};
  int ch_upper = 0;
  int ch_lower = 0;
};

CzechWeights build_weights(const CodePage& cp) {
  CzechWeights w;
  std::array<bool, 256> letter{};
  std::array<unsigned char, std::size(kCzechUpper)> up{}, lo{};
  for (size_t i = 0; i < std::size(kCzechUpper); ++i) {
    if (kCzechUpper[i] == 0) continue;
    up[i] = cp.from_unicode(kCzechUpper[i]);
    lo[i] = cp.lower(up[i]);
    // A letter the page lacks comes back as '?': it is then no letter of this page.
    if (up[i] != '?') letter[up[i]] = true;
    if (lo[i] != '?' && lo[i] != up[i]) letter[lo[i]] = true;
  }
  int next = 0;
  auto letters = [&](const std::array<unsigned char, std::size(kCzechUpper)>& row, bool upper) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (kCzechUpper[i] == 0) {
        (upper ? w.ch_upper : w.ch_lower) = next++;
      } else if (letter[row[i]] && (upper || row[i] != up[i])) {
        w.byte[row[i]] = next++;
      }
    }
  };
  auto others = [&](int from, int to) {
    for (int b = from; b <= to; ++b)
      if (!letter[b]) w.byte[b] = next++;
  };
  others(0, 'A' - 1);
  letters(up, true);
  others('Z' + 1, 'a' - 1);
  letters(lo, false);
  others('z' + 1, 255);
  return w;
}

// Compares run for every key an index touches: the two known pages need no lock.
const CzechWeights& weights_for(const CodePage& cp) {
  static const CzechWeights k852 = build_weights(CodePage::cp852());
  static const CzechWeights k1250 = build_weights(CodePage::cp1250());
  if (&cp == &CodePage::cp852()) return k852;
  if (&cp == &CodePage::cp1250()) return k1250;
  static std::mutex mu;
  static std::map<int, CzechWeights> others;
  std::lock_guard<std::mutex> lock(mu);
  auto it = others.find(cp.number());
  if (it == others.end()) it = others.emplace(cp.number(), build_weights(cp)).first;
  return it->second;
}

// Weight of the letter at s[i], advancing i past it (two bytes for CH).
int next_weight(const CzechWeights& w, std::string_view s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  if ((b == 'C' || b == 'c') && i + 1 < s.size() && (s[i + 1] == 'H' || s[i + 1] == 'h')) {
    i += 2;
    return b == 'C' ? w.ch_upper : w.ch_lower;
  }
  ++i;
  return w.byte[b];
}

class CzechCollation : public Collation {
 public:
  const char* name() const override { return "czech"; }
  int compare(std::string_view a, std::string_view b, const CodePage& cp) const override {
    const CzechWeights& w = weights_for(cp);
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
      int x = next_weight(w, a, i);
      int y = next_weight(w, b, j);
      if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return compare_bytes(a, b);
  }
};

// The same weights, each byte weighed alone: no CH digraph, as runtimes that sort by a
// per-byte table made from the national order have it.
class CzechCharsCollation : public Collation {
 public:
  const char* name() const override { return "czech-chars"; }
  int compare(std::string_view a, std::string_view b, const CodePage& cp) const override {
    const CzechWeights& w = weights_for(cp);
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      int x = w.byte[static_cast<unsigned char>(a[i])];
      int y = w.byte[static_cast<unsigned char>(b[i])];
      if (x != y) return x < y ? -1 : 1;
    }
    return compare_bytes(a, b);
  }
};

}  // namespace

const Collation& czech_chars_collation() {
  static const CzechCharsCollation c;
  return c;
}

const Collation& binary_collation() {
  static const BinaryCollation c;
  return c;
}

const Collation& czech_collation() {
  static const CzechCollation c;
  return c;
}

const Collation* collation_by_name(std::string_view name) {
  std::string n(name);
  for (auto& ch : n)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  if (n == "binary") return &binary_collation();
  if (n == "czech") return &czech_collation();
  if (n == "czech-chars") return &czech_chars_collation();
  if (n == "windows") return &locale_collation();
  if (n == "windows-chars") return &locale_chars_collation();
  return nullptr;
}

}  // namespace xbase
