// dbftool: the table utility for support people.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/dbftool_commands.h"

namespace {

void usage() {
  std::cerr
      << "usage:\n"
         "  dbftool dump TABLE.DBF\n"
         "  dbftool info TABLE.DBF\n"
         "  dbftool keys INDEXFILE [--tag TAG] [--table TABLE.DBF] [--collation NAME]\n"
         "  dbftool check FOLDER [--pair TABLE=INDEX,...] [--collation NAME]\n"
         "  dbftool reindex TABLE.DBF INDEXFILE... [--collation NAME] [--case codepage|ascii]\n"
         "  dbftool recover FOLDER [--discard]\n"
         "  dbftool hold TABLE.DBF SECONDS\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    usage();
    return 3;
  }
  try {
    return dbftool::run(args, std::cout, std::cerr);
  } catch (const dbftool::UsageError& e) {
    std::cerr << "dbftool: " << e.what() << "\n";
    usage();
    return 3;
  } catch (const std::exception& e) {
    std::cerr << "dbftool: " << e.what() << "\n";
    return 2;
  }
}
