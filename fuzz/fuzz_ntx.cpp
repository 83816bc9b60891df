// An NTX file as found, beside the good orders table it indexes.
#include "fuzz/index_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::run_index_case({"ZAK.DBF", false}, "FUZZ.NTX", data, size);
  return 0;
}
