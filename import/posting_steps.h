// The parts of the posting phase shared by its files: the open accounting tables, the options
// read from the window, the counters and the list of rejected records.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/pozad.h"
#include "data/zas.h"
#include "import/posting.h"
#include "platform/file/journal.h"
#include "platform/table/dbf_table.h"

namespace import::posting {

struct Options {
  bool nzas = false;        // items need no stock card
  bool zalozkartu = false;  // a missing stock card is created from the shop's data
  int days = 0;             // POCDNU
};

// A number stored as the engines store it. Every order and item is checked (posting_checks.h)
// before it is written, so a value too wide for its field is a fault: it throws.
void put_number(xbase::DbfTable& t, std::string_view field, double value);
// Copies a value into a field of any type; numbers as put_number.
void put_value(xbase::DbfTable& t, std::string_view field, const xbase::Value& v);
std::string rtrim(std::string s);
bool blank(const std::string& s);

class Run {
 public:
  Run(ui::WindowInterface& window, xbase::DbServer& headers, xbase::DbServer& items,
      const PostingClock& clock, const std::vector<HeldOrder>& held_back, PostingMode mode)
      : win_(window),
        hla_(headers),
        pol_(items),
        clock_(clock),
        held_back_(held_back),
        preview_(mode == PostingMode::kPreview) {}
  PostingResult go();

 private:
  bool open_tables();
  // false: the posting stops (a cancelled retry, a full partner counter). rejected: why the
  // order was not written, empty when it was.
  bool post_order(double czak, std::string& rejected);
  // A number of the order that does not fit its field, as the rejection's reason.
  std::string order_overflow(double czak);
  // The next partner number DOOD does not hold yet; 0 stops the posting.
  std::int64_t new_partner_number();
  // Why an item cannot be written (a value too wide, an item number too long), or empty.
  std::string item_problem(std::uint16_t line, bool new_card);
  // Why the item where pol_ stands is rejected (empty: it is written as line), whether it has
  // a card and whether one is made. made: item numbers of cards the order makes before it.
  std::string item_verdict(std::uint16_t line, const std::vector<std::string>& made, bool& card,
                           bool& new_card);
  // post_order and its commit, or nothing of it.
  bool post_committed(double czak, std::string& rejected);
  void post_all();
  void write_order(double czak);
  bool find_partner(OrderPreview::Partner* how);  // true: DOOD stands on the order's partner
  void add_partner(std::int64_t firma);
  void post_item(double czak, std::uint16_t& line, double& total);
  void write_card();
  void write_line(double czak, std::uint16_t line, bool card);
  void reject(double czak, const std::string& why);
  void count(std::uint16_t& n, const char* control);
  xbase::DbfTable& zak() const;
  xbase::DbfTable& dood() const;

  ui::WindowInterface& win_;
  xbase::DbServer& hla_;
  xbase::DbServer& pol_;
  PostingClock clock_;
  std::vector<HeldOrder> held_back_;
  Options opt_;
  double prab_[3] = {0, 0, 0};
  std::unique_ptr<data::Zas> zas_;
  std::unique_ptr<data::Pozad> pozad_;
  std::unique_ptr<xbase::Journal> journal_;
  bool preview_ = false;
  OrderPreview* order_preview_ = nullptr;  // the order being previewed
  PostingResult result_;
};

}  // namespace import::posting
