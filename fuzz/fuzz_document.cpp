// The shop's order document through the loading itself: records read, fields converted and
// appended to the work tables of a scratch program folder, the items indexed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/work_tables.h"
#include "data/program_state.h"
#include "fuzz/fuzz_support.h"
#include "import/loading.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "platform/window/memory_window.h"

namespace {

// The work tables' layout as the program's start-up makes them.
void make_work_tables() {
  const std::string& folder = data::program_folder();
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  if (!xbase::file_system().exists(folder + "ESH_HLA.DBF"))
    xbase::DbfTable::create(folder + "ESH_HLA.DBF", app::esh_hla_fields(), o);
  if (!xbase::file_system().exists(folder + "ESH_POL.DBF"))
    xbase::DbfTable::create(folder + "ESH_POL.DBF", app::esh_pol_fields(), o);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    xbase::table_settings().default_folder = fuzz::scratch_dir();
    xbase::table_settings().exclusive = false;
    xbase::set_net_err(false);
    data::set_program_folder(fuzz::scratch_dir());
    return true;
  }();
  (void)ready;
  ui::MemoryWindow window;
  ui::set_boxes(&window);
  ui::set_main_window(&window);
  std::string_view doc(reinterpret_cast<const char*>(data), size);
  {
    import::LoadResult r = import::load_document(window, doc, make_work_tables);
    if (r.outcome == import::LoadOutcome::kNoWorkTable) __builtin_trap();
    // Every loaded record is in the tables, the items reachable through their index.
    if (r.headers->table()->record_count() != r.header_count) __builtin_trap();
    xbase::DbfTable& items = *r.items->table();
    if (items.record_count() != r.item_count) __builtin_trap();
    size_t walked = 0;
    for (items.go_top(); !items.eof(); items.skip(1))
      if (++walked > r.item_count) __builtin_trap();
    if (walked != r.item_count) __builtin_trap();
  }
  xbase::WorkAreas::instance().close_all();
  ui::set_boxes(nullptr);
  ui::set_main_window(nullptr);
  return 0;
}
