// The order of character keys. One object is in force for the whole table layer
// (TableSettings::collation); indexes compare their character keys through it, numeric,
// date and logical keys always compare as bytes.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace xbase {

class CodePage;

class Collation {
 public:
  virtual ~Collation() = default;
  virtual const char* name() const = 0;  // "binary", "czech", "czech-chars", "windows"
  // Three-way compare of two keys of equal length in the table's code page.
  virtual int compare(std::string_view a, std::string_view b, const CodePage& cp) const = 0;
};

// Byte order of the stored key (FoxPro MACHINE, Harbour with a binary code page).
const Collation& binary_collation();
// The Czech national order of the CP852 tables: CH after H, accented letters right after
// their base letter, upper case before lower case of the same letter (every byte distinct).
const Collation& czech_collation();
// The Czech letters' weights with each byte weighed alone (CH is C then H), as runtimes that
// build a per-byte table from the national order keep their indexes.
const Collation& czech_chars_collation();
// The operating system's user locale (CompareStringW on Windows; elsewhere byte order).
const Collation& locale_collation();
// The locale's weights taken one byte at a time: each character of the code page weighed
// alone by the system (no digraphs, nothing skipped), as runtimes that build a per-byte table
// from the system's order keep their indexes. Elsewhere than on Windows, byte order.
const Collation& locale_chars_collation();

// The order of two single characters of a code page: <0, 0 (the same weight), >0.
using ByteCompare = std::function<int(unsigned char a, unsigned char b, const CodePage& cp)>;
// Keys compared one byte at a time by weights made from compare (a byte weighs as many as the
// bytes before it, so bytes compare finds equal weigh the same), then by their bytes. The
// weights of each code page are made on first use.
std::unique_ptr<Collation> per_byte_collation(const char* name, ByteCompare compare);

// By name ("binary", "czech", "czech-chars", "windows", "windows-chars"); nullptr for an
// unknown name.
const Collation* collation_by_name(std::string_view name);

}  // namespace xbase
