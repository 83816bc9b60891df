// What the Pozad and Zas data servers have in common: their label, field specifications,
// index lists and the attaching of the index files that exist beside the table.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/table/db_server.h"
#include "platform/table/value.h"

namespace data {

struct ServerLabel {
  std::string name;
  std::string caption;
  std::string description;
  std::string help_context;
};

// A field's name, type ('C' text, 'N' number), width and check.
struct FieldSpecification {
  std::string name;
  std::string caption;
  std::string description;
  char type = 'C';
  int length = 0;
  int decimals = 0;
  bool required = false;
  std::string required_message;  // the text of a failed required check

  // Empty when v passes; otherwise the reason. Only "required" is checked: a required field
  // must not be empty (nothing, blank text, zero, the empty date, false).
  std::string check(const xbase::Value& v) const;
};

struct IndexOrderEntry {
  std::string tag;
  bool flag1 = true;  // declared with the data; not read
  bool flag2 = true;
  std::string key;
  std::string condition;
};

struct IndexListEntry {
  std::string file;
  std::string path;
  std::vector<IndexOrderEntry> orders;
};

struct IndexAttach {
  enum class Result { kMissing, kAttached, kFailed };
  std::string file;
  Result result = Result::kMissing;
  std::string error;  // why an attach failed
};

// Looks for each file of list beside server's table (letter case ignored) and attaches the
// ones that exist, in order. A missing file or a failed attach is recorded, not thrown.
std::vector<IndexAttach> attach_index_list(xbase::DbServer& server,
                                           const std::vector<IndexListEntry>& list);

// The first attach that failed, or nullptr. A file that exists but cannot be kept up would be
// left without the keys of every append, so the server's open fails on it.
const IndexAttach* first_failed(const std::vector<IndexAttach>& attached);

// One field accessor of a server class, for whoever walks them by name.
template <class Server>
struct FieldAccessor {
  const char* name;
  xbase::Value (Server::*get)() const;
  xbase::Value (Server::*put)(const xbase::Value&);  // nullptr: read only
};

// Shared flag of a construction: the argument when given, else the global exclusive default.
bool shared_mode_for(const std::optional<bool>& shared);

}  // namespace data

// Field accessors named after the fields: NAME() reads, NAME(v) writes and returns v.
#define DATA_FIELD_RW(NAME)                              \
  xbase::Value NAME() const { return field_get(#NAME); } \
  xbase::Value NAME(const xbase::Value& v) {             \
    field_put(#NAME, v);                                 \
    return v;                                            \
  }
#define DATA_FIELD_RO(NAME) \
  xbase::Value NAME() const { return field_get(#NAME); }
// The matching entries of a FieldAccessor table.
#define DATA_ACCESSOR_RW(CLASS, NAME)                                    \
  data::FieldAccessor<CLASS>{                                            \
      #NAME, static_cast<xbase::Value (CLASS::*)() const>(&CLASS::NAME), \
      static_cast<xbase::Value (CLASS::*)(const xbase::Value&)>(&CLASS::NAME)},
#define DATA_ACCESSOR_RO(CLASS, NAME) data::FieldAccessor<CLASS>{#NAME, &CLASS::NAME, nullptr},
