// Field lists of ESH_HLA.DBF and ESH_POL.DBF, in their order (dBase III, no memo file).
#include "app/work_tables.h"

namespace app {

const std::vector<xbase::FieldSpec>& esh_hla_fields() {
  static const std::vector<xbase::FieldSpec> fields = {
      {"CZAK", 'N', 10, 0},     {"DATO", 'D', 8, 0},     {"JMENO", 'C', 20, 0},
      {"PRIJMENI", 'C', 30, 0}, {"NAZD", 'C', 40, 0},    {"ULD", 'C', 30, 0},
      {"PSC", 'C', 8, 0},       {"MIST", 'C', 25, 0},    {"NSTAT", 'C', 15, 0},
      {"ICO", 'N', 10, 0},      {"REGC", 'C', 15, 0},    {"TEL", 'C', 15, 0},
      {"EMAIL", 'C', 30, 0},    {"DOPRAVA", 'C', 30, 0}, {"DOPRVNE", 'N', 8, 2},
      {"VYRIZ", 'C', 18, 0},    {"ZPSU", 'C', 25, 0},    {"POZN", 'C', 35, 0},
  };
  return fields;
}

const std::vector<xbase::FieldSpec>& esh_pol_fields() {
  static const std::vector<xbase::FieldSpec> fields = {
      {"CZAK", 'N', 10, 0}, {"CIPO", 'C', 16, 0}, {"NAZEV", 'C', 50, 0}, {"VYROBCE", 'C', 30, 0},
      {"KUSY", 'N', 11, 3}, {"CENB", 'N', 11, 2}, {"CENS", 'N', 11, 2},  {"SAZBA", 'N', 4, 1},
  };
  return fields;
}

}  // namespace app
