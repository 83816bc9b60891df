// bench_import: the import's loading and posting run in-process against a large sample folder
// made by our layer; prints the time of each phase and the file calls per posted order.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace bench_import {

// args without the program name: [--scale F] [--keep DIR]. Returns 0, 3 for wrong usage.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace bench_import
