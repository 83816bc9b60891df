// The sample shop's export, planned against a sample accounting folder so that every verdict
// of the posting comes out: partners found by ICO and by name, new partners, an order already
// registered, one without items, items without a number or a card, a card made on request.
// Each order carries the verdict it was made for, so a run can be checked against it.
#pragma once

#include <string>
#include <vector>

namespace sample {

enum class OrderPlan { kByIco, kByName, kNewPartner, kRegistered, kNoItems };
enum class ItemPlan { kGood, kNoNumber, kNoCard, kCardMade };

struct PlannedItem {
  std::string cipo;  // as sent, without its padding
  std::string name;  // UTF-8
  double count = 1;
  double price = 0;  // without VAT
  ItemPlan plan = ItemPlan::kGood;
};

struct PlannedOrder {
  double czak = 0;
  OrderPlan plan = OrderPlan::kByIco;
  double firma = 0;  // the partner the order must get (by ICO or by name); 0 for a new one
  std::string company, surname, first_name, town;  // UTF-8
  std::string ico;                                 // as sent; empty when not given
  std::vector<PlannedItem> items;
};

struct ShopExport {
  std::vector<PlannedOrder> orders;
  // The document as the shop sends it: fixed-length records in Windows-1250, CR LF between.
  std::string document() const;
};

// The two exports of the sample shop: the first for a run with NZAS and ZALOZKARTU off, the
// second, served after the first was confirmed, for a run with ZALOZKARTU on. Reads folder's
// DOOD, ZAK and ZAS (not changed); throws std::runtime_error when the folder lacks what the
// plan needs (for example a partner with a unique name).
std::vector<ShopExport> plan_exports(const std::string& folder);

// One header or item record of the document (Windows-1250), at its full length.
std::string header_record(const PlannedOrder& order, const std::string& yyyy_mm_dd);
std::string item_record(double czak, const PlannedItem& item);

}  // namespace sample
