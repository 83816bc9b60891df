// Key expressions as an index header carries them: compiled against a table of the fixtures
// and evaluated on its first records. A text result past 1 MB (16 times the expressions'
// string cap) is a finding: an allocation that no longer follows from the expression; so is
// text that the key builder's appending path makes otherwise than evaluate does.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/index/key_expr.h"
#include "platform/table/dbf_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<xbase::DbfTable> table = [] {
    xbase::TableOpenOptions o;
    o.read_only = true;
    return xbase::DbfTable::open(xbase::path_join(fuzz::fixture_folder(), "ZAK.DBF"), o);
  }();
  if (size > 512) return 0;  // an index header holds no longer expression
  std::string text(reinterpret_cast<const char*>(data), size);
  fuzz::expecting_errors([&] {
    auto e = xbase::KeyExpression::compile(text, *table);
    if (e->result_length() < 0) __builtin_trap();
    for (uint32_t r = 1; r <= 3; ++r) {
      table->go_to(r);
      xbase::Value v = e->evaluate(*table);
      if (v.type() == xbase::Value::Type::kChar && v.str().size() > (1u << 20)) __builtin_trap();
      std::string appended;
      if (e->append_text(*table, appended) != (v.type() == xbase::Value::Type::kChar) ||
          (v.type() == xbase::Value::Type::kChar && appended != v.str()))
        __builtin_trap();
    }
  });
  return 0;
}
