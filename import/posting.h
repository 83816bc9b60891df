// The posting phase of the run: each order of ESH_HLA and its items of ESH_POL checked against
// the accounting tables of the target data folder and written into ZAK, DOOD, POZAD and ZAS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/table/db_server.h"
#include "platform/table/value.h"
#include "platform/window/window.h"

namespace import {

// The moment the run writes into ZAK NAZ and DOOD PLOD.
struct PostingClock {
  xbase::Date today;
  std::string time;           // "hh:mm:ss"
  static PostingClock now();  // the local date and time of day
};

enum class PostOutcome {
  kPostedAll,  // every order was taken: the shop may be told the export was taken over
  kNotOpened,  // an accounting table could not be opened: nothing posted
  kStopped,    // the user cancelled a retry mid-way: the orders after it were not taken
};

// What a preview found a run would write for one order.
struct OrderPreview {
  double czak = 0;
  enum class Partner { kByIco, kByName, kNew } partner = Partner::kNew;
  std::int64_t firma = 0;  // the partner found; 0 for a new one (no number is taken)
  unsigned lines = 0;
  std::vector<std::string> new_cards;  // item numbers of the stock cards it would create
};

struct PostingResult {
  PostOutcome outcome = PostOutcome::kPostedAll;
  std::uint16_t good_orders = 0, bad_orders = 0, good_items = 0, bad_items = 0;
  std::vector<OrderPreview> previews;  // a preview's orders, in posting order
  bool confirm() const { return outcome == PostOutcome::kPostedAll; }
};

// How the posting treats the accounting folder.
enum class PostingMode {
  kRun,      // every order committed as it is written
  kPreview,  // the same run with every write held back and dropped at the end: no partner
             // number taken, no rebuild, no byte of the folder changed
};

// An order the loading held back: nothing of it is posted, and why it is listed.
struct HeldOrder {
  double czak = 0;
  std::string why;
  bool operator==(const HeldOrder&) const = default;
};

// headers and items are the loaded work tables, items ordered by CZAK as their first order.
// Makes the target data folder the table layer's default folder (it stays so). The tables it
// opens stay open for the run's closing steps, which commit and close them.
// The orders of held_back are rejected unwritten with their reasons.
PostingResult post_orders(ui::WindowInterface& window, xbase::DbServer& headers,
                          xbase::DbServer& items, const PostingClock& clock = PostingClock::now(),
                          const std::vector<HeldOrder>& held_back = {},
                          PostingMode mode = PostingMode::kRun);
// One line of a preview's report, in Czech.
std::string preview_text(const OrderPreview& p);

// A count as the counter fields show it: right-aligned in 4 characters.
std::string count_text(unsigned n);
// An order number as the list's first column shows it: right-aligned in 8, no decimals.
std::string order_text(double czak);

}  // namespace import
