#include "data/zas.h"

#include "platform/table/table_error.h"
#include "platform/text/ascii.h"

namespace data {

using xbase::same_name;

FieldSpecification ZAS_CIPO() { return {"CIPO", "Č.položky", "", 'C', 12, 0, false, ""}; }
FieldSpecification ZAS_OZNM() {
  return {"OZNM", "Název", "Název-popis skl.položky", 'C', 40, 0, true, "Název musí být zadán"};
}
FieldSpecification ZAS_KUSYM() { return {"KUSYM", "Množství", "", 'N', 11, 3, false, ""}; }
FieldSpecification ZAS_JED() { return {"JED", "", "", 'C', 5, 0, false, ""}; }
FieldSpecification ZAS_PRAB1() { return {"PRAB1", "", "", 'N', 6, 2, false, ""}; }
FieldSpecification ZAS_HMOT() { return {"HMOT", "Hmotnost", "", 'N', 8, 3, false, ""}; }

const std::vector<IndexListEntry>& Zas::IndexList() {
  static const std::vector<IndexListEntry> list = {
      {"Mater.cdx", "", {{"Mater", true, true, "LOWER(OZNM)", ""}}},
      {"Iczas.cdx", "", {{"Iczas", true, true, "CIPO", ""}}},
      {"Iskp.cdx", "", {{"Iskp", true, true, "JKPOV", ""}}},
      {"Iean.cdx", "", {{"Iean", true, true, "CARK", ""}}},
      {"Ipdod.cdx", "", {{"Ipdod", true, true, "UPPER(NAZD)", ""}}},
      {"Idrzas.cdx", "", {{"Idrzas", true, true, "STR(ZN2,1)+STR(STRM,3)+CIPO", ""}}},
      {"Smater.cdx", "", {{"Smater", true, true, "LOWER(SKUP+OZNM)", ""}}},
  };
  return list;
}

std::vector<FieldDescEntry> Zas::FieldDesc() { return {{"CIPO", "CIPO", ZAS_CIPO()}}; }

Zas::Zas(const std::string& /*file*/, std::optional<bool> shared, std::optional<bool> read_only,
         const std::string& /*driver*/)
    : xbase::DbServer(kFile, shared_mode_for(shared), read_only.value_or(false), kDriver),
      shared_mode_(shared_mode_for(shared)),
      read_only_mode_(read_only.value_or(false)),
      label_{kClassName, "ZAS", "", "ZAS"} {
  if (!status().empty()) return;
  for (FieldDescEntry& e : FieldDesc()) {
    int index = table()->field_index(e.name);
    if (index < 0)
      throw xbase::TableError(xbase::kErrNoTable, 0, path(), "no field named " + e.name);
    FieldBinding b;
    b.position = index + 1;
    b.symbol = e.symbol;
    if (!same_name(e.name, e.symbol)) b.alias = e.symbol;
    b.spec = std::move(e.spec);
    bindings_.push_back(std::move(b));
  }
  attach_ = attach_index_list(*this, IndexList());
  if (const IndexAttach* bad = first_failed(attach_)) {
    set_status(xbase::kErrOpen, bad->error);
    return;
  }
  // With no index file there is no order to select.
  if (order_count() > 0) set_order(1);
  go_top();
}

const FieldSpecification* Zas::field_spec(std::string_view field) const {
  if (!table()) return nullptr;
  for (const FieldBinding& b : bindings_) {
    const std::string& name = table()->field_info(b.position - 1).name;
    if (same_name(field, name) || same_name(field, b.symbol) ||
        (!b.alias.empty() && same_name(field, b.alias)))
      return &b.spec;
  }
  return nullptr;
}

#define DATA_ZAS_RW(NAME) DATA_ACCESSOR_RW(Zas, NAME)
#define DATA_ZAS_RO(NAME) DATA_ACCESSOR_RO(Zas, NAME)

const std::vector<FieldAccessor<Zas>>& Zas::accessors() {
  static const std::vector<FieldAccessor<Zas>> list = {DATA_ZAS_FIELDS(DATA_ZAS_RW, DATA_ZAS_RO)};
  return list;
}

}  // namespace data
