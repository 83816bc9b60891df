// The sequential pass over a table, four megabytes of records at a time (fewer handovers to the
// threads that make the keys than with one; still a small buffer): each record is read where
// the pass put it, so that the keys of several indexes can be made side by side, and the
// table's own record stays as it was.
#include <algorithm>
#include <cstring>

#include "platform/table/dbf_table.h"
#include "platform/table/field_codec.h"
#include "platform/table/table_error.h"

namespace xbase {
namespace {

// One record of the run, read through the table's field list and code page.
class RecordView : public RecordSource {
 public:
  RecordView(const DbfTable& table, const char* bytes, uint32_t recno, uint32_t pass)
      : table_(table), bytes_(bytes), recno_(recno), pass_(pass) {}
  int field_count() const override { return table_.field_count(); }
  const FieldInfo& field_info(int index) const override { return table_.field_info(index); }
  int field_index(std::string_view name) const override { return table_.field_index(name); }
  Value raw_value(int index) const override {
    const FieldInfo& f = table_.header().fields.at(static_cast<size_t>(index));
    return field_value(f, std::string_view(bytes_ + f.offset, static_cast<size_t>(f.length)));
  }
  bool append_raw_text(int index, std::string& out) const override {
    return append_text_field(table_.header().fields.at(static_cast<size_t>(index)), bytes_, out);
  }
  uint32_t recno() const override { return recno_; }
  uint32_t pass_records() const override { return pass_; }
  bool deleted() const override { return bytes_[0] == '*'; }
  const CodePage& codepage() const override { return table_.codepage(); }

 private:
  const DbfTable& table_;
  const char* bytes_;
  uint32_t recno_;
  uint32_t pass_;
};

}  // namespace

void DbfTable::scan_runs(
    const std::function<void(const std::vector<const RecordSource*>&)>& visit) {
  flush_record();
  flush_pending();
  const size_t rl = header_.record_length;
  const uint32_t n = record_count();
  const uint32_t per_run = static_cast<uint32_t>(std::max<size_t>(1, (4 << 20) / rl));
  std::vector<char> run;
  std::vector<RecordView> views;
  std::vector<const RecordSource*> records;
  for (uint32_t first = 1; first <= n; first += per_run) {
    const uint32_t cnt = std::min(per_run, n - first + 1);
    run.resize(static_cast<size_t>(cnt) * rl);
    size_t got = file_->read_at(record_offset(first), run.data(), run.size());
    if (got < run.size())
      throw TableError(kErrRead, 0, path_,
                       "record " + std::to_string(first + got / rl) + " cut short");
    views.clear();
    records.clear();
    for (uint32_t i = 0; i < cnt; ++i)
      views.emplace_back(*this, run.data() + static_cast<size_t>(i) * rl, first + i, n);
    for (const RecordView& v : views) records.push_back(&v);
    visit(records);
  }
}

void DbfTable::scan(const std::function<void(const RecordSource&)>& visit) {
  scan_runs([&](const std::vector<const RecordSource*>& run) {
    for (const RecordSource* rec : run) visit(*rec);
  });
}

}  // namespace xbase
