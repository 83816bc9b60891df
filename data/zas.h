// Zas: the data server of the accounting system's stock cards (ZAS.DBF in the table layer's
// default folder, opened with the CDX driver), with its seven index files and the item-number
// field bound to its field specification.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/server_support.h"

namespace data {

// Field specifications of ZAS fields; only ZAS_CIPO is bound to the server's field.
FieldSpecification ZAS_CIPO();
FieldSpecification ZAS_OZNM();  // required: "Název musí být zadán"
FieldSpecification ZAS_KUSYM();
FieldSpecification ZAS_JED();
FieldSpecification ZAS_PRAB1();
FieldSpecification ZAS_HMOT();

// An entry of the field description list: a field symbol, the field's name, its specification.
struct FieldDescEntry {
  std::string symbol;
  std::string name;
  FieldSpecification spec;
};

// A data field bound at construction: its position (1-based) in the table, the symbol it
// answers to, its specification, and the alias set when the name differs from the symbol.
struct FieldBinding {
  int position = 0;
  std::string symbol;
  std::string alias;
  FieldSpecification spec;
};

// clang-format off
#define DATA_ZAS_FIELDS(RW, RO)                                                         \
  RW(CIPO) RW(OZNM) RW(OBAL) RW(JKPOV) RW(KUSYM) RW(JED) RW(CENJM) RW(CENJP) RW(CENJPD)  \
  RW(STRM) RW(DANO) RW(LIMIT) RW(REZE) RW(ZN2) RW(CENPP) RW(CENJP2) RW(CENJPD2)          \
  RW(CENJP3) RW(CENJPD3) RW(SKUP) RW(CARK) RW(PRAB1) RW(PRAB2) RW(PRAB3) RW(FIRM)        \
  RW(HMOT) RW(NAZD) RW(RADA) RW(REGAL) RW(BUNKA) RW(VYRC)
// clang-format on

class Zas : public xbase::DbServer {
 public:
  static constexpr const char* kClassName = "ZAS";
  static constexpr const char* kFile = "ZAS.DBF";
  static constexpr const char* kDriver = "DBFCDX";

  // file and driver are ignored: the class always opens kFile with kDriver. Without a shared
  // argument the global exclusive default decides. The caller tests status() afterwards.
  // A table without a field of FieldDesc() throws TableError.
  explicit Zas(const std::string& file = "", std::optional<bool> shared = std::nullopt,
               std::optional<bool> read_only = std::nullopt, const std::string& driver = "");

  bool lSharedMode() const { return shared_mode_; }
  bool lReadOnlyMode() const { return read_only_mode_; }
  const ServerLabel& label() const { return label_; }
  static const std::vector<IndexListEntry>& IndexList();
  static std::vector<FieldDescEntry> FieldDesc();
  const std::vector<IndexAttach>& index_attach() const { return attach_; }
  const std::vector<FieldBinding>& bindings() const { return bindings_; }
  // The specification bound to a field (by name or alias), or nullptr.
  const FieldSpecification* field_spec(std::string_view field) const;

  DATA_ZAS_FIELDS(DATA_FIELD_RW, DATA_FIELD_RO)
  static const std::vector<FieldAccessor<Zas>>& accessors();

 private:
  bool shared_mode_;
  bool read_only_mode_;
  ServerLabel label_;
  std::vector<IndexAttach> attach_;
  std::vector<FieldBinding> bindings_;
};

}  // namespace data
