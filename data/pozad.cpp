#include "data/pozad.h"

#include "platform/table/table_error.h"

namespace data {

FieldSpecification POZAD_CZAK() { return {"CZAK", "", "", 'N', 10, 0, false, ""}; }
FieldSpecification POZAD_ZN() { return {"ZN", "", "", 'N', 1, 0, false, ""}; }

const std::vector<IndexListEntry>& Pozad::IndexList() {
  static const std::vector<IndexListEntry> list = {
      {"IPOZZ.CDX", "", {{"IPOZZ", true, true, "CZAK", ""}}},
      {"IPOZF.CDX", "", {{"IPOZF", true, true, "FIRM", ""}}},
      {"IPOZC.CDX", "", {{"IPOZC", true, true, "CIPO", ""}}},
      {"IPOCF.CDX", "", {{"IPOCF", true, true, "CIPO+STR(FIRM,5)+STR(ZN,1)+STR(STRM,3)", ""}}},
      {"IPOZR.CDX", "", {{"IPOZR", true, true, "STR(CZAK,10)+STR(IDPROD,5)", ""}}},
  };
  return list;
}

Pozad::Pozad(const std::string& /*file*/, std::optional<bool> shared, std::optional<bool> read_only,
             const std::string& /*driver*/)
    : xbase::DbServer(kFile, shared_mode_for(shared), read_only.value_or(false), kDriver),
      shared_mode_(shared_mode_for(shared)),
      read_only_mode_(read_only.value_or(false)),
      label_{kClassName, "Pozad", "", "Pozad"} {
  if (!status().empty()) return;
  attach_ = attach_index_list(*this, IndexList());
  if (const IndexAttach* bad = first_failed(attach_)) {
    set_status(xbase::kErrOpen, bad->error);
    return;
  }
  // Order 1 whatever was attached; with no index file there is nothing to select.
  set_order(1);
  go_top();
}

#define DATA_POZAD_RW(NAME) DATA_ACCESSOR_RW(Pozad, NAME)
#define DATA_POZAD_RO(NAME) DATA_ACCESSOR_RO(Pozad, NAME)

const std::vector<FieldAccessor<Pozad>>& Pozad::accessors() {
  static const std::vector<FieldAccessor<Pozad>> list = {
      DATA_POZAD_FIELDS(DATA_POZAD_RW, DATA_POZAD_RO)};
  return list;
}

}  // namespace data
