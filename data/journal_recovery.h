// Before anything writes into the target data folder: the journal a crashed run left there is
// replayed, so that the orders it committed are whole before the next posting looks at them.
#pragma once

#include <string>

namespace data {

// Tells the user what was written again (a box: the window's or the console's). false when
// the run must not start: Cancel while a table was busy, or a journal that cannot be replayed
// (the error box names the file and what to do). recovered: the order numbers written again,
// blank-separated (empty when nothing was).
bool recover_data_folder(const std::string& folder, std::string* recovered);

// The box text after a recovery of orders (numbers blank-separated).
std::string recovered_text(const std::string& orders);

}  // namespace data
