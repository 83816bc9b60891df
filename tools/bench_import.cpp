// bench_import: loading and posting of a 1,000-order document into a large sample folder,
// timed by phase, with the file calls per posted order (Release build).
//   bench_import [--scale F] [--keep DIR]
#include "tools/bench_import.h"

#include <iostream>

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return bench_import::run(args, std::cout, std::cerr);
}
