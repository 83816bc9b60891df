// Pozad: the data server of the accounting system's order items (pozad.dbf in the table
// layer's default folder, opened with the CDX driver), with its five index files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/server_support.h"

namespace data {

// Field specifications of POZAD fields (the server does not bind them).
FieldSpecification POZAD_CZAK();
FieldSpecification POZAD_ZN();

// The accessors, in declaration order; POCUZ and KONUZ are read only.
// clang-format off
#define DATA_POZAD_FIELDS(RW, RO)                                                       \
  RW(CZAK) RW(ZN) RW(CIPO) RW(OZN) RW(POCET) RW(JEDC) RW(SAZBA) RW(REZ) RW(DATP)         \
  RW(FIRM) RW(ZNC) RW(CENCI) RW(SPLM) RW(SPLN) RW(SKLADEM) RW(JEDN) RW(STRM) RO(POCUZ)   \
  RW(VYPDTZ) RW(VYPDTK) RO(KONUZ) RW(TERUK)
// clang-format on

class Pozad : public xbase::DbServer {
 public:
  static constexpr const char* kClassName = "POZAD";
  static constexpr const char* kFile = "pozad.dbf";
  static constexpr const char* kDriver = "DBFCDX";

  // file and driver are ignored: the class always opens kFile with kDriver. Without a shared
  // argument the global exclusive default decides. The caller tests status() afterwards.
  explicit Pozad(const std::string& file = "", std::optional<bool> shared = std::nullopt,
                 std::optional<bool> read_only = std::nullopt, const std::string& driver = "");

  bool lSharedMode() const { return shared_mode_; }
  bool lReadOnlyMode() const { return read_only_mode_; }
  const ServerLabel& label() const { return label_; }
  static const std::vector<IndexListEntry>& IndexList();
  // What became of each entry of IndexList() (empty when the open failed).
  const std::vector<IndexAttach>& index_attach() const { return attach_; }

  DATA_POZAD_FIELDS(DATA_FIELD_RW, DATA_FIELD_RO)
  static const std::vector<FieldAccessor<Pozad>>& accessors();

 private:
  bool shared_mode_;
  bool read_only_mode_;
  ServerLabel label_;
  std::vector<IndexAttach> attach_;
};

}  // namespace data
