// A data server: one table in a work area of its own, addressed through the object.
// Opening never throws: the status is empty after a successful open, otherwise it holds the
// generic error code as text ("21" for an open error) and the layer's description. A sharing
// refusal also raises the network-error flag.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/table/dbf_table.h"

namespace xbase {

struct ServerStatus {
  std::string caption;      // generic code as text; empty when the open succeeded
  std::string description;  // the table layer's error text
  bool empty() const { return caption.empty(); }
};

class DbServer {
 public:
  // file resolved as tables are (default folder, ".DBF"); driver empty: the default driver.
  DbServer(const std::string& file, bool shared, bool read_only, const std::string& driver = "");
  virtual ~DbServer();
  DbServer(const DbServer&) = delete;
  DbServer& operator=(const DbServer&) = delete;

  const ServerStatus& status() const { return status_; }
  bool used() const { return table() != nullptr; }
  int area() const { return area_; }
  const std::string& alias() const { return alias_; }
  const std::string& driver() const { return driver_; }
  const std::string& path() const { return path_; }
  DbfTable* table() const;

  // Field access and navigation of the server's table (TableError when it is not open).
  Value field_get(std::string_view name) const;
  void field_put(std::string_view name, const Value& v);
  bool seek(const Value& key, bool soft = false);
  void skip(long n = 1);
  void go_top();
  void go_bottom();
  void go_to(uint32_t recno);
  bool eof() const;
  bool bof() const;
  bool found() const;
  uint32_t recno() const;
  uint32_t record_count() const;
  void append();
  void commit();
  void close();

  // Order list: the first file added is order 1.
  void order_list_clear();
  void order_list_add(const std::string& index_file);  // a path or a name beside the table
  bool set_order(size_t number);
  bool set_order(std::string_view tag);
  size_t order_count() const;
  void reindex();

 protected:
  void set_status(int generic, const std::string& description);
  DbfTable& need() const;

 private:
  std::string path_;
  std::string alias_;
  std::string driver_;
  int area_ = 0;
  ServerStatus status_;
};

}  // namespace xbase
