// The layouts of the work tables ESH_HLA.DBF (order headers, 18 fields) and ESH_POL.DBF
// (order items, 8 fields) that the program keeps in its own folder.
#pragma once

#include <vector>

#include "platform/table/dbf_table.h"

namespace app {

const std::vector<xbase::FieldSpec>& esh_hla_fields();
const std::vector<xbase::FieldSpec>& esh_pol_fields();

// The five accounting tables the folder check looks for, in the order of the check.
inline constexpr const char* kKontorTables[] = {"ZAK.DBF", "POZAD.DBF", "DOOD.DBF", "ZAS.DBF",
                                                "IDENT.DBF"};

}  // namespace app
