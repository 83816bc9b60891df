// What the posting checks before it writes: that the accounting tables have the fields it
// uses, in types that hold its values, and that a number fits its field rather than being
// stored as asterisks.
#pragma once

#include <string>
#include <string_view>

#include "platform/table/dbf_table.h"

namespace import::posting {

// The first field of table (named as the message names it) that is missing or of a type the
// posting cannot store into or read from; empty when all are fine.
std::string zak_layout_problem(const xbase::DbfTable& t);
std::string dood_layout_problem(const xbase::DbfTable& t);
std::string pozad_layout_problem(const xbase::DbfTable& t);
std::string zas_layout_problem(const xbase::DbfTable& t);
std::string ident_layout_problem(const xbase::DbfTable& t);

// Empty when value fits the numeric field as stored (rounded to its decimals); otherwise the
// reason the order or item is rejected, naming the field.
std::string overflow_text(const xbase::DbfTable& t, std::string_view table, std::string_view field,
                          double value);

// value as a numeric field reads it back once stored (rounded to its decimals).
double as_stored(const xbase::DbfTable& t, std::string_view field, double value);

// The width of a character field, or 0 when there is none.
int text_width(const xbase::DbfTable& t, std::string_view field);

}  // namespace import::posting
