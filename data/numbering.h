// NOVECISLO: the next number of a counter kept in the accounting system's shared table POSCI
// (one numeric field per counter in its first record). The table is held exclusively only
// while the counter is read, incremented, written and committed.
#pragma once

#include <cstdint>
#include <string_view>

namespace data {

// The highest number handed out; the one after it is 1.
inline constexpr std::int64_t kCounterMax = 999999997;

// The new number, already stored and committed, or 0 when the user cancelled while POSCI was
// busy. POSCI is opened into the lowest free work area under the alias "KP", which stays the
// current (now free) area afterwards: callers address their tables by alias. A failure other
// than a sharing conflict while opening is reported (report_error) and then treated as busy;
// a POSCI without a record or without a numeric counter field throws TableError.
std::int64_t NOVECISLO(std::string_view counter_field);

}  // namespace data
