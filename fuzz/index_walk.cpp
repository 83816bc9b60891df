#include "fuzz/index_walk.h"

#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "platform/text/codepage.h"

namespace fuzz {
namespace {

// Every key both ways and through verify(); a few of them sought again.
void walk_order(xbase::Order& o, std::string_view probe) {
  std::vector<std::string> seen;
  xbase::IndexKey k;
  for (bool ok = o.first(&k); ok; ok = o.next(&k))
    if (seen.size() < 8) seen.push_back(k.key);
  for (bool ok = o.last(&k); ok; ok = o.prev(&k)) {
  }
  (void)o.key_count();
  (void)o.levels();
  seen.emplace_back(probe.substr(0, static_cast<size_t>(o.key_length())));
  for (const std::string& key : seen) {
    if (o.seek(key, &k)) (void)o.decode(k.key);
  }
  o.verify([](const xbase::IndexKey&) {});
}

// The table's own navigation through the order, and a seek by value.
void walk_table(xbase::DbfTable& t, size_t order) {
  if (!t.set_order(order)) return;
  t.go_top();
  while (!t.eof()) t.skip(1);
  t.go_bottom();
  while (!t.bof()) t.skip(-1);
  t.go_top();
  if (!t.eof()) {
    auto* o = t.controlling_order();
    auto key = o->key_of(t);
    if (key) t.seek(o->decode(*key));
  }
}

// Values for every field of a record, drawn from the input.
void fill_record(xbase::DbfTable& t, std::string_view bytes) {
  for (int i = 0; i < t.field_count(); ++i) {
    const xbase::FieldInfo& f = t.field_info(i);
    unsigned char b = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[i % bytes.size()]);
    switch (f.type) {
      case 'C':
        t.put(f.name, xbase::Value::text(t.codepage().to_utf8(bytes.substr(0, b % 24))));
        break;
      case 'N':
        t.put(f.name, xbase::Value::number(static_cast<double>(b) - 100));
        break;
      case 'D':
        t.put(f.name, xbase::Value::date(xbase::Date{2451545 + b * 97}));
        break;
      default:
        break;
    }
  }
}

}  // namespace

void run_index_case(const IndexCase& c, const std::string& index_name, const uint8_t* data,
                    size_t size) {
  if (size < 1) return;
  const std::string dir = scratch_dir();
  const std::string table_path = xbase::path_join(dir, c.table);
  const std::string index_path = xbase::path_join(dir, index_name);
  copy_file(xbase::path_join(fixture_folder(), c.table), table_path);
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  write_file(index_path, bytes);
  bool shared = data[0] & 4;
  std::string_view probe = bytes.substr(bytes.size() / 2, 64);
  expecting_errors([&] {
    xbase::TableOpenOptions to;
    to.share = shared ? xbase::ShareMode::kShared : xbase::ShareMode::kExclusive;
    to.locks = c.cdx ? xbase::LockScheme::kVfp : xbase::LockScheme::kClipper;
    auto t = xbase::DbfTable::open(table_path, to);
    xbase::IndexOptions io;
    io.share = to.share;
    t->add_bag(c.cdx ? xbase::open_cdx(index_path, *t, io) : xbase::open_ntx(index_path, *t, io));
    for (size_t i = 1; i <= t->order_count(); ++i) {
      walk_order(*t->order(i), probe);
      walk_table(*t, i);
    }
    // Appending and changing records insert and move keys in every order.
    t->set_order(size_t{0});
    t->append_blank();
    fill_record(*t, probe);
    t->commit();
    t->go_to(1 + static_cast<uint32_t>(size % 7));
    fill_record(*t, bytes.substr(0, 32));
    t->set_deleted(true);
    t->commit();
    for (size_t i = 1; i <= t->order_count(); ++i) walk_order(*t->order(i), probe);
    t->close();
  });
}

}  // namespace fuzz
