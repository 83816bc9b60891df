#include "data/server_support.h"

#include "platform/file/file.h"
#include "platform/index/key_expr.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"

namespace data {

std::string FieldSpecification::check(const xbase::Value& v) const {
  if (!required) return "";
  bool empty = false;
  switch (v.type()) {
    case xbase::Value::Type::kNil:
      empty = true;
      break;
    case xbase::Value::Type::kChar:
      empty = v.str().find_first_not_of(" \t\r\n") == std::string::npos;
      break;
    case xbase::Value::Type::kNumber:
      empty = v.num() == 0;
      break;
    case xbase::Value::Type::kDate:
      empty = v.date_value().empty();
      break;
    case xbase::Value::Type::kLogical:
      empty = !v.log();
      break;
  }
  return empty ? required_message : "";
}

std::vector<IndexAttach> attach_index_list(xbase::DbServer& server,
                                           const std::vector<IndexListEntry>& list) {
  std::vector<IndexAttach> out;
  xbase::FileSystem& fs = xbase::file_system();
  const std::string dir = xbase::path_dirname(server.path());
  for (const IndexListEntry& entry : list) {
    IndexAttach a;
    a.file = entry.file;
    std::string path = fs.resolve_case(xbase::path_join(dir, entry.file));
    if (fs.exists(path)) {
      try {
        server.order_list_add(path);
        a.result = IndexAttach::Result::kAttached;
      } catch (const xbase::TableError& e) {
        a.result = IndexAttach::Result::kFailed;
        a.error = e.what();
      } catch (const xbase::FileError& e) {
        a.result = IndexAttach::Result::kFailed;
        a.error = e.what();
      } catch (const xbase::ExpressionError& e) {
        a.result = IndexAttach::Result::kFailed;
        a.error = e.what();
      }
    }
    out.push_back(std::move(a));
  }
  return out;
}

const IndexAttach* first_failed(const std::vector<IndexAttach>& attached) {
  for (const IndexAttach& a : attached)
    if (a.result == IndexAttach::Result::kFailed) return &a;
  return nullptr;
}

bool shared_mode_for(const std::optional<bool>& shared) {
  return shared.has_value() ? *shared : !xbase::table_settings().exclusive;
}

}  // namespace data
