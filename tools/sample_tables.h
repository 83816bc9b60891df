// A sample accounting folder made by our own table layer, for sample_folder, the demo and the
// benchmarks: ZAK, DOOD, ZAS, POZAD, IDENT and POSCI with every index file the import opens.
#pragma once

#include <string>
#include <vector>

namespace sample {

struct SampleSizes {
  int orders = 300;
  int partners = 0;  // 0: five sixths of the orders
  int cards = 0;     // 0: as many as orders
  long lines = 0;    // order lines in all; 0: one to five per order at random
};

struct SampleMade {
  int orders = 0;
  int partners = 0;
  long lines = 0;
  std::vector<std::string> cards;  // CIPO of every stock card, in record order
};

// Writes the tables into dir (made when missing; tables there are replaced). Makes dir the
// table layer's default folder. Throws TableError or FileError.
SampleMade make_folder(const std::string& dir, const SampleSizes& sizes, unsigned seed);

}  // namespace sample
