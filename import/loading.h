// The loading of the order document into the work tables ESH_HLA (headers) and ESH_POL
// (items) of the program folder, and the index WIESPOL.NTX of the items by order number.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "import/posting.h"
#include "platform/table/db_server.h"
#include "platform/window/window.h"

namespace import {

enum class LoadOutcome {
  kLoaded,         // every record loaded, items indexed
  kUnknownRecord,  // stopped at a record of unknown type (told); what came before is loaded
  kNoWorkTable,    // a work table could not be opened (told by OPDBF); nothing loaded
};

struct LoadResult {
  LoadOutcome outcome = LoadOutcome::kLoaded;
  // Open, exclusive, holding the loaded records; items ordered by WIESPOL.NTX.
  std::unique_ptr<xbase::DbServer> headers;
  std::unique_ptr<xbase::DbServer> items;
  size_t header_count = 0;
  size_t item_count = 0;
  // The document ended inside its last record: that record was not loaded and the shop must
  // send the export again.
  bool cut_short = false;
  // Orders not to be posted: one cut short, or one with a number its work table cannot hold.
  std::vector<HeldOrder> held_back;
  // The run goes on to the posting only then.
  bool run_on() const { return outcome == LoadOutcome::kLoaded; }
};

// Sets the phase text, has the work tables made (prepare_tables: VytvoreniDB), opens and
// empties them, appends one record per record of document, shows the counters FTPOCO and
// FTPOCP, indexes the items and commits all tables.
LoadResult load_document(ui::WindowInterface& window, std::string_view document,
                         const std::function<void()>& prepare_tables);

}  // namespace import
