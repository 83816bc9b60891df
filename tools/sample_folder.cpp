// sample_folder: makes a sample accounting folder with our own table layer: ZAK, DOOD, ZAS,
// POZAD, IDENT and POSCI with every index file the import opens, Czech sample data.
// The keys are in byte order unless --collation names another (the window's is "windows").
//   sample_folder DIR [--orders N] [--seed S] [--collation binary|czech|windows]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/index/collation.h"
#include "platform/table/settings.h"
#include "tools/sample_tables.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sample_folder DIR [--orders N] [--seed S] [--collation NAME]\n");
    return 3;
  }
  std::string dir = argv[1];
  sample::SampleSizes sizes;
  unsigned seed = 7;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--orders")
      sizes.orders = std::atoi(argv[i + 1]);
    else if (a == "--seed")
      seed = static_cast<unsigned>(std::atoi(argv[i + 1]));
    else if (a == "--collation") {
      const xbase::Collation* c = xbase::collation_by_name(argv[i + 1]);
      if (!c) {
        std::fprintf(stderr, "sample_folder: unknown collation %s (binary, czech, windows)\n",
                     argv[i + 1]);
        return 3;
      }
      xbase::table_settings().collation = c;
    }
  }
  sample::SampleMade made = sample::make_folder(dir, sizes, seed);
  std::printf("sample folder %s: %d orders, %ld order lines, %d partners, %d stock cards\n",
              dir.c_str(), made.orders, made.lines, made.partners,
              static_cast<int>(made.cards.size()));
  return 0;
}
