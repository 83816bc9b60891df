// A CDX file as found, beside a good table: the control byte's low bits choose the partners,
// the stock cards or the order lines, so that any tag expression of the fixtures binds.
#include "fuzz/index_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::IndexCase kCases[] = {
      {"DOOD.DBF", true}, {"ZAS.DBF", true}, {"POZAD.DBF", true}, {"POZAD.DBF", true}};
  if (size < 1) return 0;
  fuzz::run_index_case(kCases[data[0] & 3], "FUZZ.CDX", data, size);
  return 0;
}
