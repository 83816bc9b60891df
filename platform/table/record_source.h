// What a key expression sees of a table: the field list and the current record's raw values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/table/value.h"

namespace xbase {

class CodePage;

struct FieldInfo {
  std::string name;  // upper case, as stored
  char type = 'C';   // C N F D L M, or any other letter kept raw
  int length = 0;
  int decimals = 0;
  int offset = 0;  // inside the record, after the deletion flag byte
};

class RecordSource {
 public:
  virtual ~RecordSource() = default;
  virtual int field_count() const = 0;
  virtual const FieldInfo& field_info(int index) const = 0;
  // -1 when no field has that name (compared without regard to case).
  virtual int field_index(std::string_view name) const = 0;
  // The current record's field as a value: C as raw code-page bytes with its blanks,
  // N/F as a number, D as a date, L as a logical; other types as their raw bytes.
  virtual Value raw_value(int index) const = 0;
  virtual uint32_t recno() const = 0;
  virtual bool deleted() const = 0;
  virtual const CodePage& codepage() const = 0;
  // Appends the bytes raw_value gives a field of any type but N, F, D and L, without making a
  // value of them (keys are made of these by the million); false when this source cannot.
  virtual bool append_raw_text(int /*index*/, std::string& /*out*/) const { return false; }
  // How many records the pass this record comes from holds in all, so that whoever gathers
  // from it can size its buffers once; 0 when unknown.
  virtual uint32_t pass_records() const { return 0; }
};

}  // namespace xbase
